"""The service host: the program's line and folder, stop requests, relaunches, failure codes."""

import os
import subprocess
import time
from pathlib import Path

from harness import CLOSE, SC, STOP_PENDING, TaviCase, b, collect, ini, one, peek, poll, probe
from harness import scm, status, watch_stop, winpath

NOT_FOUND = 2  # what Wine's CreateProcessA gives for a missing program or folder, or a folder


def programs(folder):  # the copies of the probe in this folder that exist, by Wine's command lines
    found = subprocess.run(["ps", "-eo", "args"], capture_output=True, text=True).stdout
    mark = "\\%s\\probe.exe" % os.path.basename(folder)
    return [line for line in found.splitlines() if mark in line]


class ServiceCase(TaviCase):
    def install(self, end, option="", exe=None, flags="/start", name=None):
        """A service through tavi's command line for a program given as exe (a copy of the
        probe when None); its name."""
        name = self.service(name)
        exe = exe or winpath(self.child())
        tail = '/install /name=%s /exe="%s" /option="%s" /end=%s ' % (name, exe, option, end)
        self.assertEqual(self.box.tavi(tail + flags), (0, []))
        return name

    def install_child(self, end, extra="", flags="/start", name=None):  # the name, the child's log
        log = self.child_log()
        return self.install(end, "--log %s %s" % (log.win, extra), None, flags, name), log

    def stop(self, name):
        return watch_stop(name, ("control", 1))()

    def hold(self, path):  # another writer holds the file (see the probe's lock) until the end
        held = probe("lock", winpath(path), background=True)
        self.addCleanup(collect, held)
        self.addCleanup(held[0].kill)
        self.assertTrue(poll(lambda: one(peek(held), "lock")))


class ChildTest(ServiceCase):
    def test_stop_methods_reach_the_unowned_window_only(self):
        # The child logs the messages, ignores them, and ends 10 s after its start: the stop waits
        # for it, with a check point that grows, and a start after it runs one copy.
        for end, messages in [("close", CLOSE), ("syscommand", SC), ("sysandclose", SC + CLOSE)]:
            name, log = self.install_child(end, "--windows --ignore --run 10000")
            log.wait("windows")
            code, seen = self.stop(name)
            self.assertEqual((code, log.messages(), log.alive()), ((0, 0), messages, []))
            points = [int(s["checkpoint"]) for s in seen if s["state"] == str(STOP_PENDING)]
            self.assertTrue(len(set(points)) > 1 and points == sorted(points), seen)
        scm(name, ("start",))
        self.assertEqual((len(log.wait("windows", count=2)), len(log.alive())), (2, 1))

    def test_a_long_stoptime_waits_for_a_slow_program(self):
        # A window program that takes 20 s to end after the request ends by itself under
        # stoptime=60: the service is STOP_PENDING all the while and stops with 0. (Neither Windows
        # nor Wine lets a program send the preshutdown control: ControlService refuses it, 87.)
        slow = "--windows --ignore --run 20000"
        name, log = self.install_child("close", slow, "/start /stoptime=60")
        log.wait("windows")
        self.assertEqual(scm(name, ("control", 15))[0]["error"], "87")
        code, seen = self.stop(name)
        pending, ended = {s["state"] for s in seen[:-1]}, log.events("exit")[-1]["code"]
        self.assertEqual((code, pending, ended), ((0, 0), {str(STOP_PENDING)}, "0"))
        self.assertGreater(int(seen[-1]["ms"]) - int(seen[0]["ms"]), 15000, seen)


class HostTest(ServiceCase):
    def test_relaunch_pace_console_and_none_after_a_stop(self):
        # With ctrlbreak every child shares tavi's console, in a group of its own.
        name, log = self.install_child("ctrlbreak", flags="/start /retry /retrymax=0")
        starts, host = log.wait("start", count=12), status(name)
        shared = {(s["group"], str(host["pid"]) in s["conprocs"].split(",")) for s in starts}
        # It takes stop, shutdown and preshutdown.
        self.assertEqual((shared, host["controls"]), ({("1", True)}, 0x105))
        ticks = [int(s["tick"]) for s in starts]
        pace = (ticks[-1] - ticks[0]) / (len(ticks) - 1)  # a mean, in which launch noise cancels
        self.assertTrue(90 <= pace < 1000, ticks)
        count = self.stop(name) and len(log.events("start"))
        time.sleep(1.5)  # only a launch already under way may still log
        self.assertLessEqual(len(log.events("start")), count + 1)

    def test_environment_reaches_the_program_and_what_it_starts(self):
        # Through a .bat (cmd.exe starts the probe), without a log and with one: values with blanks
        # and with a 表 (95 5C), one of 3000 bytes, %NAME% expanded from tavi's environment in any
        # letter case (TEMP's before it is removed), a name tavi lacks kept as written.
        log, bat = self.child_log(), os.path.join(self.box.dir, "env.bat")
        names = ["SPACED", "SJIS", "LONG", "ROOT", "KEEP", "SystemRoot", "WAS", "Path", "TEMP"]
        line = '@"%s" --log %s --env %s\r\n' % (winpath(self.child()), log.win, ",".join(names))
        Path(bat).write_bytes(b(line))
        given = ['"SPACED=a value with blanks"', "SJIS=表示", "LONG=" + "x" * 3000]
        given += [r"ROOT=%systemroot%\x", "KEEP=%NOPE%", "WAS=%TEMP%", r"Path=C:\a;%PATH%", "TEMP="]
        for count, extra in enumerate(["", " /log=t.log"], 1):
            flags = "/start" + "".join(" /env=" + g for g in given) + extra
            self.install("close", "", winpath(bat), flags)
            seen = [e["value"] for e in log.wait("env", count=len(names) * count)[-len(names) :]]
            wanted = [b"a value with blanks", b("表示"), b"x" * 3000, seen[5] + b"\\x", b"%NOPE%"]
            self.assertEqual(seen[:5], wanted)
            self.assertEqual(log.events("env")[-1]["set"], "0")  # TEMP removed
            self.assertTrue(b"%" not in seen[6] and seen[7].startswith(b"C:\\a;C:\\"), seen)

    def test_stops_by_itself_with_the_reason(self):
        # A program that cannot start, or a log that cannot be opened (then the program never
        # runs; one that another writer holds too: a log has one writer), stops the service with
        # the error code; one that ends by itself with an error (a crash too) fails the service
        # with 1066 and its code.
        name, folder = self.service(), winpath(self.box.dir) + "\\"
        self.hold(os.path.join(self.box.dir, "held.log"))
        scm(name, ("create", winpath(self.box.exe), 3, 0x10))
        os.makedirs(os.path.join(self.box.dir, "program.exe"))
        long = "p" * (254 - len(folder)) + ".exe"  # with a blank, a command line of 259 bytes
        self.child(name=long), self.child(name="c.exe")
        for exe, option, log, codes, *env in [
            ("absent.exe", "", "", (NOT_FOUND, 0)),
            ("program.exe", "", "", (NOT_FOUND, 0)),  # a folder
            (long, "", "", (0, 0)),
            (long, "x", "", (206, 0)),
            ("c.exe", "--exit 3221225477", "", (1066, 3221225477)),
            ("c.exe", "", "missing\\web.log", (3, 0)),
            ("c.exe", "", "program.exe", (5, 0)),  # a folder
            ("c.exe", "", "held.log", (32, 0)),
            ("c.exe", "", "l" * 250, (206, 0)),
            # An [env] that cannot be formed: too long, or a line that is no variable.
            ("c.exe", "", "t.log", (10, 0), b"V=" + b"x" * 40000, b"environment too long"),
            ("c.exe", "", "t.log", (10, 0), b"A=1\r\nB", b"environment line=2 is no NAME=value"),
        ]:
            with self.subTest(exe=exe, option=option, log=log):
                for left in (Path(self.box.dir, f) for f in ("c.exe.log", "t.log")):
                    left.unlink(missing_ok=True)
                data = ini(name=name, exe=folder + exe, option=option, end=0, log=log)
                self.box.write_ini(data + b"".join(b"[env]\r\n%s\r\n" % e for e in env[:1]))
                self.assertEqual(watch_stop(name, ("start",))()[0], codes)
                self.assertEqual(os.path.exists(self.box.dir + "/c.exe.log"), "exit" in option)
                if env:
                    said = Path(self.box.dir + "/t.log").read_bytes()
                    self.assertIn(b"tavi: launch failed error=10 " + env[1] + b"\r\n", said)

    def test_children_end_with_their_host(self):
        first, log = self.install_child("close", "--spawn --wait", "/start /stoptime=1")
        log.wait("start", count=2)
        probe("kill", "=%d" % status(first)["pid"])
        self.assertTrue(poll(lambda: not log.alive()), log.events())
        # Ended at 100 moments spread over the relaunches of a program that ends at once, the host
        # leaves no copy behind, neither running nor created and not yet resumed. Wine's service
        # manager takes the host's end from the stop that fails to reach it.
        name, log = self.install_child("close", "--exit 0", "/retry /retrymax=0")
        kills = [(("start",), ("killhost", 3 * i), ("control", 1)) for i in range(100)]
        scm(name, *[verb for kill in kills for verb in kill])
        self.assertGreater(len(log.events("start")), 100)
        self.assertTrue(poll(lambda: not programs(self.box.dir)), programs(self.box.dir))
        scm(first, ("control", 1), ("start",))  # so that both stop at once when the test ends
        scm(name, ("start",))
