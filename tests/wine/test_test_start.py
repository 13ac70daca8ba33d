"""The test start of the configuration window: the program runs as the
service would run it, message 12 tells the user, and OK on it sends the stop
request of the method selected in the window, then waits for the program."""
import os
import struct
import time

import harness
from catalogue import CAPTION, ERROR_CAPTION
from configwindow import (IDC_TEST_OR_DELETE, IDCANCEL, IDOK, Session, assert_no_box, driver,
                          ini_bytes, log_events, unmanaged_windows)
from harness import TOOLS, poll, to_bytes, tool, winpath

IMAGE_SUBSYSTEM_WINDOWS_GUI, IMAGE_SUBSYSTEM_WINDOWS_CUI = 2, 3


def setUpModule():
    unmanaged_windows()


def windows_subsystem_copy(source, target):
    """Copies a console program as a windows-subsystem one (the PE header's
    Subsystem field). WaitForInputIdle waits only for such a program: for a
    console program the platform has no idle state to wait for."""
    with open(source, "rb") as f:
        data = bytearray(f.read())
    subsystem_at = struct.unpack_from("<I", data, 0x3C)[0] + 24 + 68
    assert struct.unpack_from("<H", data, subsystem_at)[0] == IMAGE_SUBSYSTEM_WINDOWS_CUI
    struct.pack_into("<H", data, subsystem_at, IMAGE_SUBSYSTEM_WINDOWS_GUI)
    os.makedirs(os.path.dirname(target), exist_ok=True)
    with open(target, "wb") as f:
        f.write(data)


class TestStartTest(harness.TaviTestCase):

    def setUp(self):
        super().setUp()
        self.console_child = winpath(os.path.join(TOOLS, "testchild.exe"))
        # Named testchild.exe too, so that "testchild --kill" ends it.
        gui = os.path.join(self.box.dir, "gui", "testchild.exe")
        windows_subsystem_copy(os.path.join(TOOLS, "testchild.exe"), gui)
        self.window_child = winpath(gui)
        self.logs = 0
        self.children = []
        self.addCleanup(self.kill_children)

    def kill_children(self):
        if self.children:
            tool("testchild", "--kill", ",".join(str(p) for p in self.children))

    def new_log(self):
        self.logs += 1
        return os.path.join(self.box.dir, "child%d.log" % self.logs)

    def started(self, log):
        """The child's start line, once it is there; remembers its pid."""
        starts = poll(lambda: [f for e, f in log_events(log) if e == "start"])
        self.assertTrue(starts, "the program did not start")
        self.children.append(int(starts[0]["pid"]))
        return starts[0]

    def press_test(self, session, exe, option, method):
        """Selects method, presses the test button; returns message 12, unanswered."""
        session.fill(exe=exe, option=option, end=method, click=IDC_TEST_OR_DELETE)
        box = session.answer(CAPTION, "none", timeout_ms=60000)
        self.assertBox(box, 12, CAPTION, owner=session.hwnd)
        return box

    def close_notice(self, session, box, timeout_ms=60000):
        """OK on message 12; returns the seconds until the window handles its
        input again, that is until the test start has returned: an OK posted
        to the window once the notice is gone (with the name empty) shows
        message 1 only then. Sent messages would not tell, since the window
        answers them also while it waits for the program to take its own."""
        started = time.monotonic()
        code, output = driver("box", "hex:" + to_bytes(CAPTION).hex(), 5000, "ok", ";",
                              "wait", box.fields["hwnd"], "gone", 5000, ";",
                              "click", "%x" % session.hwnd, IDOK, ";",
                              "box", "hex:" + to_bytes(ERROR_CAPTION).hex(), timeout_ms, "ok",
                              timeout=timeout_ms / 1000 + harness.EXIT_TIMEOUT_S)
        self.assertEqual(code, 0, output)
        return time.monotonic() - started

    def traced(self, session):
        """Wine's trace lines of tavi.exe itself (not of its children)."""
        prefix = "%04x:" % session.pid
        with open(session.trace, "rb") as f:
            lines = f.read().decode("latin-1").splitlines()
        return "\n".join(line for line in lines if line.startswith(prefix))

    def messages(self, log):
        return [(f["window"], f["msg"], f["from"]) for e, f in log_events(log) if e == "msg"]

    def test_window_methods_close_the_program_and_free_the_window(self):
        # The stored method is the console one; the selection governs.
        self.box.write_ini(ini_bytes([("end", 3)]))
        session = Session(self.box, self)
        expected = {
            0: [("main", "WM_CLOSE", "outside")],
            1: [("main", "SC_CLOSE", "outside"), ("main", "WM_CLOSE", "defproc")],
            2: [("main", "SC_CLOSE", "outside"), ("main", "WM_CLOSE", "defproc")],
        }
        for method, messages in expected.items():
            with self.subTest(method=method):
                log = self.new_log()
                option = "--windows --log " + winpath(log)
                box = self.press_test(session, self.window_child, option, method)
                start = self.started(log)
                # As the service would start it: "exe option", in exe's folder.
                self.assertEqual(bytes.fromhex(start["cmdline"]),
                                 to_bytes(self.window_child + " " + option))
                self.assertEqual(bytes.fromhex(start["cwd"]),
                                 to_bytes(self.window_child.rsplit("\\", 1)[0]))
                self.assertEqual(start["ctrlc_disabled"], "0", "started as a process group")
                self.assertTrue(any(e == "windows" for e, _ in log_events(log)),
                                "message 12 came before the program was ready")
                self.assertLess(self.close_notice(session, box), 10)
                self.assertEqual(self.messages(log), messages)
                self.assertIn("0", [f["code"] for e, f in log_events(log) if e == "exit"])
        session.click(IDCANCEL)
        session.closed()

    def test_console_method_borrows_a_console_and_gives_it_back(self):
        # A console program shows whose console it runs in: one started by
        # a process without a console gets a console of its own (conprocs is
        # itself alone); one started while tavi holds the console it took for
        # a Ctrl+Break test shares it (conprocs holds tavi too). A window
        # method test after a Ctrl+Break test thus shows whether the console
        # was given back.
        self.box.write_ini(ini_bytes([("end", 0)]))
        session = Session(self.box, self, winedebug="+pid,+console")

        def console_processes(start):
            return sorted(int(p) for p in start["conprocs"].split(",") if p.isdigit())

        # A program that does not exist: no notice, the test returns at once.
        # (Started from a console program, tavi holds Wine's "no window"
        # pseudo-console at first: this first allocation makes no console.)
        session.fill(exe=winpath(os.path.join(self.box.dir, "missing.exe")), end=3,
                     click=IDC_TEST_OR_DELETE)
        self.assertTrue(session.read().enabled)
        assert_no_box(self)

        # Ctrl+Break, selected while the stored method is WM_CLOSE.
        log = self.new_log()
        box = self.press_test(session, self.console_child, "--log " + winpath(log), 3)
        start = self.started(log)
        self.assertEqual(start["ctrlc_disabled"], "1", "not the root of a new process group")
        self.assertEqual(start["console"], "1")
        self.assertEqual(console_processes(start), sorted([session.pid, int(start["pid"])]))
        # Wine delivers no Ctrl+Break; the call is in its trace. End the
        # program here, so that the test does not wait its 30 seconds.
        self.assertEqual(tool("testchild", "--kill", start["pid"])[1].get("killed"),
                         start["pid"])
        self.close_notice(session, box)
        self.assertIn("console:GenerateConsoleCtrlEvent (1, %x)" % int(start["pid"]),
                      self.traced(session))

        # Window methods, WM_CLOSE and no selection (-1, sent as WM_CLOSE).
        for method in (0, -1):
            with self.subTest(method=method):
                log = self.new_log()
                box = self.press_test(session, self.console_child,
                                      "--windows --log " + winpath(log), method)
                start = self.started(log)
                self.assertEqual(console_processes(start), [int(start["pid"])],
                                 "tavi still holds a console")
                self.assertEqual(start["ctrlc_disabled"], "0")
                self.assertTrue(poll(lambda: any(e == "windows" for e, _ in log_events(log))))
                self.close_notice(session, box)
                self.assertEqual(self.messages(log), [("main", "WM_CLOSE", "outside")])
        self.assertEqual(self.traced(session).count("console:alloc_console ()"), 2,
                         "a console allocated for other than the two Ctrl+Break tests")
        session.click(IDCANCEL)
        session.closed()

    def test_a_program_that_never_gets_ready_holds_the_window_ten_seconds(self):
        session = Session(self.box, self)
        log = self.new_log()
        started = time.monotonic()
        box = self.press_test(session, self.window_child, "--windows --hang --log " + winpath(log),
                              0)
        waited = time.monotonic() - started
        self.assertGreater(waited, 9, "the notice came before the wait for readiness ended")
        self.assertLess(waited, 30, "the wait for readiness is not bounded near 10 seconds")
        tool("testchild", "--kill", self.started(log)["pid"])
        self.assertLess(self.close_notice(session, box), 10)
        session.click(IDCANCEL)
        session.closed()

    def test_a_program_that_does_not_end_is_left_after_thirty_seconds(self):
        session = Session(self.box, self)
        log = self.new_log()
        box = self.press_test(session, self.window_child,
                              "--windows --ignore-close --log " + winpath(log), 0)
        start = self.started(log)
        self.assertTrue(poll(lambda: any(e == "windows" for e, _ in log_events(log))))
        held = self.close_notice(session, box)
        self.assertEqual(self.messages(log), [("main", "WM_CLOSE", "outside")])
        self.assertGreater(held, 29)
        self.assertLess(held, 45)
        self.assertFalse(any(e == "exit" for e, _ in log_events(log)), "the program ended")
        tool("testchild", "--kill", start["pid"])
        session.click(IDCANCEL)
        session.closed()


if __name__ == "__main__":
    harness.main()
