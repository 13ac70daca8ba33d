"""The program's log: the streams between tavi's lines, rotation, the bound."""

import os
import re
from pathlib import Path

from harness import RUNNING, b, poll, status, watch_stop, winpath
from test_service import ServiceCase

STAMP = rb"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} tavi: "
STREAMS = b"out 1\r\nerr 2\r\nout \x83\x5c\r\nerr last"  # a ソ, and no line end at the end
POURED = b"".join(b"line %08d\r\n" % i for i in range(500))
EARLIER = {"web.2.log": b"earlier 2\r\n", "web.1.log": b"earlier 1\r\n"}  # kept, oldest first


def split_log(data):
    """The program's bytes, and tavi's lines without their stamps and run times."""
    lines = re.findall(b"^" + STAMP + b"(.*)\r\n", data, re.M)
    program = re.sub(b"^" + STAMP + b".*\r\n", b"", data, flags=re.M)
    return program, [re.sub(rb" ran=\d+\.\d{3}s", b"", line) for line in lines]


class LogTest(ServiceCase):
    def install_logged(self, end, extra, start="/start"):
        return self.install_child(end, extra, start + " /log=web.log /logsize=0")

    def pour_after(self, command, keep):  # a service whose batch file runs command, then pours
        bat = os.path.join(self.box.dir, "pour.bat")
        pour = '"%s" --pour 500 --exit 0' % winpath(self.child())
        Path(bat).write_bytes(b("@%s\r\n@%s\r\n" % (command, pour)))
        flags = "/log=web.log /logsize=1000 /logkeep=%d" % keep
        return self.install("close", "", winpath(bat), flags)

    def logged(self, name="web.log"):
        return split_log(Path(self.box.dir, name).read_bytes())

    def log_files(self):  # web.log, its numbered files and any other web* file, by name
        return sorted(f for f in os.listdir(self.box.dir) if f.startswith("web"))

    def test_streams_and_tavi_lines(self):
        # The method, the program, its bytes, its exit code, the service's exit codes. The log is
        # appended to from one start to the next. A window program writes nothing (and reads its
        # input, and would end if it ended); a process that it started and that keeps the pipe
        # (--spawn) holds nothing. An earlier run that left half a line has it ended first.
        Path(self.box.dir, "web.log").write_bytes(b"half")
        for end, option, output, code, codes in [
            ("close", "--streams --exit 3", STREAMS + b"\r\n", 3, (1066, 3)),
            ("ctrlbreak", "--streams --exit 0", STREAMS + b"\r\n", 0, (0, 0)),
            ("close", "--windows --read --run 3000", b"", 0, (0, 0)),
            ("close", "--spawn --streams --exit 0", STREAMS + b"\r\n", 0, (0, 0)),
        ]:
            with self.subTest(option=option):
                before = self.logged()
                output = (b"\r\n" if before[0].endswith(b"half") else b"") + output
                name, log = self.install_logged(end, option, start="")
                self.assertEqual(watch_stop(name, ("start",))()[0], codes)
                command = b("%s --log %s %s" % (winpath(self.child()), log.win, option))
                data = Path(self.box.dir, "web.log").read_bytes()
                pid = re.findall(b"launch pid=(\\d+)", data)[-1]
                events = [
                    b"service start name=" + b(name),
                    b"launch pid=%s command=%s" % (pid, command),
                    b"end pid=%s exit=%d" % (pid, code),
                    b"service stop exit=%d specific=%d" % codes,
                ]
                self.assertEqual(self.logged(), (before[0] + output, before[1] + events))
                # The standard handles are a pipe, and standard input never ends.
                start = next(e for e in log.events("start") if b(e["pid"]) == pid)
                self.assertEqual((start["out"], log.events("input"), log.alive()), ("3", [], []))

    def test_rotation_keeps_every_byte(self):
        # The program, a batch file, runs a command, then pours 500 lines. The files, oldest
        # first, hold exactly what was kept there and what the program wrote, less the oldest
        # files beyond those kept; each within its size. The live log renamed (ren) before the
        # first rotation: a new web.log is opened and no file moves, so the numbers run on
        # unbroken; the renamed file, after the files kept before it, is not written again. A kept
        # file held without sharing its deletion: nothing is renamed or deleted, the log grows on.
        for keep, earlier, command, held in [
            (20, {}, "rem", None),
            (2, {}, "rem", None),
            (0, {}, "rem", None),
            (20, EARLIER, "ren web.log web.old.log", None),
            (2, EARLIER, "rem", "web.1.log"),  # last: it is held until the test ends
        ]:
            with self.subTest(keep=keep, command=command, held=held):
                [os.remove(Path(self.box.dir, f)) for f in self.log_files()]  # an earlier row's
                [Path(self.box.dir, f).write_bytes(data) for f, data in earlier.items()]
                if held:
                    self.hold(os.path.join(self.box.dir, held))
                name = self.pour_after(command, keep)
                self.assertEqual(watch_stop(name, ("start",))()[0], (0, 0))
                found = self.log_files()
                renamed = ["web.old.log"] if command.startswith("ren") else []
                names = ["web.%d.log" % n for n in range(len(found) - len(renamed) - 1, 0, -1)]
                names[len(earlier) : len(earlier)] = renamed  # after the files kept before it
                names.append("web.log")
                self.assertEqual(found, sorted(names))
                if keep < 20:
                    self.assertEqual(len(names), keep + 1)
                files = [Path(self.box.dir, f).read_bytes() for f in names]
                output, wanted = split_log(b"".join(files))[0], b"".join(earlier.values()) + POURED
                self.assertEqual(output, wanted if keep == 20 or held else wanted[-len(output) :])
                self.assertEqual(max(map(len, files)) > 1000, bool(held))  # held: it grew on

    def test_quick_ends_are_relaunched_after_pauses_that_grow(self):
        # A program that ends at once: three relaunches at once, then pauses of 1, 2, 4... s, never
        # past retrymax, each after its line, the service RUNNING; a stop in a pause ends it now.
        # One that runs 10.1 s each time is relaunched at once after its fourth end too.
        for retrymax, option, starts, pauses in [
            (60, "--exit 0", 8, [1, 2, 4, 8, 16]),
            (2, "--exit 0", 8, [1, 2, 2, 2, 2]),
            (60, "--windows --run 10100", 5, []),
        ]:
            with self.subTest(retrymax=retrymax, option=option):
                flags = "/start /retry /retrymax=%d" % retrymax
                name, log = self.install_logged("close", option, start=flags)
                paused = lambda: [e for e in self.logged()[1] if e.startswith(b"pause")]
                done = lambda: len(paused()) == len(pauses) and len(log.events("start")) >= starts
                self.assertTrue(poll(done, 90), paused())
                wanted = [b"pause seconds=%d quick=%d" % (s, n) for n, s in enumerate(pauses, 4)]
                self.assertEqual((paused(), status(name)["state"]), (wanted, RUNNING))
                self.assertEqual(len(log.events("start")), starts)
                code, seen = self.stop(name)
                if pauses[-1:] == [16]:  # in the pause of 16 s
                    self.assertEqual(code, (0, 0))
                    self.assertLess(int(seen[-1]["ms"]) - int(seen[0]["ms"]), 5000, seen)
                    self.assertEqual(self.logged()[1][-3][:5], b"pause")
                    self.assertEqual(len(log.events("start")), 8)
                os.remove(Path(self.box.dir, "web.log"))

    def test_a_program_that_ignores_the_stop_is_ended_at_the_bound(self):
        # It pours output, with a child that holds the pipe: both end stoptime (4 s, not 15, nor
        # twice 4) after the request, and nothing of theirs comes after the line that says so.
        for end in ["close", "ctrlbreak"]:
            with self.subTest(end=end):
                flags = "/start /stoptime=4"
                name, log = self.install_logged(end, "--pour 0 --ignore --spawn", start=flags)
                log.wait("start", count=2)
                code, seen = self.stop(name)
                self.assertEqual((code, log.alive()), ((1460, 0), []))
                self.assertTrue(3900 < int(seen[-1]["ms"]) - int(seen[0]["ms"]) < 7000, seen)
                data = Path(self.box.dir, "web.log").read_bytes()
                pid = re.search(b"launch pid=(\\d+)", data)[1]
                stop = b"stop request method=%s pid=%s" % (b(end), pid)
                forced = b"end by force pid=%s exit=1460" % pid
                last = [stop, forced, b"service stop exit=1460 specific=0"]
                self.assertEqual(split_log(data)[1][-3:], last)
                # Nothing of the program's after that line.
                self.assertRegex(data, b"\n%send by force .*\r\n%s.*\r\n\\Z" % (STAMP, STAMP))
                os.remove(Path(self.box.dir, "web.log"))
