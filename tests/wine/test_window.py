"""The configuration window: both modes, typing, browse, drop, F1 and the help, the test start."""

import getpass
import glob
import html
import os
import re
import shutil
import struct
import subprocess
import tempfile
import time
from pathlib import Path

from harness import CATALOGUE, CLOSE, E, EXE, PROBE, SC, STOPPED, T, WORK, TaviCase, b
from harness import collect, config, ini, msg, one, peek, poll, probe, registry, remove_service
from harness import scm, status, winpath

TITLE = "tavi 起動プログラム設定"
EXE_ID, BROWSE, OPTION, END, TEST, NAME = 1000, 1001, 1002, 1003, 1004, 1005
AUTO, DESKTOP, DESCRIPTION, RETRY = 1010, 1011, 1012, 1013
EDITABLE = [EXE_ID, BROWSE, OPTION, END, NAME, AUTO, DESKTOP, DESCRIPTION, RETRY]
FURTHER, FURTHER_TITLE = 1014, "詳細設定"  # the further settings' button and dialog, its fields:
LOG, LOG_BROWSE, LOGSIZE, LOGKEEP, RETRYMAX, NORETRY, STOPTIME = range(1100, 1107)
ACCOUNT, ACCOUNT_NAME, PASSWORD, ENV_EDIT = range(1107, 1111)
FIELDS = [LOG, LOGSIZE, LOGKEEP, RETRYMAX, NORETRY, STOPTIME, ACCOUNT_NAME, ENV_EDIT]
APP = r"C:\tools\app.exe"
ENV = b"[env]\r\nSPACED=a b " + b("ソ") + b"\r\nGONE=\r\n"  # the program's variables
ROOT, HELP = Path(__file__).resolve().parents[2], Path(EXE).parent / "tavi.chm"
CHAPTERS = re.findall(r"^## (.+)$", (ROOT / "README.ja.md").read_text(), re.M)  # its pages
VERSION = re.search(r"project\(tavi VERSION ([\d.]+)", (ROOT / "CMakeLists.txt").read_text())[1]


class Window:  # a tavi.exe started from its own folder, with its window open
    def __init__(self, test, trace=None):
        self.test, self.title, line = test, TITLE, b(test.box.line("")).hex()
        folder = winpath(test.box.dir)
        self.run = probe("run", folder, line, 600000, "any", trace=trace, background=1)
        self.pid = poll(lambda: one(peek(self.run), "started"))["pid"]
        # A window left open by a failure is closed.
        test.addCleanup(probe, "win", b(TITLE).hex(), 0, self.pid, ";", "close")
        self.hwnd = self.owner = int(self.read().window["hwnd"], 16)

    def do(self, *verbs):  # ("set", ID, TEXT), ("check" or "select", ID, N), ("click", ID)...
        args = []
        for verb, *rest in verbs:
            args += [";", verb, *(rest[:1] + [b(rest[1]).hex()] if verb == "set" else rest)]
        return probe("win", b(self.title).hex(), 30000, self.pid, *args)

    def answer(self, caption, button, number=None, *name):  # checks the owner: 5 and 11 have none
        box = one(probe("box", b(caption).hex(), button, 60000, self.pid), "box")
        self.test.assertIn("text", box, "no %s box" % caption)
        owner = 0 if number in (5, 11) else self.owner
        number and self.test.assertBoxes([box], (number, caption, *name), owner=owner)

    def read(self, *verbs):
        found = self.do(*verbs, ("dump",))
        self.window = one(found, "window")
        self.controls = {int(c["id"]): c for c in found if c["kind"] == "control"}
        return self

    def shows(self):  # the settings shown, once the window takes input
        c = self.read(("enabled", 30000)).controls
        texts = [c[i]["text"] for i in (EXE_ID, OPTION, NAME, DESCRIPTION)]
        checks = [int(c[i]["check"]) for i in (AUTO, DESKTOP, RETRY)]
        return texts + [int(c[END]["cursel"])] + checks

    def fill(self, *verbs, exe=None, option=None, name=None, description=None, end=None):
        # Types the texts given, selects the method, then does the verbs (a click, say).
        texts = [(EXE_ID, exe), (OPTION, option), (NAME, name), (DESCRIPTION, description)]
        sets = [("set", i, text) for i, text in texts if text is not None]
        self.do(*sets, *[("select", END, end)] * (end is not None), *verbs)

    def closed(self, *verbs, code=0):  # these verbs (if any) close the window; tavi ends with code
        verbs and self.do(*verbs)
        self.test.assertEqual(collect(self.run)[-1]["code"], str(code))

    def trace(self):
        lines = Path(WORK, "trace.txt").read_bytes().splitlines()
        return b"\n".join(l for l in lines if l.startswith(b"%04x:" % int(self.pid)))


class WindowTest(TaviCase):
    def assertMode(self, w, registered):
        enabled = [w.controls[i]["enabled"] for i in EDITABLE] + [w.controls[TEST]["text"]]
        self.assertEqual(enabled, [str(int(not registered))] * 9 + [msg(23 if registered else 24)])
        further = (w.controls[FURTHER]["enabled"], w.controls[FURTHER]["text"])
        self.assertEqual(further, ("1", b("詳細設定(&V)...")))  # in both modes

    def further(self, w):  # opens the further settings of the window; their controls
        w.do(("click", FURTHER))
        w.title = FURTHER_TITLE
        w.owner = int(w.read().window["hwnd"], 16)  # of the boxes that refuse a value
        return w.controls

    def back(self, w, *verbs):  # these verbs close the further settings: the main window again
        w.do(*verbs)
        w.title, w.owner = TITLE, w.hwnd

    def shown(self, controls):  # the fields' texts, the account chosen
        return [controls[i]["text"] for i in FIELDS] + [int(controls[ACCOUNT]["cursel"])]

    def test_opening_in_both_modes(self):
        keys = dict(exe=APP, option=r'"-a \"b\" c:\\x"', name="svc one", description="説明")
        keys.update(end=1, auto=0, desktop=1, retry=1, encode=1)
        self.box.write_ini(**keys)
        w = Window(self)
        self.assertEqual(w.shows(), [b(APP), b'-a "b" c:\\x', b"svc one", b("説明"), 1, 0, 1, 1])
        self.assertMode(w, False)
        entries = [w.read(("select", END, i)).controls[END]["text"] for i in range(4)]
        self.assertEqual(entries, [msg(n) for n in range(19, 23)])
        self.assertTrue(poll(lambda: int(w.read().window["exstyle"], 16) & 0x10))  # takes drops
        # Typing limited to 260 bytes; centred (in doubled pixels).
        limits = [w.controls[i]["limit"] for i in (EXE_ID, OPTION, NAME, DESCRIPTION)]
        self.assertEqual((limits, int(w.window["offcentre"]) <= 4), (["260"] * 4, True))
        w.closed(("click", 2))
        self.assertEqual(self.box.read_ini(), ini(**keys))
        os.remove(self.box.ini)  # without a file: the defaults
        w = Window(self)
        self.assertEqual(w.shows(), [b"", b"", b"", b"", 2, 1, 0, 0])
        w.closed(("close",))  # the window's close command
        self.assertFalse(os.path.exists(self.box.ini))
        # Registered: read-only, with the registration's start type and desktop flag; OK closes.
        for start, kind, stored, shown in [(3, 0x110, (1, 0), (0, 1)), (2, 0x10, (0, 1), (1, 0))]:
            name = self.service()
            scm(name, ("create", winpath(self.box.exe), start, kind))
            keys = dict(exe=APP, option="-x", name=name, description="d", end=3, retry=1)
            keys.update(auto=stored[0], desktop=stored[1])
            self.box.write_ini(**keys)
            w = Window(self)
            self.assertEqual(w.shows(), [b(APP), b"-x", b(name), b"d", 3, *shown, 1])
            self.assertMode(w, True)
            w.closed(("click", 1))
            self.assertEqual((self.box.read_ini(), status(name)["state"]), (ini(**keys), STOPPED))

    def test_ok_refuses_and_keeps_the_input(self):
        w = Window(self)
        w.fill(option="-o", description="desc", end=0)
        for exe, name, number in [("", "svc", 2), (r"C:\tools\app.txt", "svc", 2), (APP, "", 1)]:
            w.fill(("click", 1), exe=exe, name=name)
            w.answer(E, "ok", number)
            self.assertEqual(w.shows(), [b(exe), b"-o", b(name), b"desc", 0, 1, 0, 0])
        for click in (1, TEST):  # stored whole, but the command line too long: refused by both
            w.fill(("click", click), exe=APP, name="svc", option="o" * 243)
            w.answer(E, "ok", 28)
        self.assertFalse(os.path.exists(self.box.ini))
        w.closed(("click", 2))
        # The file's account: a user's needs the password that only the command line takes; with
        # the desktop, any but LocalSystem is refused.
        for account, desktop, number in [(".\\u", 0, 34), ("LocalService", 1, 33)]:
            self.box.write_ini(account=account, desktop=desktop)
            w = Window(self)
            w.fill(("click", 1), exe=APP, name="svc")
            w.answer(E, "ok", number, account)
            self.assertEqual(self.box.read_ini(), ini(account=account, desktop=desktop))
            w.closed(("click", 2))
        os.remove(self.box.ini)
        w = Window(self)
        option = "a" * 100 + "\\" * 79  # escaped, 259 bytes: stored whole; answered No, saved
        w.fill(("click", 1), exe=APP, name="svc", option=option)
        w.answer(T, "no", 13, "svc")
        w.closed()
        self.assertIn(b'option="%s"' % b(option.replace("\\", "\\\\")), self.box.read_ini())
        os.remove(self.box.ini)
        os.mkdir(self.box.ini)  # a folder in its place: even root cannot write it
        w = Window(self)
        w.fill(("click", 1), exe=APP, name="svc")
        w.answer(T, "ok", 4)
        self.assertEqual(w.shows()[:3:2], [b(APP), b"svc"])
        w.closed(("click", 2))
        self.assertIsNone(config("svc"))

    def test_registration_from_the_window(self):
        # Stored end 7 selects nothing, and OK stores -1; an upper-case extension passes; Yes
        # registers, and Yes to the start tries it: the program cannot be launched, the start has
        # failed. The window saves every key, a hand-written logsize that is no number as the
        # default it reads as, keeps [env], and registers the file's stoptime and account.
        stored = dict(end=7, log="w.log", logsize="abc", logkeep=7, retrymax=0, stoptime=50)
        stored.update(account="virtual")
        self.box.write_ini(ini(**stored) + ENV)
        name, w = self.service(), Window(self)
        self.assertEqual(w.shows()[4], -1)
        checks = [("check", i, 1) for i in (AUTO, RETRY)]
        option = 'a "q" C:\\dir\\ ソ'
        w.fill(*checks, ("click", 1), exe=r"C:\tools\app.EXE", option=option, name=name)
        w.answer(T, "yes", 13, name)
        w.answer(T, "yes", 14, name)
        w.answer(T, "ok", 3, name)
        w.closed()
        keys = dict(end=-1, log="w.log", logsize=10485760, logkeep=7, retrymax=0, stoptime=50)
        keys.update(account="virtual")
        keys.update(exe=r"C:\tools\app.EXE")
        keys.update(option=b('"a \\"q\\" C:\\\\dir\\\\ ソ"'), name=name, description="")
        keys.update(auto=1, desktop=0, retry=1, encode=1, noretry="")
        self.assertEqual(self.box.read_ini(), ini(**keys) + ENV)
        self.assertEqual(config(name)["preshutdown"], "60000")
        self.assertEqual(config(name)["account"], b"NT SERVICE\\" + b(name))
        record = [config(name)[k] for k in ("type", "start", "path")]
        self.assertEqual(record, ["16", "2", b(winpath(self.box.exe))])
        self.assertEqual(status(name)["state"], STOPPED)
        remove_service(name)  # taken meanwhile: message 11 without owner, the window enabled
        kept, w, _ = self.box.read_ini(), Window(self), scm(name, ("create", APP, 3, 0x10))
        w.fill(("click", 1), option="changed")
        w.answer(T, "yes")
        w.answer(E, "none", 11)
        self.assertEqual(w.read().window["enabled"], "1")
        w.answer(E, "ok")  # the window stays with the input; tavi.ini as it was
        self.assertEqual((w.shows()[1], self.box.read_ini()), (b"changed", kept))
        self.assertEqual(config(name)["path"], b(APP))
        w.closed(("click", 2))

    def test_a_stopped_service_runs_again_delete_and_drop(self):
        # The service the window stopped runs again however the window closes; deleted there and
        # registered anew without a start, it stays stopped.
        name, log = self.service(), self.child_log()
        scm(name, ("create", winpath(self.box.exe), 3, 0x10))
        exe, option = winpath(self.child()), "--windows --log " + log.win
        self.box.write_ini(exe=exe, option=option, name=name, description="d", end=1)
        scm(name, ("start",))
        for i, close in enumerate([("click", 2), ("close",), ("click", 1)], 2):
            w = Window(self)
            self.assertTrue(poll(lambda: status(name)["state"] == STOPPED))
            w.closed(close)
            self.assertEqual(len(log.wait("windows", i)), i)
        w = Window(self)
        w.do(("drop", b(r"C:\other.exe").hex()), ("click", TEST))  # ignored when registered
        w.answer(T, "no", 15, name)
        self.assertMode(w.read(("enabled", 30000)), True)
        w.do(("click", TEST))
        w.answer(T, "yes", 15, name)
        w.answer(T, "ok", 18, name)
        self.assertEqual(w.shows(), [b(exe), b(option), b(name), b"d", 1, 0, 0, 0])
        self.assertIsNone(config(name))
        self.assertMode(w, False)
        # Only the first of the files dropped counts; a batch file cannot be dropped.
        w.do(("drop", b(r"C:\x\DROPPED.EXE").hex(), b(r"C:\second.exe").hex()))
        self.assertTrue(poll(lambda: w.shows()[:3:2] == [rb"C:\x\DROPPED.EXE", b"DROPPED"]))
        w.do(("drop", b(r"C:\run.bat").hex()))
        w.answer(E, "ok", 10)
        w.fill(("click", 1), exe=exe, name=name)
        w.answer(T, "yes", 13, name)
        w.answer(T, "no", 14, name)
        w.closed()
        self.assertEqual((status(name)["state"], len(log.events("windows"))), (STOPPED, 4))

    def test_further_settings_filled_refused_and_saved(self):
        # Filled from a tavi.ini that sets every key and [env], at one end of each range; each field
        # refused one past either end with its message, the dialog staying; Cancel drops what was
        # typed; OK takes the other ends, and the main OK (answered No) saves every key.
        keys = dict(exe=APP, option='""', name="svc", description="", end=2, auto=1, desktop=0)
        keys.update(retry=0, encode=1, log="w表.log", logsize=2147483647, logkeep=0, retrymax=0)
        keys.update(stoptime=1, account="LocalService", noretry="0,3")
        self.box.write_ini(ini(**keys) + b"[env]\r\nA=" + b("表示") + b"\r\nB=2\r\n")
        w = Window(self)
        w.shows()
        filled = [
            b("w表.log"),
            b"2147483647",
            b"0",
            b"0",
            b"0,3",
            b"1",
            b"",
            b("A=表示\r\nB=2\r\n"),
            1,
        ]
        self.assertEqual(self.shown(self.further(w)), filled)
        codes17, long_log, label = ",".join(map(str, range(17))), "l" * 252, w.controls
        for field, value, number, second in [
            (LOGSIZE, "2147483648", 40, "0～2147483647"),
            (LOGSIZE, "-1", 40, "0～2147483647"),
            (LOGKEEP, "100", 40, "0～99"),
            (RETRYMAX, "3601", 40, "0～3600"),
            (STOPTIME, "0", 40, "1～3600"),
            (STOPTIME, "3601", 40, "1～3600"),
            (NORETRY, codes17, 41, None),
            (NORETRY, "4294967296", 41, None),
            (NORETRY, "1,", 41, None),
            (ENV_EDIT, "A=1\r\nNO VALUE", 42, "2"),
            (LOG, long_log, 44, None),
        ]:
            with self.subTest(field=field, value=value[:20]):
                kept = w.controls[field]["text"]
                w.do(("set", field, value), ("click", 1))
                name = label[field + 20]["text"].split(b"(&")[0]
                w.answer(E, "ok", number, name, *[second] * (second is not None))
                w.do(("set", field, kept))
        self.back(w, ("set", LOGSIZE, "5"), ("click", 2))  # Cancel drops it
        self.assertEqual(self.shown(self.further(w)), filled)
        self.back(w, ("click", 1))  # the ends as filled are taken: the dialog closes
        codes16 = ",".join(map(str, range(4294967280, 4294967296)))
        changes = [(LOG, r"C:\logs\x.log"), (LOGSIZE, 0), (LOGKEEP, 99), (RETRYMAX, 3600)]
        changes += [(NORETRY, codes16), (STOPTIME, 3600), (ENV_EDIT, "N=値\r\n\r\nC=3")]
        self.further(w)
        w.do(*[("set", field, value) for field, value in changes], ("select", ACCOUNT, 3))
        self.back(w, ("click", 1))
        w.fill(("click", 1))
        w.answer(T, "no", 13, "svc")
        w.closed()
        keys.update(log=r"C:\logs\x.log", logsize=0, logkeep=99, retrymax=3600, stoptime=3600)
        keys.update(account="virtual", noretry=codes16)
        saved = ini(**keys) + b"[env]\r\nN=" + b("値") + b"\r\nC=3\r\n"
        self.assertEqual(self.box.read_ini(), saved)

    def test_further_settings_account_test_start_and_read_only(self):
        # A user's account needs its password; the test start sees the environment as edited; the
        # registration has the account, and the password is in no file nor the registry. A
        # registered service's further settings are only shown.
        name, log, user = self.service(), self.child_log(), ".\\" + getpass.getuser()
        w = Window(self)
        option = "--windows --env NEW --log " + log.win
        w.fill(exe=winpath(self.child()), option=option, name=name, end=0)
        self.further(w)
        w.do(("select", ACCOUNT, 4), ("set", ACCOUNT_NAME, user), ("set", ENV_EDIT, "NEW=edited"))
        w.do(("click", 1))
        w.answer(E, "ok", 34, user)
        self.back(w, ("set", PASSWORD, "S3cret-pw"), ("click", 1))
        w.fill(("click", TEST))
        w.answer(T, "ok", 12)
        self.assertEqual(log.wait("env")[0]["value"], b"edited")
        w.fill(("click", 1))
        w.answer(T, "yes", 13, name)
        w.answer(T, "no", 14, name)
        w.closed()
        self.assertEqual(config(name)["account"], b(user))
        found = [Path(f).read_bytes() for f in glob.glob(self.box.dir + "/*")]
        found.append(registry("HKLM\\System\\CurrentControlSet\\Services\\" + name))
        self.assertFalse([f for f in found if b"S3cret-pw" in f])
        w = Window(self)
        controls = self.further(w)
        read_only = [
            int(controls[i]["style"], 16) & 0x800 != 0 for i in FIELDS if i != ACCOUNT_NAME
        ]
        disabled = [controls[i]["enabled"] for i in (ACCOUNT, ACCOUNT_NAME, PASSWORD, LOG_BROWSE)]
        self.assertEqual((read_only, disabled), ([True] * 7, ["0"] * 4))
        self.back(w, ("click", 1))
        w.closed(("click", 2))

    def test_browse_and_help(self):
        shutil.copy(HELP, self.box.dir)
        w = Window(self, trace="+pid,+exec")
        w.fill(exe=APP, name="typed")
        for file_name in [None, "notes.txt", "prog.exe", "run.tool.bat"]:
            w.do(("click", BROWSE))
            w.title = msg(27)  # the file dialog, owned by the window, with the filter of programs
            dialog = w.read().controls
            texts = (dialog[1136]["text"], dialog[1148]["text"])
            self.assertEqual((int(w.window["owner"], 16), texts), (w.hwnd, (msg(25), b"")))
            path = file_name and os.path.join(self.box.dir, file_name)
            path and open(path, "wb").close()
            w.do(*[("set", 1148, winpath(path)), ("click", 1)] if path else [("click", 2)])
            w.title = TITLE
            file_name == "notes.txt" and w.answer(E, "ok", 10)
            kept = file_name in (None, "notes.txt")
            taken = kept or [b(winpath(path)), b(file_name.split(".")[0])]
            self.assertEqual(w.shows()[:3:2], [b(APP), b"typed"] if kept else taken)
        shown = w.shows()
        w.do(("help",))  # F1: the viewer shows tavi.chm beside tavi.exe, and the window works on
        help = b'ShellExecuteA %016X,"open","tavi.chm",(null),(null),5' % w.hwnd
        self.assertTrue(poll(lambda: help in w.trace()))
        viewer = b("tavi %s ヘルプ" % VERSION).hex()
        self.addCleanup(probe, "win", viewer, 0, 0, ";", "close")
        found = one(probe("win", viewer, 60000, 0, ";", "dump"), "window")
        self.assertEqual(found["class"], b"HH Parent")
        self.assertEqual(w.shows(), shown)
        w.closed(("click", 2))

    def test_the_help_names_and_quotes(self):
        # tavi.chm read back: its contents list every page, the options, keys and exit codes are
        # named, each text quoted in 「」 is one the window or a message shows, and each in 『』
        # is a page's title.
        listing = subprocess.run(["chmls", "-n", "list", HELP], capture_output=True, text=True)
        names = sorted(re.findall(r"^/(page\d\d\.html)$", listing.stdout, re.M))
        with tempfile.TemporaryDirectory() as out:
            subprocess.run(["chmls", "extractall", HELP, out], capture_output=True, check=True)
            read = lambda name: Path(out, name).read_bytes().decode("cp932")
            pages, contents, index = [read(n) for n in names], read("tavi.hhc"), read("tavi.hhk")
        titles = [re.search("<h1>(.*)</h1>", page)[1] for page in pages]
        self.assertEqual(titles, CHAPTERS)
        self.assertEqual(re.findall(r'"Local" value="(page\d\d.html)"', contents), names)
        self.assertIn("tavi %s" % VERSION, pages[0])
        text, page = "".join(pages), dict(zip(titles, pages))
        table = (ROOT / "launcher/command_line.cpp").read_text()
        keys = re.findall(r'\{"(\w+)", KEY_', (ROOT / "settings/service_settings.cpp").read_text())
        options = re.findall(r'\{"(\w+)", KIND_', table)
        options += [k.lower() for k in re.findall(r"\{NULL, KIND_KEY, K_(\w+)\}", table)]
        missing = [o for o in options if not re.search(r"<code>[^<]*/%s\b" % o, text)]
        missing += [k for k in keys if "<tr><td><code>%s</code>" % k not in page["tavi.ini"]]
        missing += [k for k in keys if '"Name" value="%s"' % k not in index]
        codes = page["コマンドライン"]
        missing += [n for n in range(5) if "<tr><td>%d</td>" % n not in codes]
        self.assertEqual((missing, len(options), len(keys)), ([], 24, 16))
        # The window's own texts: its titles, its controls and the further settings', and each line
        # and sentence of the catalogue (messages, list entries, file dialogs' titles), without "&".
        w = Window(self)
        msg(1)
        shown = [c["text"] for c in w.do(("dump",)) if c["kind"] == "control"]
        self.further(w)
        shown += [c["text"] for c in w.do(("dump",)) if c["kind"] == "control"]
        self.back(w, ("click", 2))
        w.closed(("click", 2))
        lines = [l for t in shown + list(CATALOGUE.values()) for l in t.decode("cp932").split("\n")]
        captions = {TITLE, FURTHER_TITLE} | {
            c.replace("&", "") for l in lines for c in re.findall("[^。]+。?", l) + [l]
        }
        text = html.unescape(re.sub("<[^>]*>", "", text))
        self.assertEqual(set(re.findall("「([^」]*)」", text)) - captions, set())
        self.assertEqual(set(re.findall("『([^』]*)』", text)) - set(titles), set())

    def test_the_test_start_with_each_method(self):
        # WaitForInputIdle waits for a windows-subsystem program only. The selected method governs,
        # not the stored one (3). With Ctrl+Break a console program shares tavi's console, in a
        # group of its own.
        data, gui = bytearray(Path(PROBE).read_bytes()), self.child(self.box.dir + "/gui")
        struct.pack_into("<H", data, struct.unpack_from("<I", data, 0x3C)[0] + 92, 2)
        Path(gui).write_bytes(data)
        self.box.write_ini(ini(end=3) + ENV)  # the program sees the variables
        w, defproc = Window(self, trace="+pid,+console"), [("main", "WM_CLOSE", "defproc")]
        w.fill(("click", TEST), exe=winpath(self.box.dir + "/missing.exe"), end=3)
        self.assertEqual(w.read().window["enabled"], "1")  # no notice: it returned at once
        for exe, method, extra, messages in [
            (gui, 0, "", CLOSE),
            (gui, 2, "", SC + defproc),
            (gui, 0, "--ignore", CLOSE),
            (gui, 0, "--hang", []),
            (PROBE, 3, "--wait", []),
            (PROBE, -1, "--wait", CLOSE),
        ]:
            with self.subTest(method=method, extra=extra):
                log = self.child_log()
                option = "--windows %s --log %s --env SPACED" % (extra, log.win)
                started = time.monotonic()
                w.fill(("click", TEST), exe=winpath(exe), option=option, name="", end=method)
                w.answer(T, "none", 12)  # the notice, owned by the window
                waited, start = time.monotonic() - started, log.wait("start")[0]
                self.assertEqual(log.wait("env")[0]["value"], b"a b " + b("ソ"))
                shared = (start["group"], w.pid in start["conprocs"].split(","))
                self.assertEqual(shared, (str(int(method == 3)), method == 3))
                self.assertEqual(len(log.wait("windows")), 1)  # ready before the notice
                if extra == "--hang" or method == 3:  # never ready: the wait is bounded at 10 s
                    self.assertTrue(9 < waited < 30 or method == 3, waited)
                    probe("kill", start["pid"])  # no Ctrl+Break under Wine
                # OK on the notice; then an OK posted to the window shows message 1 when the test
                # start has returned.
                ok, started = [
                    "win",
                    b(TITLE).hex(),
                    5000,
                    w.pid,
                    ";",
                    "click",
                    1,
                ], time.monotonic()
                probe("box", b(T).hex(), "ok", 5000, w.pid, ";", *ok)
                w.answer(E, "ok", 1)
                held = time.monotonic() - started
                self.assertEqual(log.messages(), messages)
                # A program that does not end holds the window 30 s, then is left running.
                self.assertTrue(29 < held < 45 if extra == "--ignore" else held < 10, held)
                alive = probe("alive", start["pid"])[0]["exists"]
                self.assertEqual(alive, str(int(extra == "--ignore")))
        console = int(self.logs[4].events("start")[0]["pid"])
        self.assertIn(b"GenerateConsoleCtrlEvent (1, %x)" % console, w.trace())
        # Consoles made: for the missing program and for the console one.
        self.assertEqual(w.trace().count(b"console:alloc_console ()"), 2)
        w.closed(("click", 2))
