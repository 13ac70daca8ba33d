"""The configuration window in both modes, its ways in (typing, browse, drop,
F1), the test start, and the resources the window and boxes are made of."""
import collections
import os
import re
import struct
import subprocess
import time

from harness import (E, EXE, PROBE, RUNNING, STOPPED, T, TITLE, WORK, TaviCase, b, collect, config, hx, msg, one,
                     peek, poll, probe, remove_service, scm, status, winpath)

EXE_ID, BROWSE, OPTION, END, TEST, NAME, AUTO, DESKTOP, DESCRIPTION, RETRY = (
    1000, 1001, 1002, 1003, 1004, 1005, 1010, 1011, 1012, 1013)
EDITABLE = [EXE_ID, BROWSE, OPTION, END, NAME, AUTO, DESKTOP, DESCRIPTION, RETRY]
APP = r"C:\tools\app.exe"
CLOSE, SC = [("main", "WM_CLOSE", "outside")], [("main", "SC_CLOSE", "outside")]


class Window:
    """A tavi.exe started from its own folder, with its window open."""

    def __init__(self, test, trace=None):
        self.test, self.title = test, TITLE
        self.run = probe("run", winpath(test.box.dir), hx(test.box.line("")), 600000, "any",
                         trace=trace, background=True)
        self.pid = poll(lambda: one(peek(self.run), "started"))["pid"]
        test.addCleanup(probe, "kill", self.pid)
        self.read()
        test.assertIsNotNone(self.window, "the window did not open")
        self.hwnd = int(self.window["hwnd"], 16)

    def do(self, *verbs):
        """Verbs on the window: ("set", id, text), ("click", id), ("dump",)..."""
        args = ["win", hx(self.title), 30000, self.pid]
        for verb in verbs:
            args += [";", *verb[:2], *(hx(v) if verb[0] == "set" else v for v in verb[2:])]
        return probe(*args)

    def read(self, *verbs):
        found = self.do(*verbs, ("dump",))
        self.window = one(found, "window")
        self.controls = {int(c["id"]): c for c in found if c["kind"] == "control"}
        return self

    def shows(self):
        """exe, option, name, description, selected method, auto, desktop, retry."""
        c = self.controls
        return ([c[i]["text"] for i in (EXE_ID, OPTION, NAME, DESCRIPTION)] +
                [int(c[END]["cursel"])] + [int(c[i]["check"]) for i in (AUTO, DESKTOP, RETRY)])

    def fill(self, *verbs, exe=None, option=None, name=None, description=None, end=None, click=None):
        for i, value in ((EXE_ID, exe), (OPTION, option), (NAME, name), (DESCRIPTION, description)):
            if value is not None:
                verbs += (("set", i, value),)
        verbs += (("select", END, end),) * (end is not None) + (("click", click),) * bool(click)
        return self.do(*verbs)

    def box(self, caption, button="ok", *expected, owned=True):
        """Waits for a box, answers it; checks it shows expected (message[, name])."""
        found = one(probe("box", hx(caption), button, 60000, self.pid), "box")
        self.test.assertIn("text", found, "no %s box" % caption)
        if expected:
            owner = self.hwnd if owned else 0
            self.test.assertBoxes([found], (expected[0], caption, *expected[1:]), owner=owner)
        return found

    def trace(self):
        """Wine's trace of this tavi.exe."""
        with open(os.path.join(WORK, "trace.txt"), "rb") as f:
            return b"\n".join(l for l in f.read().splitlines() if l.startswith(b"%04x:" % int(self.pid)))

    def closed(self, code=0):
        self.test.assertEqual(collect(*self.run)[-1]["code"], str(code))


def ini(**keys):
    return b"[tavi]\r\n" + b"".join(b"%s=%s\r\n" % (b(k), b(v)) for k, v in keys.items())


class WindowTest(TaviCase):
    def assertMode(self, w, registered):
        self.assertEqual([w.controls[i]["enabled"] for i in EDITABLE], [str(int(not registered))] * 9)
        self.assertEqual(w.controls[TEST]["text"], msg(23 if registered else 24))

    def test_opening_in_both_modes(self):
        self.box.write_ini(ini(exe=APP, option=r'"-a \"b\" c:\\x"', name="svc one", description="説明です",
                               end=1, auto=0, desktop=1, retry=1, encode=1))
        before = self.box.read_ini()
        w = Window(self)
        self.assertEqual(w.shows(), [b(APP), b'-a "b" c:\\x', b"svc one", b("説明です"), 1, 0, 1, 1])
        self.assertMode(w, False)
        self.assertEqual(w.controls[END]["items"], b",".join(msg(n).hex().encode() for n in (19, 20, 21, 22)).decode())
        self.assertEqual([w.controls[i]["limit"] for i in (EXE_ID, OPTION, NAME, DESCRIPTION)], ["260"] * 4)
        self.assertTrue(poll(lambda: int(w.read().window["exstyle"], 16) & 0x10))  # takes dropped files
        centre, area = ([int(n) for n in w.window[k].split(",")] for k in ("center", "areacenter"))
        self.assertLessEqual(max(abs(x - y) for x, y in zip(centre, area)), 1)
        # Icon 102 on the window: Wine hands it to X, navy its main colour.
        tree = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True).stdout
        xid = re.search(rb"(0x[0-9a-f]+) \"%s\"" % TITLE.encode(), tree).group(1)
        pixels = subprocess.run(["xprop", "-id", xid, "-notype", "32c", "_NET_WM_ICON"], capture_output=True).stdout
        pixels = [int(n) for n in re.findall(rb"\d+", pixels.split(b"=")[-1])]
        self.assertEqual(collections.Counter(pixels[2:2 + pixels[0] * pixels[1]]).most_common(1)[0][0], 0xFF000080)
        w.do(("click", 2))
        w.closed()
        self.assertEqual(self.box.read_ini(), before)
        os.remove(self.box.ini)
        w = Window(self)
        self.assertEqual(w.shows(), [b"", b"", b"", b"", 2, 1, 0, 0])
        w.do(("key", 0x1B))  # Escape
        w.closed()
        self.assertFalse(os.path.exists(self.box.ini))
        # Registered: the registration's start type and desktop flag, read-only.
        name = self.service()
        scm(name, ("create", winpath(self.box.exe), 3, 0x110))
        self.box.write_ini(ini(exe=APP, option="-x", name=name, description="d", end=3, auto=1, desktop=0, retry=1))
        before = self.box.read_ini()
        for close in (1, 2):
            w = Window(self)
            self.assertEqual(w.shows(), [b(APP), b"-x", b(name), b"d", 3, 0, 1, 1])
            self.assertMode(w, True)
            w.do(("click", close))
            w.closed()
            self.assertEqual((self.box.read_ini(), status(name)["state"]), (before, STOPPED))

    def test_ok_refuses_and_keeps_the_input(self):
        w = Window(self)
        w.do(("click", 1))
        w.box(E, "ok", 1)  # both empty: the name only
        w.fill(option="-o", description="desc", end=0)
        for exe, name, number in [("", "svc", 2), (r"C:\tools.d\app", "svc", 2), (r"C:\tools\app.txt", "svc", 2), (APP, "", 1)]:
            w.fill(exe=exe, name=name, click=1)
            w.box(E, "ok", number)
            self.assertEqual(w.read(("enabled", 30000)).shows(), [b(exe), b"-o", b(name), b"desc", 0, 1, 0, 0])
        # Escaped, 100 letters and 80 backslashes take 260 bytes: one too many.
        option = "a" * 100 + "\\" * 80
        w.fill(exe=APP, name="svc", option=option, click=1)
        w.box(E, "ok", 28)
        for click in (1, TEST):  # stored whole, but too long a command line with the path: refused by both
            w.fill(option="o" * 243, click=click)
            w.box(E, "ok", 28)
        self.assertFalse(os.path.exists(self.box.ini))
        # One byte less is stored; No to the registration still saved it.
        w.fill(option=option[1:], click=1)
        w.box(T, "no", 13, "svc")
        w.closed()
        self.assertIn(b'option="%s"' % b(option[1:].replace("\\", "\\\\")), self.box.read_ini())
        self.assertIsNone(config("svc"))

    def test_registration_from_the_window(self):
        # Stored end 7 selects nothing, and OK stores -1; an upper-case
        # extension passes; Yes then No registers without starting.
        self.box.write_ini(ini(end=7))
        name = self.service()
        w = Window(self)
        self.assertEqual(w.shows()[4], -1)
        w.fill(("check", AUTO, 1), ("check", DESKTOP, 1), ("check", RETRY, 1), exe=r"C:\tools\app.EXE",
               option='a "q" C:\\dir\\ ソ', name=name, description="説明", click=1)
        w.box(T, "yes", 13, name)
        w.box(T, "no", 14, name)
        w.closed()
        self.assertEqual(self.box.read_ini(), ini(end=-1, exe=r"C:\tools\app.EXE", option=b'"a \\"q\\" C:\\\\dir\\\\ ' + b("ソ") + b'"',
                                                  name=name, description=b("説明"), auto=1, desktop=1, retry=1, encode=1))
        self.assertEqual((config(name)["type"], config(name)["start"], config(name)["path"], config(name)["description"]),
                         ("272", "2", b(winpath(self.box.exe)), b("説明")))
        self.assertEqual(status(name)["state"], STOPPED)
        # Yes and Yes: registered and started.
        remove_service(name)
        log = self.child_log()
        w = Window(self)
        w.fill(("check", AUTO, 0), exe=winpath(self.child()), option="--windows --log " + log.win, name=name, end=0, click=1)
        w.box(T, "yes")
        w.box(T, "yes", 14, name)
        w.closed()
        log.wait("windows")
        self.assertEqual((config(name)["start"], status(name)["state"]), ("3", RUNNING))
        # Taken meanwhile: message 11 without owner, the window still enabled.
        remove_service(name)
        w = Window(self)
        scm(name, ("create", APP, 3, 0x10))
        w.fill(click=1)
        w.box(T, "yes")
        w.box(E, "none", 11, owned=False)
        self.assertEqual(w.read().window["enabled"], "1")
        probe("box", hx(E), "ok", 10000, w.pid)
        w.closed()
        self.assertEqual(config(name)["path"], b(APP))

    def test_settings_that_cannot_be_written_register_nothing(self):
        self.box.write_ini(ini(description="old"))
        if subprocess.run(["chattr", "+i", self.box.ini], stderr=subprocess.DEVNULL).returncode:
            self.skipTest("chattr +i is not possible here")  # Wine writes read-only files as root
        self.addCleanup(subprocess.run, ["chattr", "-i", self.box.ini])
        w = Window(self)
        name = self.service()
        w.fill(exe=APP, name=name, description="new", click=1)
        w.box(T, "ok", 4)
        self.assertEqual(w.read(("enabled", 30000)).shows()[:4], [b(APP), b"", b(name), b"new"])
        w.do(("click", 2))
        w.closed()
        self.assertEqual((config(name), self.box.read_ini()), (None, ini(description="old")))

    def test_delete(self):
        name = self.service()
        scm(name, ("create", APP, 3, 0x10))
        self.box.write_ini(ini(exe=APP, name=name, description="d", end=1))
        w = Window(self)
        w.do(("click", TEST))
        w.box(T, "no", 15, name)
        self.assertMode(w.read(("enabled", 30000)), True)
        w.do(("click", TEST))
        w.box(T, "yes", 15, name)
        w.box(T, "ok", 18, name)
        self.assertMode(w.read(("enabled", 30000)), False)
        self.assertEqual(w.shows(), [b(APP), b"", b(name), b"d", 1, 0, 0, 0])
        self.assertIsNone(config(name))
        w.do(("click", 2))
        w.closed()
        # Deleted by someone else while the window shows it: message 5 without owner.
        scm(name, ("create", APP, 3, 0x10))
        w = Window(self)
        remove_service(name)
        w.do(("click", TEST))
        w.box(T, "yes")
        w.box(E, "ok", 5, owned=False)
        self.assertMode(w.read(), True)
        w.do(("click", 1))
        w.closed()

    def test_a_service_the_probe_stopped_runs_again(self):
        name, log = self.service(), self.child_log()
        scm(name, ("create", winpath(self.box.exe), 3, 0x10))
        self.box.write_ini(ini(exe=winpath(self.child()), option="--windows --log " + log.win, name=name, end=0))
        scm(name, ("start",))
        for i, close in enumerate([("click", 2), ("key", 0x1B), ("close",), ("click", 1)], 2):
            w = Window(self)
            self.assertTrue(poll(lambda: status(name)["state"] == STOPPED))
            w.do(close)
            w.closed()
            self.assertEqual(len(log.wait("windows", i)), i)
        # Without its window (a template naming no such class) tavi restarts
        # the service and fails.
        with open(self.box.exe, "rb") as f:
            data = f.read()
        with open(self.box.exe, "wb") as f:
            f.write(data.replace("STATIC".encode("utf-16-le"), "NOSUCH".encode("utf-16-le"), 1))
        self.assertEqual(self.box.tavi(), (1, []))
        self.assertEqual(len(log.wait("windows", 6)), 6)


class WaysInTest(TaviCase):
    def test_browse(self):
        w = Window(self)
        w.fill(exe=APP, name="typed")
        for file_name in [None, "notes.txt", "prog.exe", "run.tool.bat"]:
            w.do(("click", BROWSE))
            w.title = msg(27)  # the file dialog, owned by the window
            d = w.read().controls
            self.assertEqual((int(w.window["owner"], 16), d[1136]["items"], d[1136]["cursel"], d[1148]["text"]),
                             (w.hwnd, msg(25).hex(), "0", b""))
            path = file_name and os.path.join(self.box.dir, file_name)
            if path:
                open(path, "wb").close()
            w.do(*[("set", 1148, winpath(path)), ("click", 1)] if path else [("click", 2)])
            w.title = TITLE
            if file_name == "notes.txt":
                w.box(E, "ok", 10)
            kept = file_name in (None, "notes.txt")
            self.assertEqual(w.read(("enabled", 30000)).shows()[:3:2], [b(APP), b"typed"] if kept else
                             [b(winpath(path)), b(file_name.split(".")[0])])
        w.do(("click", 2))
        w.closed()

    def test_drop(self):
        name = self.service()
        for registered in (False, True):
            if registered:
                scm(name, ("create", APP, 3, 0x10))
            self.box.write_ini(ini(exe=APP, name=name))
            w = Window(self)
            # Only the first file counts; a batch file cannot be dropped.
            w.do(("drop", hx(winpath(self.box.dir) + "\\DROPPED.EXE"), hx("C:\\second.exe")))
            if not registered:
                self.assertTrue(poll(lambda: w.read().shows()[:3:2] == [b(winpath(self.box.dir) + "\\DROPPED.EXE"), b"DROPPED"]))
                w.do(("drop", hx("C:\\run.bat")))
                w.box(E, "ok", 10)
            w.do(("click", TEST if registered else 2))  # handled after the drop
            if registered:
                w.box(T, "no", 15, name)
                self.assertEqual(w.read().shows()[:3:2], [b(APP), b(name)])
                w.do(("click", 2))
            w.closed()

    def test_f1_opens_the_help_file(self):
        w = Window(self, trace="+pid,+exec")
        w.do(("help",))
        hwnd = int(w.window["hwnd"], 16)
        self.assertTrue(poll(lambda: b'ShellExecuteA %016X,"open","tavi.chm",(null),(null),5' % hwnd in w.trace()))
        w.do(("click", 2))
        w.closed()


class TestStartTest(TaviCase):
    def press(self, w, exe, option, method):
        """Test start; returns the notice (message 12, owned by the window), unanswered."""
        w.fill(exe=exe, option=option, name="", end=method, click=TEST)
        return w.box(T, "none", 12)

    def close_notice(self, w):
        """OK on the notice; the seconds until the window takes input again:
        an OK posted to it (the name is empty) shows message 1 only then."""
        started = time.monotonic()
        probe("box", hx(T), "ok", 5000, w.pid, ";", "win", hx(TITLE), 5000, w.pid, ";", "click", 1)
        w.box(E, "ok", 1)
        return time.monotonic() - started

    def test_window_methods(self):
        # The program as a windows-subsystem copy: WaitForInputIdle waits for
        # such a program only. The stored method is the console one; the
        # selection governs.
        with open(PROBE, "rb") as f:
            data = bytearray(f.read())
        struct.pack_into("<H", data, struct.unpack_from("<I", data, 0x3C)[0] + 92, 2)
        gui = os.path.join(self.box.dir, "gui", "probe.exe")
        os.makedirs(os.path.dirname(gui))
        with open(gui, "wb") as f:
            f.write(data)
        self.box.write_ini(ini(end=3))
        w = Window(self)
        defproc = [("main", "WM_CLOSE", "defproc")]
        for method, extra, messages in [(0, "", CLOSE), (1, "", SC + defproc), (2, "", SC + defproc),
                                        (0, "--ignore", CLOSE), (0, "--hang", [])]:
            with self.subTest(method=method, extra=extra):
                log = self.child_log()
                option = "--windows %s --log %s" % (extra, log.win)
                started = time.monotonic()
                self.press(w, winpath(gui), option, method)
                waited = time.monotonic() - started
                start = log.events("start")[0]
                self.assertEqual((start["cmd"], start["cwd"], start["group"]),
                                 (b(winpath(gui) + " " + option), b(winpath(os.path.dirname(gui))), "0"))
                self.assertEqual(len(log.events("windows")), 1, "the notice came before the program was ready")
                if extra == "--hang":  # never ready: the wait for it is bounded at 10 s
                    self.assertTrue(9 < waited < 30, waited)
                    probe("kill", start["pid"])
                held = self.close_notice(w)
                self.assertEqual(log.messages(), messages)
                # A program that does not end holds the window 30 s, then is left running.
                self.assertTrue(29 < held < 45 if extra == "--ignore" else held < 10, held)
                self.assertEqual(probe("alive", start["pid"])[0]["exists"], str(int(extra == "--ignore")))
        w.do(("click", 2))
        w.closed()

    def test_console_method_borrows_a_console_and_gives_it_back(self):
        self.box.write_ini(ini(end=0))
        w = Window(self, trace="+pid,+console")
        # A missing program: no notice, the test returns at once.
        w.fill(exe=winpath(os.path.join(self.box.dir, "missing.exe")), end=3, click=TEST)
        self.assertEqual(w.read().window["enabled"], "1")
        pid = int(w.pid)
        for method in (3, 0, -1):
            log = self.child_log()
            self.press(w, winpath(PROBE), "--wait --windows --log " + log.win, method)
            start = log.wait("windows") and log.events("start")[0]
            console = set(start["conprocs"].split(","))
            if method == 3:  # Wine delivers no Ctrl+Break: end the program here
                self.assertEqual((start["group"], console), ("1", {str(pid), start["pid"]}))
                probe("kill", start["pid"])
                self.close_notice(w)
                self.assertIn(b"GenerateConsoleCtrlEvent (1, %x)" % int(start["pid"]), w.trace())
            else:  # the console was given back; -1 is WM_CLOSE
                self.assertEqual((start["group"], console), ("0", {start["pid"]}))
                self.close_notice(w)
                self.assertEqual(log.messages(), CLOSE)
        self.assertEqual(w.trace().count(b"console:alloc_console ()"), 2)
        w.do(("click", 2))
        w.closed()


class ResourceTest(TaviCase):
    def test_strings(self):
        found = {int(r["id"]): r["text"] for r in probe("strings", winpath(EXE))}
        self.assertEqual(found, {n: msg(n) for n in range(1, 30) if n != 8})

    def test_dialog_version_and_manifest(self):
        def res(kind, number):
            return bytes.fromhex(probe("res", winpath(EXE), kind, number)[0]["data"])

        def text(value):
            return value.encode("utf-16-le") + b"\0\0"
        # The classic template, in tab order: id, class, style, text, x, y, cx, cy.
        label, edit, push, check, group = 0x50020000, 0x50810080, 0x50010000, 0x50010003, 0x50000007
        controls = [(-1, 0x82, label, "ファイル(&F)", 8, 12, 51, 8), (1000, 0x81, edit, "", 8, 21, 155, 13),
                    (1001, 0x80, push, "参照...", 168, 20, 34, 14), (-1, 0x82, label, "起動時オプション(&O)", 8, 38, 65, 8),
                    (1002, 0x81, edit, "", 8, 47, 155, 13), (-1, 0x82, label, "名前(&N)", 8, 81, 106, 8),
                    (1005, 0x81, edit, "", 8, 90, 195, 13), (-1, 0x82, label, "説明(&D)", 8, 107, 24, 8),
                    (1012, 0x81, edit, "", 8, 117, 195, 14), (1010, 0x80, check, "自動起動(&A)", 8, 135, 53, 10),
                    (1011, 0x80, check, "デスクトップとの対話を許可(&K)", 68, 135, 105, 10),
                    (-1, 0x82, label, "終了方法(&E)", 9, 165, 40, 8), (1003, 0x85, 0x50210003, "", 8, 176, 134, 57),
                    (1013, 0x80, check, "シャットダウン以外でプログラムが終了したら再起動(&R)", 8, 194, 174, 10),
                    (1004, 0x80, push, "テスト起動(&T)", 3, 215, 50, 14), (1, 0x80, 0x50010001, "OK", 101, 215, 50, 14),
                    (2, 0x80, push, "キャンセル", 156, 215, 50, 14), (-1, 0x80, group, "プログラム", 2, 2, 205, 66),
                    (-1, 0x80, group, "サービス", 2, 71, 205, 80), (-1, 0x80, group, "起動・終了", 2, 154, 205, 56)]
        classes = {0x80: "BUTTON", 0x81: "EDIT", 0x82: "STATIC", 0x85: "COMBOBOX"}
        template = struct.pack("<IIH4hI", 0x80C80840, 0, 20, 0, 0, 210, 233, 0) + text(TITLE) + b"\x09\0" + text("ＭＳ Ｐゴシック")
        for id_, kind, style, title, *rect in controls:
            template += b"\0" * (-len(template) % 4) + struct.pack("<II4hH", style, 0, *rect, id_ & 0xFFFF)
            template += text(classes[kind]) + text(title) + b"\0\0"
        self.assertEqual(res(5, 101).rstrip(b"\0"), template.rstrip(b"\0"))
        version = res(16, 1)
        for key, value in [("FileDescription", "tavi"), ("InternalName", "tavi"), ("ProductName", "tavi"),
                           ("OriginalFilename", "tavi.exe"), ("FileVersion", "0.10"), ("ProductVersion", "0.10")]:
            self.assertRegex(version.decode("utf-16-le", "replace"), "%s\0+%s\0" % (key, re.escape(value)))
        fixed = version.index(struct.pack("<I", 0xFEEF04BD))
        self.assertEqual(struct.unpack_from("<10I", version, fixed)[2:], (0, 0x10000, 0, 0x10000, 0, 0, 0, 0))
        self.assertIn(text("041103a4") + b"\0\0" if False else "041103a4".encode("utf-16-le"), version)
        self.assertIn(text("Translation") + b"\0\0" + struct.pack("<HH", 0x411, 932), version)
        manifest = res(24, 1)
        for part in [b'version="0.0.0.6"', b"<description>tavi</description>", b'level="requireAdministrator"',
                     b'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"', b'publicKeyToken="6595b64144ccf1df"']:
            self.assertIn(part, manifest)
