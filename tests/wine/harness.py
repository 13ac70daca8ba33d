"""Runs the real tavi.exe and the probe under Wine, each test in a folder with a copy of tavi.exe.
Windows programs write to files, never to pipes: services.exe would inherit a pipe and hold it."""

import os
import shutil
import subprocess
import tempfile
import time
import unittest
import uuid
from pathlib import Path

WINE = os.environ.get("WINE64", "/usr/lib/wine/wine64")
EXE, PROBE, WORK = (os.environ[key] for key in ("TAVI_EXE", "TAVI_PROBE", "TAVI_WORK"))
ENV = dict(os.environ, LC_ALL="ja_JP.UTF-8")  # code page 932, as on a Japanese system
T, E, STOPPED, START_PENDING, STOP_PENDING, RUNNING = "tavi", "tavi error", 1, 2, 3, 4
CLOSE, SC = [("main", "WM_CLOSE", "outside")], [("main", "SC_CLOSE", "outside")]  # as logged
# Fields the probe prints in hex.
HEX = {
    "caption",
    "text",
    "cmd",
    "cwd",
    "path",
    "display",
    "description",
    "value",
    "class",
    "account",
}
CATALOGUE = {}  # the message catalogue as tavi.exe loads it


def b(text):  # texts reach Windows programs in code page 932
    return text if isinstance(text, bytes) else str(text).encode("cp932")


def msg(number, name=None, second=None):  # an entry with its "%s" (one, or two) filled in
    if not CATALOGUE:
        CATALOGUE.update((int(r["id"]), r["text"]) for r in probe("strings", winpath(EXE)))
    text = CATALOGUE[number]
    text = text.replace(b"%s", b(name), 1 if second is not None else -1) if name else text
    return text.replace(b"%s", b(second), 1) if second is not None else text


def ini(**keys):  # a settings file of one [tavi] section with these keys, in this order
    return b"[tavi]\r\n" + b"".join(b"%s=%s\r\n" % (b(k), b(v)) for k, v in keys.items())


def winpath(path):  # drive Z: is the Unix root
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def records(data):  # the probe's lines "kind key=value ..." as dicts, texts decoded from hex
    found = []
    for kind, *fields in (line.split(" ") for line in data.decode("latin-1").splitlines()):
        pairs = (field.partition("=") for field in fields)
        found.append(
            dict(kind=kind, **{k: bytes.fromhex(v) if k in HEX else v for k, _, v in pairs})
        )
    return found


def probe(*args, background=False, trace=None):  # records, or the run to collect
    # trace: Wine's trace channels, into WORK/trace.txt.
    out = tempfile.TemporaryFile()
    err = open(os.path.join(WORK, "trace.txt"), "wb") if trace else subprocess.DEVNULL
    env, args = dict(ENV, WINEDEBUG=trace) if trace else ENV, [WINE, PROBE, *map(str, args)]
    run = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=out, stderr=err, env=env)
    return (run, out) if background else collect((run, out))


def peek(run):  # what a run in the background has printed so far
    run[1].seek(0)
    return records(run[1].read())


def collect(run, timeout=300):
    try:
        run[0].wait(timeout)
        return peek(run)
    finally:
        run[0].kill()
        run[1].close()


def one(found, kind):
    return next((r for r in found if r["kind"] == kind), None)


def poll(predicate, timeout=30.0):
    deadline = time.monotonic() + timeout
    while not (value := predicate()) and time.monotonic() < deadline:
        time.sleep(0.1)
    return value


def scm(name, *verbs, background=False):  # verbs ("status",), ("create", path, start, type)...
    return probe(*[a for verb in verbs for a in ("scm", name, *verb, ";")], background=background)


def status(name):
    found = one(scm(name, ("status",)), "status")
    return found and {k: int(v) for k, v in found.items() if k != "kind"}


def registry(key):  # what Wine's reg.exe shows of the key and those below it
    with tempfile.TemporaryFile() as out:
        run = [WINE, "reg", "query", key, "/s"]
        subprocess.run(run, stdin=subprocess.DEVNULL, stdout=out, stderr=out, env=ENV, timeout=60)
        out.seek(0)
        return out.read()


def config(name):
    return one(scm(name, ("config",)), "config")


def remove_service(name):
    scm(name, ("control", 1), ("watch", STOPPED, 30000), ("delete",))


def watch_stop(name, *first):
    """Runs these verbs, then watches until the service stops, in the background; the result,
    called, gives the exit codes (win32, specific) and the states seen. Wine turns the exit code
    to 1077 a second later: only a watch that was already waiting sees it."""
    run = scm(name, *first, ("watch", STOPPED, 60000), background=True)
    poll(lambda: one(peek(run), "status"))

    def result():
        seen = [r for r in collect(run) if r["kind"] == "status"]
        assert seen and seen[-1]["state"] == str(STOPPED), "not stopped: %r" % seen
        return (int(seen[-1]["exit"]), int(seen[-1]["specific"])), seen

    return result


class ChildLog:  # the log that probe children write (many may share one)
    def __init__(self, path):
        self.path, self.win = path, winpath(path)

    def events(self, kind=None):
        found = records(Path(self.path).read_bytes()) if os.path.exists(self.path) else []
        return [e for e in found if kind in (None, e["kind"])]

    def wait(self, kind, count=1):
        found = poll(lambda: len(self.events(kind)) >= count and self.events(kind), 60)
        assert found, "no %d %r in the child log: %r" % (count, kind, self.events())
        return found

    def messages(self):
        return [(e["win"], e["msg"], e["from"]) for e in self.events("msg")]

    def alive(self):  # the children of the log that still run
        pids = [e["pid"] for e in self.events("start")]
        return [pid for pid, r in zip(pids, probe("alive", *pids)) if r["exists"] == "1"]


class Sandbox:
    def __init__(self, test=None, name=None, parent=None, exe="tavi.exe"):
        self.dir = os.path.join(parent or WORK, name or "t-" + uuid.uuid4().hex[:8])
        self.exe, self.ini = os.path.join(self.dir, exe), os.path.join(self.dir, "tavi.ini")
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)
        shutil.copyfile(EXE, self.exe)
        if test:
            test.addCleanup(shutil.rmtree, self.dir, True)

    def read_ini(self):
        return Path(self.ini).read_bytes()

    def write_ini(self, data=None, **keys):
        Path(self.ini).write_bytes(b(data) if data is not None else ini(**keys))

    def line(self, tail):
        return b'"%s" %s' % (b(winpath(self.exe)), b(tail))

    def tavi(self, tail=b"", *buttons, cwd=None, trace=None):  # its exit code, the boxes it showed
        # The boxes are answered with these buttons in order, then with OK.
        line = b(self.line(tail)).hex()
        found = probe("run", winpath(cwd or self.dir), line, 60000, *buttons, trace=trace)
        code = one(found, "exit")["code"]
        return (int(code) if code.isdigit() else code), [r for r in found if r["kind"] == "box"]


class TaviCase(unittest.TestCase):  # a sandbox for each test; its services and children go after it
    def setUp(self):
        os.makedirs(WORK, exist_ok=True)
        self.box, self.logs = Sandbox(self), []

    def service(self, name=None):
        name = name or "tavitest" + uuid.uuid4().hex[:6]
        self.addCleanup(remove_service, name)
        return name

    def child_log(self, path=None):
        if not self.logs:
            pids = lambda: {e["pid"] for log in self.logs for e in log.events("start")}
            self.addCleanup(lambda: probe("kill", *pids()))
        self.logs.append(ChildLog(path or "%s/child%d.log" % (self.box.dir, len(self.logs))))
        return self.logs[-1]

    def child(self, folder=None, name="probe.exe"):  # a copy of the probe, the wrapped program
        os.makedirs(folder or self.box.dir, exist_ok=True)
        return shutil.copyfile(PROBE, os.path.join(folder or self.box.dir, name))

    def assertBoxes(self, boxes, *expected, owner=0):  # (message, caption[, name]) each
        got = [(x["text"], x["caption"], int(x["owner"], 16), x["buttons"]) for x in boxes]
        buttons = {13: "6,7,", 14: "6,7,", 15: "6,7,"}
        wanted = [(msg(n, *name), b(c), owner, buttons.get(n, "1,")) for n, c, *name in expected]
        self.assertEqual(got, wanted)
