"""Services registered and started through tavi's command line that wrap
testchild, for the tests of the service host and of the child's launch and
stop requests.

Each test gets its own sandbox (a folder with a copy of tavi.exe) and its own
service names. At the end the services are stopped and deleted, and every
testchild that a log shows started and that still runs (one that ignored its
stop request outlives its host) is ended.
"""
import itertools
import os
import re
import shutil
import subprocess
import tempfile
import time

import harness
from harness import (SERVICE_RUNNING, SERVICE_STOPPED, TOOLS, parse_lines, poll, read_child_log,
                     remove_service, service_status, tool, unique_name, winpath)

CHILD = os.path.join(TOOLS, "testchild.exe")

SERVICE_CONTROL_STOP = 1
SERVICE_CONTROL_INTERROGATE = 4
SERVICE_CONTROL_SHUTDOWN = 5

# The wait hint that every status report of the host carries.
WAIT_HINT_MS = 3000

# Every child that a test leaves running ends by itself after this long.
SAFETY_OPTION = "--run-ms 120000"


def cp932(text):
    return text if isinstance(text, bytes) else text.encode("cp932")


class ChildLog:
    """The --log file of one or more testchild processes."""

    def __init__(self, path):
        self.path = path

    @property
    def windows_path(self):
        return winpath(self.path)

    def events(self, kind=None):
        events = read_child_log(self.path)
        return [e for e in events if kind is None or e["event"] == kind]

    def starts(self):
        return self.events("start")

    def messages(self, window=None, origin=None):
        """(window, message) of the logged window messages, in order."""
        return [(e["window"], e["msg"]) for e in self.events("msg")
                if (window is None or e["window"] == window)
                and (origin is None or e["from"] == origin)]

    def wait_for(self, predicate, what, timeout=30, running=None):
        """Polls the log until predicate(events) is true; returns its value.

        running: the name of the service that must be running meanwhile;
        the wait fails as soon as it has stopped (checked about each second).
        """
        deadline = time.monotonic() + timeout
        for attempt in itertools.count(1):
            value = predicate(self.events())
            if value:
                return value
            trouble = "after %d s" % timeout if time.monotonic() > deadline else None
            if running and attempt % 10 == 0:
                status = service_status(running)
                if status and status["state"] == SERVICE_STOPPED:
                    value = predicate(self.events())
                    if value:
                        return value
                    trouble = "and the service stopped: %r" % status
            if trouble:
                raise AssertionError("the child log never showed %s %s; it holds:\n%s"
                                     % (what, trouble, self.dump()))
            time.sleep(0.1)

    def wait_event(self, kind, count=1, timeout=30, running=None):
        """Waits for count events of this kind; returns them."""
        def enough(events):
            found = [e for e in events if e["event"] == kind]
            return found if len(found) >= count else None
        return self.wait_for(enough, "%d '%s' line(s)" % (count, kind), timeout, running)

    def dump(self):
        try:
            with open(self.path, "rb") as f:
                return f.read().decode("latin-1")
        except FileNotFoundError:
            return "(no log file)"


def control(name, code, timeout_ms=15000):
    """ControlService, timed on the Windows side up to SERVICE_STOPPED.

    Returns a dict: ok, error, state (as ControlService returned it),
    control_ms, stopped_ms (-1 when the service did not stop in time).
    """
    _, fields = tool("testchild", "--control", name, code, timeout_ms,
                         timeout=timeout_ms / 1000 + harness.EXIT_TIMEOUT_S)
    return {k: int(v) for k, v in fields.items()}


def try_launch(command_line, directory):
    """The error code CreateProcessA gives for this line and directory (0: it starts)."""
    _, fields = tool("testchild", "--try-launch", cp932(command_line).hex(),
                        cp932(directory).hex())
    return int(fields["error"])


def mutex_exists(service_name):
    _, fields = tool("testchild", "--open-mutex", "$$tavi$$%s$$" % service_name)
    return fields.get("exists") == "1"


def kill_children(logs):
    pids = sorted({e["pid"] for log in logs for e in log.starts()})
    if pids:
        tool("testchild", "--kill", ",".join(pids))


class ServiceChildCase(harness.TaviTestCase):
    """A test case that installs services wrapping testchild through tavi."""

    def setUp(self):
        super().setUp()
        self.logs = []

    def copy_child(self, folder=None, name="testchild.exe"):
        """A copy of testchild in folder (the sandbox by default); its path."""
        folder = folder or self.box.dir
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, name)
        shutil.copyfile(CHILD, path)
        return path

    def new_log(self, path=None):
        log = ChildLog(path or os.path.join(self.box.dir, "child-%d.log" % len(self.logs)))
        self.logs.append(log)
        return log

    def child_option(self, log, extra=""):
        """The option text for testchild: its log, extra options, and the safety
        exit unless the extra options set an end of their own."""
        safety = "" if "--run-ms" in extra else SAFETY_OPTION
        return " ".join(part for part in ("--log", log.windows_path, extra, safety) if part)

    def install(self, end, option, exe=None, retry=False, start=True, name=None):
        """Registers (and starts) a service with tavi's command line:
        /install /name= /exe= /option= /end= [/retry] [/start]. Returns its name."""
        name = self.box.service(name or unique_name())
        self.addCleanup(self.end_service, name)
        exe = exe or self.copy_child()
        quoted_option = b'"' + cp932(option) + b'"' if option else b""
        tail = (b"/install /name=" + cp932(name) + b' /exe="' + cp932(winpath(exe)) + b'"'
                b" /option=" + quoted_option + b" /end=" + cp932(str(end)) +
                (b" /retry" if retry else b"") + (b" /start" if start else b""))
        code, boxes = self.box.run(tail)
        self.assertEqual((code, boxes), (0, []), "tavi %r" % tail)
        return name

    def install_child(self, end, extra="", retry=False, start=True):
        """A service wrapping testchild in the sandbox, logging to a new log."""
        log = self.new_log()
        name = self.install(end, self.child_option(log, extra), retry=retry, start=start)
        return name, log

    def set_stored_end(self, value):
        """Rewrites the stop method in the sandbox's tavi.ini."""
        data = re.sub(rb"(?m)^end=.*$", b"end=" + cp932(str(value)), self.box.read_ini())
        self.box.write_ini(data)

    def end_service(self, name):
        remove_service(name)
        kill_children(self.logs)

    def status(self, name):
        status = service_status(name)
        self.assertIsNotNone(status, "service %s cannot be queried" % name)
        return status

    def assertState(self, name, state, timeout_ms=20000):
        """Waits for the state; returns the status that QueryServiceStatus reads then."""
        code, fields = tool("scmtool", "wait", name, state, timeout_ms,
                            timeout=timeout_ms / 1000 + harness.EXIT_TIMEOUT_S)
        status = self.status(name)
        self.assertEqual(code, 0, "service %s did not reach state %d: %r" % (name, state, status))
        return status

    def assertStoppedWith(self, name, exit_code, timeout_ms=20000):
        status = self.assertState(name, SERVICE_STOPPED, timeout_ms)
        self.assertEqual(status["exit"], exit_code, "exit code as QueryServiceStatus reads it")
        self.assertEqual(status["specific"], 0)
        return status

    def assertRunning(self, name):
        status = self.assertState(name, SERVICE_RUNNING)
        self.assertEqual(status["exit"], 0)
        return status

    def stop(self, name):
        result = control(name, SERVICE_CONTROL_STOP)
        self.assertEqual(result["ok"], 1, "ControlService(stop): %r" % result)
        return result


class StopWatch:
    """scmtool wait for SERVICE_STOPPED, running in the background.

    When a host stops by itself (its program ended), Wine replaces the exit
    code it reported by 1077 (ERROR_SERVICE_NEVER_STARTED) within about a
    second of the host's end; so the reported code is read by a wait that
    was already polling when the service stopped.
    """

    def __init__(self, name, timeout_ms=30000):
        self.timeout_ms = timeout_ms
        self.out = tempfile.TemporaryFile()
        self.process = subprocess.Popen(
            [harness.WINE64, os.path.join(harness.TOOLS, "scmtool.exe"), "wait", name,
             str(SERVICE_STOPPED), str(timeout_ms)],
            stdout=self.out, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL,
            env=harness.WINE_ENV)
        if not poll(lambda: "waiting" in self.fields() or self.process.poll() is not None):
            self.process.kill()
            raise AssertionError("scmtool wait did not begin")

    def fields(self):
        self.out.seek(0)
        return parse_lines(self.out.read())

    def exit_code(self):
        """The exit code of the first SERVICE_STOPPED the watch saw."""
        try:
            code = self.process.wait(self.timeout_ms / 1000 + harness.EXIT_TIMEOUT_S)
        except subprocess.TimeoutExpired:
            self.process.kill()
            raise AssertionError("scmtool wait did not end")
        fields = self.fields()
        self.out.close()
        if code != 0:
            raise AssertionError("the service did not stop: %r" % fields)
        return int(fields["exit"])
