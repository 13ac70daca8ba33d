"""Drives the real tavi.exe under Wine for the tests.

Every test works in a folder of its own under the build directory with a copy
of tavi.exe, starts it with an exact command line through the runin helper,
reads and answers its message boxes with boxdriver and asks the service
control manager with scmtool. Output of Windows programs goes to files, never
to pipes: a pipe inherited by services.exe would never close.
"""
import os
import shutil
import subprocess
import tempfile
import time
import unittest
import uuid

WINE64 = os.environ.get("WINE64", "/usr/lib/wine/wine64")
TAVI_EXE = os.environ["TAVI_EXE"]
TAVI_X86_EXE = os.environ.get("TAVI_X86_EXE", "")
TOOLS = os.environ["TAVI_TOOLS"]
WORK = os.environ["TAVI_WORK"]

# Windows programs run with code page 932 (Shift_JIS).
WINE_ENV = dict(os.environ, LC_ALL="ja_JP.UTF-8")

# Wine is slow to start a process on a loaded machine: generous deadlines.
BOX_TIMEOUT_MS = 30000
EXIT_TIMEOUT_S = 60

SERVICE_STOPPED = 1
SERVICE_START_PENDING = 2
SERVICE_STOP_PENDING = 3
SERVICE_RUNNING = 4


def winpath(path):
    """The Windows name of a Unix path (drive Z: is the Unix root)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def to_bytes(text):
    return text if isinstance(text, bytes) else text.encode("cp932")


def parse_lines(data):
    """key=value lines into a dict; hex-valued keys stay hex strings."""
    result = {}
    for line in data.decode("latin-1").splitlines():
        if "=" in line:
            key, value = line.split("=", 1)
            result.setdefault(key.strip(), value.strip())
    return result


def unhex(value):
    return bytes.fromhex(value or "")


def run_windows(program, args, timeout=EXIT_TIMEOUT_S, cwd=None):
    """Runs a Windows program to its end; returns (exit code, output bytes)."""
    with tempfile.TemporaryFile() as out:
        completed = subprocess.run([WINE64, program, *args], stdout=out,
                                   stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL,
                                   timeout=timeout, cwd=cwd, env=WINE_ENV)
        out.seek(0)
        return completed.returncode, out.read()


def tool(name, *args, timeout=EXIT_TIMEOUT_S):
    """Runs a test helper; returns (exit code, dict of its key=value lines)."""
    code, data = run_windows(os.path.join(TOOLS, name + ".exe"), [str(a) for a in args],
                             timeout=timeout)
    return code, parse_lines(data)


def poll(predicate, timeout=30.0, interval=0.1):
    """Waits until predicate() is true; returns its last value."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(interval)


class Box:
    """A message box as boxdriver read it."""

    def __init__(self, fields):
        self.fields = fields
        self.caption = unhex(fields.get("caption"))
        self.text = unhex(fields.get("text"))
        self.owner = int(fields.get("owner", "0"), 16)
        self.owner_pid = int(fields.get("owner_pid", "0"))
        self.pid = int(fields.get("pid", "0"))
        self.buttons = sorted(int(b) for b in fields.get("buttons", "").split(",") if b)
        self.icon = fields.get("icon") == "1"

    def __repr__(self):
        return "Box(%r, %r, owner=%x, buttons=%r)" % (
            self.caption.decode("cp932", "replace"), self.text.decode("cp932", "replace"),
            self.owner, self.buttons)


def wait_box(caption, button, timeout_ms=BOX_TIMEOUT_MS):
    """Waits for a box with this caption, reads it and presses button; None at the time-out."""
    code, fields = tool("boxdriver", "wait", "hex:" + to_bytes(caption).hex(), timeout_ms, button,
                        timeout=timeout_ms / 1000 + EXIT_TIMEOUT_S)
    return Box(fields) if code == 0 else None


def list_boxes():
    code, data = run_windows(os.path.join(TOOLS, "boxdriver.exe"), ["list"])
    return data.decode("latin-1")


class Run:
    """A started tavi.exe: answer its boxes, then wait for its exit code."""

    def __init__(self, process, out, line_file=None):
        self.process = process
        self.out = out
        self.line_file = line_file
        self.boxes = []

    def answer(self, caption, button, timeout_ms=BOX_TIMEOUT_MS):
        box = wait_box(caption, button, timeout_ms)
        if box is None:
            raise AssertionError("no box %r appeared; visible dialogs:\n%s"
                                 % (caption, list_boxes()))
        self.boxes.append(box)
        return box

    def wait(self, timeout=EXIT_TIMEOUT_S):
        try:
            self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            boxes = list_boxes()
            self.process.kill()
            raise AssertionError("tavi.exe did not end; visible dialogs:\n" + boxes)
        finally:
            self.out.close()
            if self.line_file:
                os.unlink(self.line_file)
                self.line_file = None
        return self.process.returncode


class Sandbox:
    """A folder with a copy of tavi.exe, and the services a test registers."""

    def __init__(self, name=None, exe=TAVI_EXE, parent=None):
        folder = name or "t-" + uuid.uuid4().hex[:8]
        self.dir = os.path.join(parent or WORK, folder)
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)
        self.exe = os.path.join(self.dir, "tavi.exe")
        shutil.copyfile(exe, self.exe)
        self.services = []

    @property
    def ini(self):
        return os.path.join(self.dir, "tavi.ini")

    def read_ini(self):
        with open(self.ini, "rb") as f:
            return f.read()

    def write_ini(self, data):
        with open(self.ini, "wb") as f:
            f.write(to_bytes(data))

    def start(self, tail=b"", cwd=None):
        """Starts tavi.exe with this exact tail, from cwd (its own folder by default)."""
        line = b'"' + to_bytes(winpath(self.exe)) + b'" ' + to_bytes(tail)
        fd, line_file = tempfile.mkstemp(dir=WORK, suffix=".line")
        with os.fdopen(fd, "wb") as f:
            f.write(line)
        out = tempfile.TemporaryFile()
        process = subprocess.Popen(
            [WINE64, os.path.join(TOOLS, "runin.exe"), winpath(cwd or self.dir), winpath(line_file)],
            stdout=out, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, env=WINE_ENV)
        return Run(process, out, line_file)

    def run(self, tail=b"", cwd=None, answers=(), timeout=EXIT_TIMEOUT_S):
        """Starts tavi.exe, answers the boxes (caption, button) in order; returns (code, boxes)."""
        run = self.start(tail, cwd)
        try:
            for caption, button in answers:
                run.answer(caption, button)
        except AssertionError:
            run.process.kill()
            raise
        return run.wait(timeout), run.boxes

    def service(self, name):
        """Remembers a service name to remove when the test ends."""
        self.services.append(name)
        return name

    def cleanup(self):
        for name in self.services:
            remove_service(name)
        shutil.rmtree(self.dir, ignore_errors=True)


def remove_service(name):
    if tool("scmtool", "exists", name)[0] != 0:
        return
    tool("scmtool", "control", name, 1)
    tool("scmtool", "wait", name, SERVICE_STOPPED, 10000)
    tool("scmtool", "delete", name)


def service_config(name):
    code, fields = tool("scmtool", "config", name)
    return fields if code == 0 else None


def service_status(name):
    code, fields = tool("scmtool", "status", name)
    return {k: int(v) for k, v in fields.items() if v.isdigit()} if code == 0 else None


def unique_name(prefix="tavitest"):
    return prefix + uuid.uuid4().hex[:6]


class TaviTestCase(unittest.TestCase):
    """Gives each test a sandbox that is removed, with its services, afterwards."""

    def setUp(self):
        os.makedirs(WORK, exist_ok=True)
        self.box = Sandbox()
        self.addCleanup(self.box.cleanup)

    def assertBox(self, box, number, caption, name=None, owner=None, buttons=(1,)):
        """The box shows catalogue entry number, with its caption, owner and buttons."""
        from catalogue import text
        self.assertEqual(box.caption, to_bytes(caption))
        self.assertEqual(box.text, text(number, name),
                         "box text %r" % box.text.decode("cp932", "replace"))
        if owner is None:
            self.assertEqual(box.owner, 0, "the box has an owner window")
        else:
            self.assertEqual(box.owner, owner)
        self.assertEqual(box.buttons, sorted(buttons))
        self.assertFalse(box.icon, "the box shows an icon")


def main():
    unittest.main(verbosity=2)


# A window program that runs until it is asked to close: the service host's
# window stop methods end it, so a test's running service leaves nothing behind.
LONG_RUNNER = r"C:\windows\system32\notepad.exe"


def wait_state(name, state, timeout_ms=30000):
    """True once the service reports state, False at the time-out."""
    return tool("scmtool", "wait", name, state, timeout_ms,
                timeout=timeout_ms / 1000 + EXIT_TIMEOUT_S)[0] == 0


def read_profile(path, key, default=0, section="tavi"):
    """(text bytes, integer) that the platform's profile reader gives for key."""
    code, fields = tool("iniread", winpath(path), section, key, default)
    if code != 0:
        raise AssertionError("iniread failed on %s" % path)
    return unhex(fields.get("text")), int(fields["int"])


def is_registered(name):
    return tool("scmtool", "exists", name)[0] == 0


CHILD_HEX_FIELDS = ("exe", "cmdline", "cwd", "class")


def read_child_log(path):
    """The events that testchild wrote to its --log file, oldest first.

    Each is a dict with "event" (start, msg, ctrl, exit, probe, windows,
    topwin) and the line's key=value fields; exe, cmdline, cwd and class are
    decoded to bytes. A missing file reads as no events.
    """
    try:
        with open(path, "rb") as f:
            data = f.read()
    except FileNotFoundError:
        return []
    events = []
    for line in data.decode("latin-1").splitlines():
        words = line.split()
        if not words:
            continue
        event = {"event": words[0]}
        for word in words[1:]:
            key, _, value = word.partition("=")
            event[key] = unhex(value) if key in CHILD_HEX_FIELDS else value
        events.append(event)
    return events
