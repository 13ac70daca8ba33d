"""The stop: the service reports stopped once its program has ended; a
program still running 15 s after the request is ended with every process it
started (1460), and a program whose host dies ends with it."""
import os
import time

from harness import STOP_PENDING, poll, probe, scm, status, winpath
from test_service import ServiceCase


def alive(log):
    """The pids of the log's children that still run."""
    pids = [e["pid"] for e in log.events("start")]
    return [pid for pid, found in zip(pids, probe("alive", *pids)) if found["exists"] == "1"]


class StopTest(ServiceCase):
    def test_a_child_that_ignores_the_stop_is_ended_with_its_child(self):
        for end in ["close", "ctrlbreak"]:
            with self.subTest(end=end):
                name, log = self.install_child(end, "--ignore --spawn --wait")
                log.wait("start", count=2)
                code, seen = self.stop(name)
                self.assertEqual((code, alive(log)), ((1460, 0), []))
                self.assertGreater(int(seen[-1]["ms"]) - int(seen[0]["ms"]), 10000, seen)

    def test_a_slow_window_is_waited_for_then_one_copy_starts(self):
        name, log = self.install_child("close", "--windows --slow 3000")
        log.wait("windows")
        code, seen = self.stop(name)
        points = [int(s["checkpoint"]) for s in seen if s["state"] == str(STOP_PENDING)]
        self.assertTrue(len(set(points)) > 1 and points == sorted(points), seen)
        self.assertEqual((code, len(log.events("exit")), alive(log)), ((0, 0), 1, []))
        scm(name, ("start",))
        log.wait("windows", count=2)
        self.assertEqual(len(alive(log)), 1)

    def test_a_child_ends_with_its_host(self):
        name, log = self.install_child("close", "--spawn --wait")
        log.wait("start", count=2)
        probe("kill", "=%d" % status(name)["pid"])
        self.assertTrue(poll(lambda: not alive(log)), log.events())

    def test_a_batch_file_is_ended_with_what_it_runs(self):
        log, bat = self.child_log(), os.path.join(self.box.dir, "loop.bat")
        with open(bat, "w") as f:
            f.write('@echo off\r\n:a\r\n"%s" --log %s --ignore --wait\r\ngoto a\r\n' % (winpath(self.child()), log.win))
        name = self.install("ctrlbreak", "", exe=bat)
        log.wait("start")
        self.assertEqual(self.stop(name)[0], (1460, 0))
        time.sleep(2)  # a cmd.exe left running would start the program again
        self.assertEqual((len(log.events("start")), alive(log)), (1, []))
