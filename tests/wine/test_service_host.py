"""The service host as the service control manager sees it: relaunching the
child, stopping by itself when the child ends or cannot start, the stop
and other controls, and the single-instance guard.

Every service is registered and started through tavi's command line and
wraps testchild; the final state and exit code are those that
QueryServiceStatus reads.
"""
import os
import statistics
import time

from harness import SERVICE_RUNNING, main, unique_name, winpath
from service_child import (SERVICE_CONTROL_INTERROGATE, SERVICE_CONTROL_SHUTDOWN,
                           ServiceChildCase, StopWatch, control, cp932, mutex_exists,
                           try_launch)

ERROR_FILENAME_EXCED_RANGE = 206
ERROR_INVALID_PARAMETER = 87


class RelaunchTest(ServiceChildCase):

    def test_child_that_ends_at_once_is_relaunched_about_every_100_ms(self):
        # With ctrlbreak every child shares the host's console; with the
        # other methods Wine starts a console host for each child, which
        # costs most of a second per launch and hides the host's own pace.
        name, log = self.install_child("ctrlbreak", "--exit 0", retry=True)
        starts = log.wait_event("start", count=8, running=name)
        self.assertEqual(self.status(name)["state"], SERVICE_RUNNING)
        ticks = [int(e["tick"]) for e in starts]
        gaps = [b - a for a, b in zip(ticks, ticks[1:])]
        # After each launch the host sleeps 100 ms before it looks again,
        # so two starts are never closer; a launch under Wine takes 100 to
        # 400 ms more, so the bound upwards is generous.
        self.assertGreaterEqual(min(gaps), 90, gaps)
        self.assertLess(statistics.median(gaps), 1000, gaps)
        self.assertEqual({e["ppid"] for e in starts}, {str(self.status(name)["pid"])})

        self.stop(name)
        self.assertEqual(self.assertStoppedWith(name, 0)["pid"], 0, "the host is still there")
        stopped_count = len(log.starts())
        # Nothing is relaunched once stopped. Only a child whose process was
        # already created when the stop came may write its start line late.
        time.sleep(1.0)
        self.assertLessEqual(len(log.starts()), stopped_count + 1)

    def test_child_that_ends_without_retry_stops_the_service(self):
        # Wine replaces the code of a host that stopped by itself with 1077
        # about a second later, so the code is read by a wait that was
        # already watching when the service stopped.
        name, log = self.install_child("close", "--run-ms 3000")
        log.wait_event("start")
        watch = StopWatch(name)
        log.wait_event("exit")
        self.assertEqual(watch.exit_code(), 0)
        self.assertEqual(len(log.starts()), 1)


class LaunchFailureTest(ServiceChildCase):

    def test_program_that_cannot_start_stops_the_service_with_its_error(self):
        cases = [("missing file", os.path.join(self.box.dir, "absent.exe")),
                 ("missing folder", os.path.join(self.box.dir, "absent", "absent.exe"))]
        for label, exe in cases:
            with self.subTest(label):
                expected = try_launch(winpath(exe) + " ", winpath(os.path.dirname(exe)))
                self.assertNotEqual(expected, 0)
                name = self.install("close", "", exe=exe)
                self.assertStoppedWith(name, expected)

    def pad_option(self, log, line_length, exe):
        """An option that makes the child's command line line_length bytes long."""
        option = self.child_option(log) + " --pad "
        room = line_length - len(cp932(winpath(exe))) - 1 - len(option)
        if room < 1:
            self.skipTest("the sandbox path is too long for this test")
        return option + "p" * room

    def test_command_line_over_259_bytes_is_refused(self):
        exe = self.copy_child()
        fits, too_long = self.new_log(), self.new_log()
        option = self.pad_option(fits, 259, exe)
        name = self.install("close", option, exe=exe)
        start = fits.wait_event("start", running=name)[0]
        self.assertEqual(len(start["cmdline"]), 259)
        self.stop(name)
        self.assertStoppedWith(name, 0)

        name = self.install("close", self.pad_option(too_long, 260, exe), exe=exe)
        self.assertStoppedWith(name, ERROR_FILENAME_EXCED_RANGE)
        self.assertEqual(too_long.starts(), [])


class ControlTest(ServiceChildCase):

    def start_closing_child(self):
        """A service whose child ends on WM_CLOSE; waits until it has its windows."""
        name, log = self.install_child("close", "--windows")
        log.wait_event("windows", running=name)
        return name, log, self.assertRunning(name)

    def test_interrogate_changes_nothing_and_stop_ends_child_and_service(self):
        name, log, running = self.start_closing_child()
        result = control(name, SERVICE_CONTROL_INTERROGATE, timeout_ms=0)
        self.assertEqual(result["ok"], 1, result)
        self.assertEqual(result["state"], SERVICE_RUNNING)
        status = self.assertRunning(name)
        self.assertEqual(status["pid"], running["pid"])

        result = self.stop(name)
        self.assertGreaterEqual(result["stopped_ms"], 0, result)
        self.assertStoppedWith(name, 0)
        log.wait_event("exit")
        # The only message is the stop's: the interrogation sent none.
        self.assertEqual(log.messages(), [("main", "WM_CLOSE")])
        self.assertEqual(log.events("exit")[0]["code"], "0")

    def test_shutdown_acts_like_stop(self):
        name, log, running = self.start_closing_child()
        result = control(name, SERVICE_CONTROL_SHUTDOWN)
        if result["ok"] == 0 and result["error"] == ERROR_INVALID_PARAMETER:
            # Only the system sends SERVICE_CONTROL_SHUTDOWN; Wine's
            # ControlService refuses it as Windows does.
            self.assertRunning(name)
            self.assertEqual(log.messages(), [])
            self.skipTest("ControlService refuses SERVICE_CONTROL_SHUTDOWN (error 87)")
        self.assertEqual(result["ok"], 1, result)
        self.assertStoppedWith(name, 0)
        log.wait_event("exit")
        self.assertEqual(log.messages(), [("main", "WM_CLOSE")])


class InstanceGuardTest(ServiceChildCase):

    def test_second_copy_ends_at_once_while_the_service_runs(self):
        name, log = self.install_child("close")
        log.wait_event("start", running=name)
        running = self.assertRunning(name)
        self.assertTrue(mutex_exists(name), "no instance mutex while the service runs")

        other = os.path.join(self.box.dir, "elsewhere")
        os.makedirs(other)
        code, boxes = self.box.run(b"", cwd=other, timeout=20)
        self.assertEqual((code, boxes), (0, []))
        status = self.assertRunning(name)
        self.assertEqual(status["pid"], running["pid"])
        self.assertEqual(len(log.starts()), 1)

        self.stop(name)
        self.assertStoppedWith(name, 0)
        self.assertFalse(mutex_exists(name), "the instance mutex outlived the host")

    def test_service_name_too_long_for_the_mutex_still_runs(self):
        # "$$tavi$$" + name + "$$" leaves room for 249 bytes of name.
        long_name = unique_name().ljust(250, "n")
        log = self.new_log()
        name = self.install("close", self.child_option(log), name=long_name)
        self.assertEqual(len(name), 250)
        log.wait_event("start", running=name)
        self.assertRunning(name)
        self.stop(name)
        self.assertStoppedWith(name, 0)


if __name__ == "__main__":
    main()
