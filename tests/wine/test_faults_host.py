"""Faults that the service host meets while it runs a program: a program
that is a folder, a program folder deleted while the program is being
relaunched, a child that crashes at once, a child that ignores every stop
request, and a service deleted from the service control manager while it
runs.

Whatever goes wrong, tavi itself must not crash (Wine would start its
debugger, which every test here looks for at its end), hang (every wait
has a deadline) or report success for a failure.
"""
import os
import shutil

import harness
from harness import SERVICE_STOPPED, main, poll, tool, winpath
from service_child import (SERVICE_CONTROL_STOP, WAIT_HINT_MS, ServiceChildCase, StopWatch,
                           control, mutex_exists, try_launch)

STATUS_ACCESS_VIOLATION = "3221225477"  # 0xC0000005, as testchild logs it


def debugger_processes():
    """(pid, command line) of Wine debuggers of this prefix. Wine starts
    winedbg for every unhandled exception, and with a display it shows a
    crash dialog and waits there."""
    prefix = os.path.realpath(os.environ.get("WINEPREFIX", os.path.expanduser("~/.wine")))
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                command = f.read()
            with open("/proc/%s/environ" % entry, "rb") as f:
                environment = f.read().split(b"\0")
        except OSError:
            continue
        if b"winedbg" not in command:
            continue
        prefixes = [os.path.realpath(v[len(b"WINEPREFIX="):].decode(errors="replace"))
                    for v in environment if v.startswith(b"WINEPREFIX=")]
        if prefix in prefixes:
            found.append((int(entry), command.replace(b"\0", b" ").decode(errors="replace")))
    return found


class FaultCase(ServiceChildCase):
    """A service test that fails when anything crashed while it ran."""

    def setUp(self):
        # Added first, so it runs last: after the services and children are gone.
        self.addCleanup(self.assertNothingCrashed)
        super().setUp()

    def assertNothingCrashed(self):
        debuggers = debugger_processes()
        for pid, _ in debuggers:
            os.kill(pid, 9)
        self.assertEqual(debuggers, [], "a program crashed (Wine started its debugger)")

    def child_alive(self, pid):
        """testchild holds a mutex named after its pid for its whole life."""
        return tool("testchild", "--open-mutex", "tavi-testchild-%s" % pid)[1].get("exists") == "1"

    def start_until_stopped(self, name, timeout_ms=30000):
        """Starts the service and waits for it to stop; the exit code it reported."""
        code, fields = tool("scmtool", "start", name, SERVICE_STOPPED, timeout_ms,
                            timeout=timeout_ms / 1000 + harness.EXIT_TIMEOUT_S)
        self.assertEqual((code, fields.get("ok")), (0, "1"), "start: %r" % fields)
        return int(fields["exit"])

    def assertStopsWithinWaitHint(self, name):
        """Stops the service, which must report SERVICE_STOPPED within the
        wait hint and with exit code 0."""
        watch = StopWatch(name)
        result = control(name, SERVICE_CONTROL_STOP)
        self.assertEqual(result["ok"], 1, "ControlService(stop): %r" % result)
        self.assertGreaterEqual(result["stopped_ms"], 0, "the service did not stop: %r" % result)
        self.assertLess(result["stopped_ms"], WAIT_HINT_MS, result)
        self.assertEqual(watch.exit_code(), 0)
        return result

    def assertHostEnded(self, name):
        self.assertTrue(poll(lambda: (self.status(name)["pid"] == 0), timeout=10),
                        "the host outlived its service")


class ProgramGoneTest(FaultCase):

    def test_program_that_is_a_folder_or_whose_folder_goes_away(self):
        """A user who names a folder as the program, or deletes the program's
        folder while the service relaunches it, expects the service to stop
        and the service manager to show why: the error of the failed start,
        not success. Nothing is started from the folder afterwards."""
        folder_program = os.path.join(self.box.dir, "program.exe")
        os.makedirs(folder_program)
        expected = try_launch(winpath(folder_program) + " ", winpath(self.box.dir))
        self.assertNotEqual(expected, 0, "the platform starts a folder")
        as_folder = self.install("close", "", exe=folder_program, start=False)
        self.assertEqual(self.start_until_stopped(as_folder), expected)
        self.assertHostEnded(as_folder)

        going = os.path.join(self.box.dir, "going")
        exe = self.copy_child(going)
        log = self.new_log()
        option = self.child_option(log, "--exit 0")
        relaunched = self.install("ctrlbreak", option, exe=exe, retry=True)
        log.wait_event("start", count=3, running=relaunched)
        watch = StopWatch(relaunched)
        shutil.rmtree(going)
        after = try_launch(winpath(exe) + " " + option, winpath(going))
        self.assertNotEqual(after, 0)
        self.assertEqual(watch.exit_code(), after)
        self.assertHostEnded(relaunched)
        count = len(log.starts())
        self.assertEqual(len(log.events("exit")), count, "a child outlived the failed relaunch")


class CrashingChildTest(FaultCase):

    def test_child_that_crashes_at_once(self):
        """A program that crashes is an end like any other. Without
        relaunching the service stops by itself (no failure of tavi's own:
        the start worked). With relaunching the service stays running under
        the same host, starting the program again and again, and still stops
        at once when asked."""
        once, once_log = self.install_child("close", "--crash", start=False)
        self.assertEqual(self.start_until_stopped(once), 0)
        self.assertHostEnded(once)
        self.assertEqual(len(once_log.starts()), 1)
        self.assertEqual([e["code"] for e in once_log.events("exit")], [STATUS_ACCESS_VIOLATION])

        again, again_log = self.install_child("ctrlbreak", "--crash", retry=True)

        starts = again_log.wait_event("start", count=3, running=again)
        host = self.assertRunning(again)["pid"]
        self.assertEqual({int(s["ppid"]) for s in starts}, {host})
        crashes = again_log.wait_event("exit", count=3)
        self.assertEqual({e["code"] for e in crashes}, {STATUS_ACCESS_VIOLATION})
        self.assertStopsWithinWaitHint(again)
        stopped_count = len(again_log.starts())
        # Only a child whose launch was already under way may still start.
        self.assertFalse(poll(lambda: len(again_log.starts()) > stopped_count + 1, timeout=1.5),
                         "relaunched after the stop")
        self.assertHostEnded(again)


class StubbornChildTest(FaultCase):

    def test_child_that_ignores_stops_and_service_deleted_while_running(self):
        """A program that ignores every close message must not hold the stop:
        the service reports stopped within its wait hint and leaves the
        program running by itself (a person ends it; here the test does).
        A service deleted from the service manager while it runs keeps
        running until it is stopped, then stops as usual, ends its program
        and is gone."""
        stubborn, stubborn_log = self.install_child("sysandclose", "--windows --ignore-close")
        deleted, deleted_log = self.install_child("close", "--windows")
        stubborn_log.wait_event("windows", running=stubborn)
        deleted_log.wait_event("windows", running=deleted)
        host = self.assertRunning(deleted)["pid"]

        self.assertEqual(tool("scmtool", "delete", deleted)[0], 0)
        status = self.assertRunning(deleted)
        self.assertEqual(status["pid"], host)
        # Once stopped, the service is gone: nothing is left to ask its
        # exit code, so the stop's own timing tells.
        result = control(deleted, SERVICE_CONTROL_STOP)
        self.assertEqual(result["ok"], 1, "ControlService(stop): %r" % result)
        self.assertTrue(0 <= result["stopped_ms"] < WAIT_HINT_MS, result)
        deleted_log.wait_event("exit")
        self.assertEqual(deleted_log.messages(), [("main", "WM_CLOSE")])
        self.assertTrue(poll(lambda: tool("scmtool", "exists", deleted)[0] == 1, timeout=10),
                        "the deleted service is still registered after its stop")
        self.assertFalse(mutex_exists(deleted), "the instance mutex outlived the host")

        self.assertStopsWithinWaitHint(stubborn)
        self.assertEqual(stubborn_log.messages(), [("main", "SC_CLOSE"), ("main", "WM_CLOSE")])
        child = stubborn_log.starts()[0]["pid"]
        self.assertTrue(self.child_alive(child), "the stubborn child did not outlive its host")
        self.assertEqual(stubborn_log.events("exit"), [])
        self.assertHostEnded(stubborn)
        _, killed = tool("testchild", "--kill", child)
        self.assertEqual(killed.get("killed"), child)
        self.assertFalse(self.child_alive(child))


if __name__ == "__main__":
    main()
