"""The ctrlbreak stop method: the host's console, shared by the child, the
child's own process group, and the Ctrl+Break request to that group.

Wine 8 delivers no Ctrl+Break (GenerateConsoleCtrlEvent implements only
Ctrl+C), so the request cannot be seen arriving. What is checked instead:
from the child's side, that it shares the host's console (the console's
process list holds both) and leads a process group of its own (Ctrl+C is
off for it, as for every CREATE_NEW_PROCESS_GROUP child, and a Ctrl+C that
it sends to the group of its own id comes back to it); from the host's
side, Wine's +console trace of the host's AllocConsole and
GenerateConsoleCtrlEvent calls.

Service processes inherit the Unix environment and standard error of
services.exe, so for these tests the prefix's server is started again with
WINEDEBUG=+pid,+console and standard error going to a file, and afterwards
started once more the ordinary way.
"""
import os
import re
import subprocess
import uuid

from harness import WINE64, WINE_ENV, WORK, main, poll
from service_child import ServiceChildCase

WINESERVER = os.environ.get("WINESERVER", "/usr/lib/wine/wineserver")

# "0134:0140:trace:console:GenerateConsoleCtrlEvent (1, 150)": process id,
# thread id, then the event and the group id, all in hex.
TRACE_LINE = re.compile(r"^([0-9a-f]+):[0-9a-f]+:trace:console:(\w+) (.*)$")


def restart_prefix_server(debug=None, stderr_path=None):
    """Ends the prefix's server with every process in it and brings it up as
    the bench does: a persistent server, then services.exe through one
    command, here with these debug channels and standard error."""
    quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                 stdin=subprocess.DEVNULL, env=WINE_ENV, timeout=60)
    subprocess.run([WINESERVER, "-k"], **quiet)
    subprocess.run([WINESERVER, "-w"], **quiet)
    subprocess.run([WINESERVER, "-p"], **quiet)
    env = dict(WINE_ENV, WINEDEBUG=debug) if debug else WINE_ENV
    with open(stderr_path or os.devnull, "ab") as err:
        subprocess.run([WINE64, "cmd", "/c", "exit"], stdout=subprocess.DEVNULL, stderr=err,
                       stdin=subprocess.DEVNULL, env=env, timeout=60)


class CtrlBreakTest(ServiceChildCase):

    @classmethod
    def setUpClass(cls):
        os.makedirs(WORK, exist_ok=True)
        cls.trace_path = os.path.join(WORK, "console-trace-%s.txt" % uuid.uuid4().hex[:8])
        restart_prefix_server("+pid,+console", cls.trace_path)

    @classmethod
    def tearDownClass(cls):
        restart_prefix_server()
        os.remove(cls.trace_path)

    def trace(self, process_id, function):
        """The arguments of every traced call of function by that process."""
        calls = []
        with open(self.trace_path, "rb") as f:
            for line in f.read().decode("latin-1").splitlines():
                match = TRACE_LINE.match(line.strip("\0"))
                if match and int(match.group(1), 16) == process_id and match.group(2) == function:
                    calls.append(match.group(3))
        return calls

    def ctrl_events(self, process_id):
        """(event, group id) of each GenerateConsoleCtrlEvent call of the process."""
        calls = []
        for arguments in self.trace(process_id, "GenerateConsoleCtrlEvent"):
            event, group = re.match(r"\((\d+), ([0-9a-f]+)\)", arguments).groups()
            calls.append((int(event), int(group, 16)))
        return calls

    def consoles_started(self, process_id):
        return [a for a in self.trace(process_id, "alloc_console") if "Started conhost" in a]

    def test_child_shares_the_console_in_a_group_of_its_own_and_gets_ctrl_break(self):
        name, log = self.install_child("ctrlbreak", "--probe-group")
        probe = log.wait_event("probe", running=name)[0]
        start = log.starts()[0]
        host = self.assertRunning(name)["pid"]
        child = int(start["pid"])
        self.assertEqual(int(start["ppid"]), host)
        self.assertEqual(start["console"], "1")
        self.assertEqual(set(start["conprocs"].split(",")), {str(host), str(child)},
                         "console processes of the child, host %d: %r" % (host, start))
        self.assertEqual(start["ctrlc_disabled"], "1")
        self.assertEqual(probe["group"], "1", "Ctrl+C to the child's own group did not reach it")

        self.stop(name)
        self.assertStoppedWith(name, 0)
        calls = poll(lambda: self.ctrl_events(host), timeout=10)
        self.assertEqual(calls, [(1, child)], "Ctrl+Break to the child's group, once")
        self.assertEqual(len(self.consoles_started(host)), 1)
        # Wine delivers no Ctrl+Break; nothing else may come instead.
        types = [e["type"] for e in log.events("ctrl")]
        self.assertEqual(types[0], "0")
        self.assertLessEqual(set(types[1:]), {"1"})

    def test_relaunched_children_share_the_one_console(self):
        name, log = self.install_child("ctrlbreak", "--exit 0", retry=True)
        starts = log.wait_event("start", count=3, running=name)
        host = self.assertRunning(name)["pid"]
        for start in starts:
            self.assertEqual(int(start["ppid"]), host)
            self.assertIn(str(host), start["conprocs"].split(","))
            self.assertEqual(start["ctrlc_disabled"], "1")
        self.assertEqual(len({start["conwin"] for start in starts}), 1, starts)

        self.stop(name)
        self.assertStoppedWith(name, 0)
        # AllocConsole again at each relaunch fails: one console in all.
        self.assertEqual(len(self.consoles_started(host)), 1)
        calls = poll(lambda: self.ctrl_events(host), timeout=10)
        self.assertEqual(len(calls), 1, calls)
        event, group = calls[0]
        self.assertEqual(event, 1)
        # The group is the child launched last, whose start line may come late.
        self.assertTrue(poll(lambda: group in {int(e["pid"]) for e in log.starts()}, timeout=10),
                        "Ctrl+Break to %x, which is none of the children" % group)


if __name__ == "__main__":
    main()
