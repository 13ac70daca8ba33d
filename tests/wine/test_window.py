"""The configuration window in both modes, its ways in (typing, browse, drop, F1), the test start, the catalogue."""
import hashlib
import os
import struct
import time
from pathlib import Path

from harness import (CATALOGUE, CLOSE, E, EXE, PROBE, RUNNING, SC, STOPPED, T, TITLE, WORK, TaviCase, b, collect, config, hx,
                     ini, msg, one, peek, poll, probe, remove_service, scm, status, winpath)

EXE_ID, BROWSE, OPTION, END, TEST, NAME, AUTO, DESKTOP, DESCRIPTION, RETRY = 1000, 1001, 1002, 1003, 1004, 1005, 1010, 1011, 1012, 1013
APP = r"C:\tools\app.exe"

class Window:  # a tavi.exe started from its own folder, with its window open
    def __init__(self, test, trace=None):
        self.test, self.title = test, TITLE
        self.run = probe("run", winpath(test.box.dir), hx(test.box.line("")), 600000, "any", trace=trace, background=True)
        self.pid = poll(lambda: one(peek(self.run), "started"))["pid"]
        test.addCleanup(probe, "win", hx(TITLE), 0, self.pid, ";", "close")  # what a failed test left open
        self.hwnd = int(self.read().window["hwnd"], 16)

    def do(self, *verbs, boxes=()):  # verbs on the window, then its boxes (caption, button[, message[, name]])
        found = probe("win", hx(self.title), 30000, self.pid, *[a for v in verbs for a in (";", *v[:2], *(hx(x) if v[0] == "set" else x for x in v[2:]))])
        for caption, button, *expected in boxes:
            box = one(probe("box", hx(caption), button, 60000, self.pid), "box")
            self.test.assertIn("text", box, "no %s box" % caption)
            owner = 0 if expected and expected[0] in (5, 11) else self.hwnd  # messages 5 and 11 have none
            expected and self.test.assertBoxes([box], (expected[0], caption, *expected[1:]), owner=owner)
        return found

    def read(self, *verbs):
        found = self.do(*verbs, ("dump",))
        self.window, self.order = one(found, "window"), [c for c in found if c["kind"] == "control"]
        self.controls = {int(c["id"]): c for c in self.order}
        return self

    def shows(self, *verbs):
        """exe, option, name, description, selected method, auto, desktop, retry, once the window takes input."""
        c = self.read(*verbs, ("enabled", 30000)).controls
        return [c[i]["text"] for i in (EXE_ID, OPTION, NAME, DESCRIPTION)] + [int(c[END]["cursel"])] + [int(c[i]["check"]) for i in (AUTO, DESKTOP, RETRY)]

    def fill(self, *verbs, exe=None, option=None, name=None, description=None, end=None, click=None, boxes=()):
        verbs += tuple(("set", i, v) for i, v in ((EXE_ID, exe), (OPTION, option), (NAME, name), (DESCRIPTION, description)) if v is not None)
        return self.do(*verbs + (("select", END, end),) * (end is not None) + (("click", click),) * bool(click), boxes=boxes)

    def trace(self):
        return b"\n".join(l for l in Path(WORK, "trace.txt").read_bytes().splitlines() if l.startswith(b"%04x:" % int(self.pid)))

    def closed(self, *verbs, boxes=(), code=0):
        self.do(*verbs, boxes=boxes)
        self.test.assertEqual(collect(self.run)[-1]["code"], str(code))

class WindowTest(TaviCase):
    def assertMode(self, w, registered):
        self.assertEqual([w.controls[i]["enabled"] for i in (EXE_ID, BROWSE, OPTION, END, NAME, AUTO, DESKTOP, DESCRIPTION, RETRY)]
                         + [w.controls[TEST]["text"]], [str(int(not registered))] * 9 + [msg(23 if registered else 24)])

    def test_opening_in_both_modes(self):
        keys = dict(exe=APP, option=r'"-a \"b\" c:\\x"', name="svc one", description="説明です", end=1, auto=0, desktop=1, retry=1, encode=1)
        self.box.write_ini(**keys)
        w = Window(self)
        self.assertEqual(w.shows(), [b(APP), b'-a "b" c:\\x', b"svc one", b("説明です"), 1, 0, 1, 1])
        self.assertMode(w, False)
        self.assertEqual([w.read(("select", END, i)).controls[END]["text"] for i in range(4)], [msg(n) for n in range(19, 23)])
        self.assertTrue(poll(lambda: int(w.read().window["exstyle"], 16) & 0x10))  # takes dropped files
        # Typing limited to 260 bytes; centred (in doubled pixels); OK is the default button.
        self.assertEqual(([w.controls[i]["limit"] for i in (EXE_ID, OPTION, NAME, DESCRIPTION)], int(w.window["offcentre"]) <= 4,
                          w.controls[1]["style"], w.controls[2]["style"]), (["260"] * 4, True, "50010001", "50010000"))
        w.closed(("click", 2))
        self.assertEqual(self.box.read_ini(), ini(**keys))
        os.remove(self.box.ini)  # without a file: the defaults
        w = Window(self)
        self.assertEqual(w.shows(), [b"", b"", b"", b"", 2, 1, 0, 0])
        w.closed(("key", 0x1B))  # Escape
        self.assertFalse(os.path.exists(self.box.ini))
        # Registered: the registration's start type and desktop flag, read-only.
        name = self.service()
        scm(name, ("create", winpath(self.box.exe), 3, 0x110))
        keys = dict(exe=APP, option="-x", name=name, description="d", end=3, auto=1, desktop=0, retry=1)
        self.box.write_ini(**keys)
        w = Window(self)
        self.assertEqual(w.shows(), [b(APP), b"-x", b(name), b"d", 3, 0, 1, 1])
        self.assertMode(w, True)
        w.closed(("click", 1))  # OK only closes
        self.assertEqual((self.box.read_ini(), status(name)["state"]), (ini(**keys), STOPPED))

    def test_ok_refuses_and_keeps_the_input(self):
        w = Window(self)
        w.fill(option="-o", description="desc", end=0, click=1, boxes=[(E, "ok", 1)])  # both empty: the name only
        for exe, name, number in [("", "svc", 2), (r"C:\tools.d\app", "svc", 2), (r"C:\tools\app.txt", "svc", 2), (APP, "", 1)]:
            w.fill(exe=exe, name=name, click=1, boxes=[(E, "ok", number)])
            self.assertEqual(w.shows(), [b(exe), b"-o", b(name), b"desc", 0, 1, 0, 0])
        option = "a" * 100 + "\\" * 80  # escaped, 260 bytes: one too many
        w.fill(exe=APP, name="svc", option=option, click=1, boxes=[(E, "ok", 28)])
        for click in (1, TEST):  # stored whole, but a command line with the path too long: refused by both
            w.fill(option="o" * 243, click=click, boxes=[(E, "ok", 28)])
        self.assertFalse(os.path.exists(self.box.ini))
        w.closed(("set", OPTION, option[1:]), ("click", 1), boxes=[(T, "no", 13, "svc")])  # one byte less is stored; No saved it
        self.assertIn(b'option="%s"' % b(option[1:].replace("\\", "\\\\")), self.box.read_ini())
        os.remove(self.box.ini)
        os.mkdir(self.box.ini)  # a folder in its place: even root cannot write it
        w = Window(self)
        w.fill(exe=APP, name="svc", click=1, boxes=[(T, "ok", 4)])
        self.assertEqual(w.shows()[:3:2], [b(APP), b"svc"])
        w.closed(("click", 2))
        self.assertIsNone(config("svc"))

    def test_registration_from_the_window(self):
        # Stored end 7 selects nothing, and OK stores -1; an upper-case
        # extension passes; Yes then No registers without starting.
        self.box.write_ini(end=7, log="w.log", logsize="abc", logkeep=7)  # the window keeps the log's keys
        name, w = self.service(), Window(self)
        self.assertEqual(w.shows()[4], -1)
        w.fill(("check", AUTO, 1), ("check", DESKTOP, 1), ("check", RETRY, 1), exe=r"C:\tools\app.EXE", option='a "q" C:\\dir\\ ソ',
               name=name, description="説明", click=1, boxes=[(T, "yes", 13, name), (T, "no", 14, name)])
        w.closed()
        self.assertEqual(self.box.read_ini(), ini(end=-1, log="w.log", logsize="abc", logkeep=7, exe=r"C:\tools\app.EXE", option=b'"a \\"q\\" C:\\\\dir\\\\ ' + b("ソ") + b'"',
                                                  name=name, description="説明", auto=1, desktop=1, retry=1, encode=1))
        self.assertEqual([config(name)[k] for k in ("type", "start", "path", "description")], ["272", "2", b(winpath(self.box.exe)), b("説明")])
        self.assertEqual(status(name)["state"], STOPPED)
        remove_service(name)  # Yes and Yes: registered and started
        log, w = self.child_log(), Window(self)
        w.closed(("check", AUTO, 0), ("set", EXE_ID, winpath(self.child())), ("set", OPTION, "--windows --log " + log.win),
                 ("select", END, 0), ("click", 1), boxes=[(T, "yes"), (T, "yes", 14, name)])
        self.assertEqual((len(log.wait("windows")), config(name)["start"], status(name)["state"]), (1, "3", RUNNING))
        remove_service(name)  # taken meanwhile: message 11 without owner, the window enabled
        kept, w, _ = self.box.read_ini(), Window(self), scm(name, ("create", APP, 3, 0x10))
        w.fill(("set", OPTION, "changed"), click=1, boxes=[(T, "yes"), (E, "none", 11)])
        self.assertEqual(w.read().window["enabled"], "1")
        w.do(boxes=[(E, "ok")])  # the window stays with the input; tavi.ini as it was
        self.assertEqual((w.shows()[1], self.box.read_ini(), config(name)["path"]), (b"changed", kept, b(APP)))
        self.assertEqual(sorted(os.listdir(self.box.dir)), ["child0.log", "probe.exe", "tavi.exe", "tavi.ini", "w.log"])
        w.closed(("click", 2))

    def test_delete_and_drop(self):
        name = self.service()
        scm(name, ("create", APP, 3, 0x10))
        self.box.write_ini(exe=APP, name=name, description="d", end=1)
        w = Window(self)
        w.do(("drop", hx(r"C:\other.exe")), ("click", TEST), boxes=[(T, "no", 15, name)])  # dropped when registered: ignored
        self.assertMode(w.read(("enabled", 30000)), True)
        w.do(("click", TEST), boxes=[(T, "yes", 15, name), (T, "ok", 18, name)])
        self.assertEqual((w.shows(), config(name)), ([b(APP), b"", b(name), b"d", 1, 0, 0, 0], None))
        self.assertMode(w, False)
        # Only the first of the files dropped counts; a batch file cannot be dropped.
        w.do(("drop", hx(r"C:\x\DROPPED.EXE"), hx(r"C:\second.exe")))
        self.assertTrue(poll(lambda: w.shows()[:3:2] == [rb"C:\x\DROPPED.EXE", b"DROPPED"]))
        w.do(("drop", hx(r"C:\run.bat")), boxes=[(E, "ok", 10)])
        w.closed(("click", 2))
        # Deleted by someone else while the window shows it: message 5 without owner.
        scm(name, ("create", APP, 3, 0x10))
        w = Window(self)
        remove_service(name)
        w.do(("click", TEST), boxes=[(T, "yes"), (E, "ok", 5)])
        self.assertMode(w.read(), True)
        w.closed(("click", 1))

    def test_a_service_the_probe_stopped_runs_again(self):
        name, log = self.service(), self.child_log()
        scm(name, ("create", winpath(self.box.exe), 3, 0x10))
        self.box.write_ini(exe=winpath(self.child()), option="--windows --log " + log.win, name=name, end=0)
        scm(name, ("start",))
        for i, close in enumerate([("click", 2), ("key", 0x1B), ("close",), ("click", 1)], 2):
            w = Window(self)
            self.assertTrue(poll(lambda: status(name)["state"] == STOPPED))
            w.closed(close)
            self.assertEqual(len(log.wait("windows", i)), i)
        # Without its window (a template naming no such class) tavi restarts the service and fails.
        exe = Path(self.box.exe)
        exe.write_bytes(exe.read_bytes().replace("STATIC".encode("utf-16-le"), "NOSUCH".encode("utf-16-le"), 1))
        self.assertEqual(self.box.tavi(), (1, []))
        self.assertEqual(len(log.wait("windows", 6)), 6)

    def test_browse_and_help(self):
        w = Window(self, trace="+pid,+exec")
        w.fill(exe=APP, name="typed")
        for file_name in [None, "notes.txt", "prog.exe", "run.tool.bat"]:
            w.do(("click", BROWSE))
            w.title = msg(27)  # the file dialog, owned by the window, with the filter of programs
            d = w.read().controls
            self.assertEqual((int(w.window["owner"], 16), d[1136]["text"], d[1148]["text"]), (w.hwnd, msg(25), b""))
            path = file_name and os.path.join(self.box.dir, file_name)
            path and open(path, "wb").close()
            w.do(*[("set", 1148, winpath(path)), ("click", 1)] if path else [("click", 2)])
            w.title = TITLE
            w.do(boxes=[(E, "ok", 10)] if file_name == "notes.txt" else [])
            kept = file_name in (None, "notes.txt")
            self.assertEqual(w.shows()[:3:2], [b(APP), b"typed"] if kept else [b(winpath(path)), b(file_name.split(".")[0])])
        w.do(("help",))
        self.assertTrue(poll(lambda: b'ShellExecuteA %016X,"open","tavi.chm",(null),(null),5' % w.hwnd in w.trace()))
        w.closed(("click", 2))

class TestStartTest(TaviCase):
    def press(self, w, exe, option, method):
        """Test start; waits for the notice (message 12, owned by the window); the seconds that took."""
        started = time.monotonic()
        w.fill(exe=exe, option=option, name="", end=method, click=TEST, boxes=[(T, "none", 12)])
        return time.monotonic() - started

    def close_notice(self, w):  # OK on the notice; the seconds until an OK posted to the window shows message 1
        started = time.monotonic()
        probe("box", hx(T), "ok", 5000, w.pid, ";", "win", hx(TITLE), 5000, w.pid, ";", "click", 1)
        w.do(boxes=[(E, "ok", 1)])
        return time.monotonic() - started

    def test_each_method(self):
        # WaitForInputIdle waits for a windows-subsystem program only. The selected method governs, not the
        # stored one (3). With Ctrl+Break a console program shares tavi's console in a group of its own.
        data, gui = bytearray(Path(PROBE).read_bytes()), self.child(os.path.join(self.box.dir, "gui"))
        struct.pack_into("<H", data, struct.unpack_from("<I", data, 0x3C)[0] + 92, 2)
        Path(gui).write_bytes(data)
        self.box.write_ini(end=3)
        w, defproc = Window(self, trace="+pid,+console"), [("main", "WM_CLOSE", "defproc")]
        w.fill(exe=winpath(os.path.join(self.box.dir, "missing.exe")), end=3, click=TEST)  # no notice: returns at once
        self.assertEqual(w.read().window["enabled"], "1")
        for exe, method, extra, messages in [(gui, 0, "", CLOSE), (gui, 2, "", SC + defproc), (gui, 0, "--ignore", CLOSE),
                                             (gui, 0, "--hang", []), (PROBE, 3, "--wait", []), (PROBE, -1, "--wait", CLOSE)]:
            with self.subTest(method=method, extra=extra):
                log, option = self.child_log(), "--windows %s --log %s" % (extra, self.logs[-1].win)
                waited, start = self.press(w, winpath(exe), option, method), log.wait("start")[0]
                self.assertEqual((start["cmd"], start["cwd"]), (b(winpath(exe) + " " + option), b(winpath(os.path.dirname(exe)))))
                self.assertEqual((start["group"], w.pid in start["conprocs"].split(",")), (str(int(method == 3)), method == 3))
                self.assertEqual(len(log.wait("windows")), 1)  # ready before the notice
                if extra == "--hang" or method == 3:  # never ready: the wait is bounded at 10 s; no Ctrl+Break under Wine
                    self.assertTrue(9 < waited < 30 or method == 3, waited)
                    probe("kill", start["pid"])
                held = self.close_notice(w)
                self.assertEqual(log.messages(), messages)
                # A program that does not end holds the window 30 s, then is left running.
                self.assertTrue(29 < held < 45 if extra == "--ignore" else held < 10, held)
                self.assertEqual(probe("alive", start["pid"])[0]["exists"], str(int(extra == "--ignore")))
        self.assertIn(b"GenerateConsoleCtrlEvent (1, %x)" % int(self.logs[4].events("start")[0]["pid"]), w.trace())
        self.assertEqual(w.trace().count(b"console:alloc_console ()"), 2)  # the missing program's and the console one's
        w.closed(("click", 2))

class ResourceTest(TaviCase):
    def test_strings(self):
        # Entries 1-29 but 8, pinned byte for byte in code page 932 (a failure shows them all).
        self.assertEqual(sorted(msg(1) and CATALOGUE), [n for n in range(1, 30) if n != 8])
        self.assertEqual(hashlib.sha256(b"\n".join(CATALOGUE[n] for n in sorted(CATALOGUE))).hexdigest(),
                         "ff917c4bfc9e877c9e5e57a5db47acb2f0b9b8230cd5469c6d81faf46991ca7d", [CATALOGUE[n].decode("cp932") for n in sorted(CATALOGUE)])
