"""The child that the service host starts: its command line and working
directory, and the window messages of each stop method.

Every service is registered and started through tavi's command line and
wraps testchild, which logs what it was started with and every close
message that reaches its windows.
"""
import os

from harness import main, tool, winpath
from service_child import (SERVICE_CONTROL_STOP, WAIT_HINT_MS, ServiceChildCase, control,
                           cp932, try_launch)


class CommandLineTest(ServiceChildCase):

    def test_empty_option_leaves_one_blank_after_the_path(self):
        # Without options testchild logs beside itself and runs until killed.
        exe = self.copy_child()
        log = self.new_log(exe + ".log")
        name = self.install("close", "", exe=exe)
        start = log.wait_event("start", running=name)[0]
        self.assertEqual(start["cmdline"], cp932(winpath(exe)) + b" ")
        self.assertEqual(start["cwd"], cp932(winpath(self.box.dir)))
        host = self.assertRunning(name)
        self.assertEqual(int(start["ppid"]), host["pid"])
        # A window method gives the host no console to share and the child
        # no process group of its own.
        self.assertNotIn(str(host["pid"]), start["conprocs"].split(","))
        self.assertEqual(start["ctrlc_disabled"], "0")
        self.stop(name)
        self.assertStoppedWith(name, 0)

    def test_path_with_blanks_is_quoted(self):
        folder = os.path.join(self.box.dir, "with blank")
        exe = self.copy_child(folder)
        # Unquoted, the line would start this program instead.
        self.copy_child(self.box.dir, "with.exe")
        log = self.new_log()
        option = self.child_option(log)
        name = self.install("close", option, exe=exe)
        start = log.wait_event("start", running=name)[0]
        self.assertEqual(start["exe"], cp932(winpath(exe)))
        self.assertEqual(start["cmdline"], b'"' + cp932(winpath(exe)) + b'" ' + cp932(option))
        self.assertEqual(start["cwd"], cp932(winpath(folder)))
        self.stop(name)
        self.assertStoppedWith(name, 0)

    def test_directory_is_cut_at_the_real_last_backslash(self):
        # The second byte of ソ (0x83 0x5C) is a backslash's byte: a cut at
        # the last 0x5C of the path would give the working directory
        # ...\ソ\child\x83, which does not exist, and the start would fail.
        folder = os.path.join(self.box.dir, "ソ")
        exe = self.copy_child(folder, "childソ.exe")
        self.assertIn(b"\x83\x5c\\child\x83\x5c.exe", cp932(winpath(exe)))
        if try_launch(winpath(exe), winpath(folder)) != 0:
            # Wine names Unix files through the Unix locale's character
            # set; without a UTF-8 locale (ja_JP.UTF-8 generated) the
            # folder does not read as ソ and there is nothing to test.
            self.skipTest("Wine does not read the UTF-8 folder name as CP932 ソ here")
        log = self.new_log()
        option = self.child_option(log)
        name = self.install("close", option, exe=exe)
        start = log.wait_event("start", running=name)[0]
        self.assertEqual(start["cmdline"], cp932(winpath(exe)) + b" " + cp932(option))
        self.assertEqual(start["cwd"], cp932(winpath(folder)))
        self.stop(name)
        self.assertStoppedWith(name, 0)


class StopMessageTest(ServiceChildCase):

    def stop_window_child(self, end, extra="--ignore-close", stored_end=None):
        """Starts a windowed child, stops the service; returns the child's log."""
        name, log = self.install_child(end, "--windows " + extra, start=stored_end is None)
        if stored_end is not None:
            self.set_stored_end(stored_end)
            self.assertEqual(tool("scmtool", "start", name)[0], 0)
        log.wait_event("windows", running=name)
        self.assertRunning(name)
        # Only ctrlbreak starts the child in a process group of its own.
        self.assertEqual(log.starts()[0]["ctrlc_disabled"], "0")
        self.stop(name)
        self.assertStoppedWith(name, 0)
        return log

    def test_each_method_sends_its_messages_to_the_unowned_window_only(self):
        # The child ignores the messages, so the log shows exactly what the
        # host sent: nothing comes from the child's own DefWindowProc.
        cases = [("close", None, [("main", "WM_CLOSE")]),
                 ("syscommand", None, [("main", "SC_CLOSE")]),
                 ("sysandclose", None, [("main", "SC_CLOSE"), ("main", "WM_CLOSE")]),
                 # A stored method outside 0-3 is a plain WM_CLOSE.
                 ("close", 7, [("main", "WM_CLOSE")])]
        for end, stored_end, expected in cases:
            with self.subTest(end=end, stored_end=stored_end):
                log = self.stop_window_child(end, stored_end=stored_end)
                self.assertEqual(log.messages(), expected, log.dump())
                self.assertEqual(log.events("exit"), [], "the child ignored the request")

    def test_child_closes_through_its_own_default_reaction(self):
        log = self.stop_window_child("syscommand", "")
        log.wait_event("exit")
        self.assertEqual(log.messages(origin="outside"), [("main", "SC_CLOSE")])
        # DefWindowProc turns SC_CLOSE into the child's own WM_CLOSE.
        self.assertEqual(log.messages(origin="defproc"), [("main", "WM_CLOSE")])
        self.assertEqual(log.events("exit")[0]["code"], "0")

    def test_hung_window_does_not_hold_the_stop_past_the_wait_hint(self):
        name, log = self.install_child("sysandclose", "--windows --hang")
        log.wait_event("windows", running=name)
        result = control(name, SERVICE_CONTROL_STOP)
        self.assertEqual(result["ok"], 1, result)
        self.assertGreaterEqual(result["stopped_ms"], 0, "the service did not stop: %r" % result)
        self.assertLess(result["stopped_ms"], WAIT_HINT_MS,
                        "stop took %d ms; the child's top-level windows:\n%s"
                        % (result["stopped_ms"], "\n".join(
                            str(e) for e in log.events("topwin"))))
        self.assertStoppedWith(name, 0)


if __name__ == "__main__":
    main()
