"""Runs the real tavi.exe and the probe under Wine for the tests.

Each test works in a sandbox: a folder of its own with a copy of tavi.exe.
The probe starts tavi with an exact command line and answers its message
boxes, drives the window, asks the service control manager and is the test
child. Output of Windows programs goes to files, never to pipes: a pipe
inherited by services.exe would never close.
"""
import os
import shutil
import subprocess
import tempfile
import time
import unittest
import uuid

WINE = os.environ.get("WINE64", "/usr/lib/wine/wine64")
EXE, PROBE, WORK = os.environ["TAVI_EXE"], os.environ["TAVI_PROBE"], os.environ["TAVI_WORK"]
ENV = dict(os.environ, LC_ALL="ja_JP.UTF-8")  # code page 932, as on a Japanese system
T, E = "tavi", "tavi error"
STOPPED, START_PENDING, STOP_PENDING, RUNNING = 1, 2, 3, 4
TITLE = "tavi 起動プログラム設定"
HEX_FIELDS = {"caption", "text", "cmd", "cwd", "path", "display", "description"}
MESSAGES = {
    1: "サービス名を指定してください。", 2: "プログラム名を設定してください。",
    3: "サービス %s を登録しましたが、開始に失敗しました。",
    4: "サービスに登録できませんでした。\nサービスの権限があるユーザーでログインして実行してください。",
    5: "サービスから削除できませんでした。\nサービスの権限があるユーザーでログインして実行してください。",
    6: "サービス %s は登録されていません。", 7: "Windows NT/2000/XP/Vista/7 で起動してください。",
    9: "サービスを停止できません。\nサービスの権限のあるユーザーでログインしてください。",
    10: "プログラムファイルのみ登録可能です。", 11: "すでに同名のサービスが登録済みです。",
    12: "プログラムを起動しました。\nＯＫをクリックするとプログラムを終了します。\n"
        "終了しない場合、手動でプログラムを終了させてください。\n\n"
        "※これは tavi からプログラムを終了されられるかどうかのテストで、\n"
        "\u3000実際にサービスでの正常動作が保証されるわけではありません\n\u3000のでご注意ください。",
    13: "サービス %s を登録しますか？", 14: "サービス %s を登録しました。サービスとして起動しますか？",
    15: "サービス %s を削除しますか？", 16: "サービス %s を登録し、開始しました。",
    17: "サービス %s を登録しました。", 18: "サービス %s を削除しました。",
    19: "WM_CLOSE", 20: "WM_SYSCOMMAND(SC_CLOSE)", 21: "WM_SYSCOMMAND→WM_CLOSE",
    22: "コンソール(CTRL_BREAK)", 23: "削除(&D)", 24: "テスト起動(&T)", 25: "実行ファイル(*.exe)",
    26: "*.exe", 27: "実行ファイルの選択",
    28: "この設定では保存も起動もできません。次の点を確かめてください。\n・起動時オプションはエスケープ後 259 バイト以内\n・プログラムのパスと"
        "起動時オプションを合わせたコマンドラインは 259 バイト以内\n\u3000（空白を含むパスは引用符で囲まれ、2 バイト増えます）\n・どの項目にも改行を含めない\n・どの項目も 2 バイト文字の前半で終わらない",
    29: "tavi の実行ファイルのパスが長すぎます。\nフォルダのパスは 250 バイト以内、ファイル名を含むパス全体は 259 バイト以内にしてください。",
}


def b(text):
    return text if isinstance(text, bytes) else str(text).encode("cp932")


def hx(text):
    return b(text).hex()


def msg(number, name=None):
    return b(MESSAGES[number].replace("%s", name) if name else MESSAGES[number])


def winpath(path):
    """The Windows name of a Unix path (drive Z: is the Unix root)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def records(data):
    """The probe's or the child's lines as dicts; "kind" is the first word."""
    found = []
    for line in data.decode("latin-1").splitlines():
        kind, *fields = line.split(" ")
        record = {"kind": kind}
        for field in fields:
            key, _, value = field.partition("=")
            record[key] = bytes.fromhex(value) if key in HEX_FIELDS else value
        found.append(record)
    return found


def probe(*args, env=None, timeout=300, background=False, trace=None, preexec=None):
    """Runs probe verbs; their records, or (process, output file) in the background. trace: Wine
    trace channels, written to the file trace.txt; preexec: run in the probe's process first."""
    out = tempfile.TemporaryFile()
    err = open(trace and os.path.join(WORK, "trace.txt"), "wb") if trace else subprocess.DEVNULL
    process = subprocess.Popen([WINE, PROBE, *map(str, args)], stdout=out, stderr=err, stdin=subprocess.DEVNULL,
                               env=dict(ENV, WINEDEBUG=trace) if trace else env or ENV, preexec_fn=preexec)
    return (process, out) if background else collect(process, out, timeout)


def peek(run):
    """The records a probe running in the background has written so far."""
    run[1].seek(0)
    return records(run[1].read())


def collect(process, out, timeout=300):
    """The records of a probe run once it has ended (killed at the time-out)."""
    try:
        process.wait(timeout)
    finally:
        process.kill()
    with out:
        out.seek(0)
        return records(out.read())


def one(found, kind):
    return next((r for r in found if r["kind"] == kind), None)


def poll(predicate, timeout=30.0):
    """Waits until predicate() is true; returns its last value."""
    deadline = time.monotonic() + timeout
    while not (value := predicate()) and time.monotonic() < deadline:
        time.sleep(0.1)
    return value


def scm(name, *verbs):
    """Service verbs in one probe run: ("status",), ("start",), ("watch", 1, 30000)..."""
    args = []
    for verb in verbs:
        args += ["scm", name, *verb, ";"]
    return probe(*args)


def status(name):
    found = one(scm(name, ("status",)), "status")
    return {k: int(v) for k, v in found.items() if k != "kind"} if found else None


def config(name):
    return one(scm(name, ("config",)), "config")


def remove_service(name):
    scm(name, ("control", 1), ("watch", STOPPED, 10000), ("delete",))


def watch_stop(name, *first, timeout=60000):
    """Runs these verbs (a start, a control), then watches the service until
    it has stopped, in the background. Call the result for (win32 exit code,
    service-specific code) of the first SERVICE_STOPPED and every status on
    the way. Wine replaces the code of a host that stopped by itself by 1077
    about a second later, so only a watch under way sees the code reported."""
    args = [a for verb in first + (("watch", STOPPED, timeout),) for a in ("scm", name, *verb, ";")]
    process, out = probe(*args, background=True)
    poll(lambda: b"status" in (out.seek(0) or out.read()))

    def result():
        seen = [r for r in collect(process, out) if r["kind"] == "status"]
        assert seen and seen[-1]["state"] == str(STOPPED), "not stopped: %r" % seen
        return (int(seen[-1]["exit"]), int(seen[-1]["specific"])), seen
    return result


def stopped_exit(name, *first, timeout=60000):
    return watch_stop(name, *first, timeout=timeout)()


class ChildLog:
    """The log that probe children write (many children may share one)."""

    def __init__(self, path):
        self.path, self.win = path, winpath(path)

    def events(self, kind=None):
        try:
            with open(self.path, "rb") as f:
                found = records(f.read())
        except FileNotFoundError:
            return []
        return [e for e in found if kind in (None, e["kind"])]

    def wait(self, kind, count=1, timeout=60):
        found = poll(lambda: len(self.events(kind)) >= count and self.events(kind), timeout)
        assert found, "no %d %r in the child log:\n%r" % (count, kind, self.events())
        return found

    def messages(self):
        return [(e["win"], e["msg"], e["from"]) for e in self.events("msg")]


class Sandbox:
    def __init__(self, test, name=None, parent=None):
        self.dir = os.path.join(parent or WORK, name or "t-" + uuid.uuid4().hex[:8])
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)
        self.exe = os.path.join(self.dir, "tavi.exe")
        shutil.copyfile(EXE, self.exe)
        test.addCleanup(shutil.rmtree, self.dir, True)

    @property
    def ini(self):
        return os.path.join(self.dir, "tavi.ini")

    def read_ini(self):
        with open(self.ini, "rb") as f:
            return f.read()

    def write_ini(self, data=None, **keys):
        """Writes data, or [tavi] with these keys (in this order)."""
        data = data if data is not None else b"[tavi]\r\n" + b"".join(
            b(k) + b"=" + b(v) + b"\r\n" for k, v in keys.items())
        with open(self.ini, "wb") as f:
            f.write(b(data))

    def line(self, tail):
        return b'"' + b(winpath(self.exe)) + b'" ' + b(tail)

    def tavi(self, tail=b"", *answers, cwd=None, env=None, timeout=60):
        """Runs tavi.exe, answering its boxes (caption, button) in this order;
        (exit code, boxes). A box not in the list ends the run (exit "box")."""
        found = probe("run", winpath(cwd or self.dir), hx(self.line(tail)), timeout * 1000,
                      *("%s:%s" % (hx(c), button) for c, button in answers), env=env)
        code = one(found, "exit")["code"]
        return (int(code) if code.isdigit() else code), [r for r in found if r["kind"] == "box"]


class TaviCase(unittest.TestCase):
    """A sandbox per test; services and children it names are removed after it."""

    def setUp(self):
        os.makedirs(WORK, exist_ok=True)
        self.box = Sandbox(self)
        self.logs = []

    def service(self, name=None):
        name = name or "tavitest" + uuid.uuid4().hex[:6]
        self.addCleanup(remove_service, name)
        return name

    def child_log(self, path=None):
        """A log for children; those it shows started are ended after the test."""
        log = ChildLog(path or os.path.join(self.box.dir, "child%d.log" % len(self.logs)))
        if not self.logs:
            self.addCleanup(lambda: probe("kill", *{e["pid"] for l in self.logs for e in l.events("start")}))
        self.logs.append(log)
        return log

    def child(self, folder=None, name="probe.exe"):
        """A copy of the probe to serve as the wrapped program; its path."""
        os.makedirs(folder or self.box.dir, exist_ok=True)
        path = os.path.join(folder or self.box.dir, name)
        shutil.copyfile(PROBE, path)
        return path

    def assertBoxes(self, boxes, *expected, owner=0):
        """Each box shows (message, caption[, service name]), without icon,
        owned by owner, with OK alone or Yes and No for the questions."""
        self.assertEqual(len(boxes), len(expected), boxes)
        for box, (number, caption, *name) in zip(boxes, expected):
            buttons = "6,7," if number in (13, 14, 15) else "1,"
            self.assertEqual((box["text"], box["caption"], int(box["owner"], 16), box["buttons"],
                              box["icons"]), (msg(number, *name), b(caption), owner, buttons, "0"))
