"""Drives tavi's configuration window through the dlgdriver helper.

A Window is what dlgdriver read from the real dialog: its styles, rectangle
and every control's id, class, text, state and list entries. Session holds
a started tavi.exe and its window, and presses, types and closes as a user
would; it reads and answers tavi's message boxes as boxdriver does, giving
harness.Box records for TaviTestCase.assertBox. One dlgdriver process serves
a whole test module (see _Server).
"""
import atexit
import os
import re
import shutil
import struct
import subprocess
import tempfile
import time

import harness
from harness import TOOLS, run_windows, to_bytes
from peres import RT_GROUP_ICON, RT_ICON, icon_group, resources

TITLE = "tavi 起動プログラム設定"
BROWSE_TITLE = "実行ファイルの選択"

IDOK, IDCANCEL = 1, 2
IDC_EXE, IDC_BROWSE, IDC_OPTION, IDC_END, IDC_TEST_OR_DELETE = 1000, 1001, 1002, 1003, 1004
IDC_NAME, IDC_AUTO, IDC_DESKTOP, IDC_DESCRIPTION, IDC_RETRY = 1005, 1010, 1011, 1012, 1013
EDITABLE = (IDC_EXE, IDC_OPTION, IDC_NAME, IDC_DESCRIPTION, IDC_END, IDC_AUTO, IDC_DESKTOP,
            IDC_RETRY, IDC_BROWSE)
EDITS = (IDC_EXE, IDC_OPTION, IDC_NAME, IDC_DESCRIPTION)
CHECKS = (IDC_AUTO, IDC_DESKTOP, IDC_RETRY)

VK_ESCAPE = 0x1B
WS_EX_ACCEPTFILES = 0x10
SERVICE_AUTO_START, SERVICE_DEMAND_START = 2, 3
SERVICE_WIN32_OWN_PROCESS, SERVICE_INTERACTIVE_PROCESS = 0x10, 0x100

WINDOW_TIMEOUT_MS = 30000


class _Server:
    """One dlgdriver process for the whole test module, taking its commands
    from files: a Wine process start per step would cost about a second."""

    def __init__(self):
        os.makedirs(harness.WORK, exist_ok=True)
        self.dir = tempfile.mkdtemp(dir=harness.WORK, prefix="dlgdriver-")
        self.count = 0
        self.process = subprocess.Popen(
            [harness.WINE64, os.path.join(TOOLS, "dlgdriver.exe"), "serve",
             harness.winpath(self.dir)],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL,
            env=harness.WINE_ENV)
        atexit.register(self.stop)

    def call(self, args, timeout):
        self.count += 1
        command = os.path.join(self.dir, "cmd-%d" % self.count)
        with open(command + ".tmp", "w") as f:
            f.write("\n".join(args) + "\n")
        os.rename(command + ".tmp", command)
        out = os.path.join(self.dir, "out-%d" % self.count)
        deadline = time.monotonic() + timeout
        while not os.path.exists(out):
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise AssertionError("dlgdriver gave no answer to %r" % (args,))
            time.sleep(0.01)
        with open(out, "rb") as f:
            lines = f.read().decode("latin-1").splitlines()
        return int(lines[-1].split("=", 1)[1]), "\n".join(lines[:-1])

    def stop(self):
        if self.process.poll() is None:
            self.count += 1
            with open(os.path.join(self.dir, "cmd-%d" % self.count), "w") as f:
                f.write("quit\n")
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        shutil.rmtree(self.dir, ignore_errors=True)


_server = None


def driver(*args, timeout=harness.EXIT_TIMEOUT_S):
    """Runs dlgdriver commands; returns (exit code, output text)."""
    global _server
    if _server is None:
        _server = _Server()
    return _server.call([str(a) for a in args], timeout)


class Control:
    def __init__(self, fields):
        self.id = int(fields["id"])
        self.hwnd = int(fields["hwnd"], 16)
        self.parent = int(fields["parent"], 16)
        self.cls = fields["class"]
        self.style = int(fields["style"], 16)
        self.enabled = fields["enabled"] == "1"
        self.visible = fields["visible"] == "1"
        self.rect = tuple(int(v) for v in fields["rect"].split(","))
        self.text = bytes.fromhex(fields.get("text", ""))
        self.check = int(fields["check"]) if "check" in fields else None
        self.limit = int(fields["limit"]) if "limit" in fields else None
        self.cursel = int(fields["cursel"]) if "cursel" in fields else None
        items = fields.get("items")
        self.items = [bytes.fromhex(i) for i in items.split(",")] if items else []


class Window:
    """One dump of a top-level window and its controls."""

    def __init__(self, output):
        self.fields = {}
        self.all_controls = []
        for line in output.splitlines():
            if line.startswith("control "):
                fields = dict(p.split("=", 1) for p in line[len("control "):].split(" "))
                self.all_controls.append(Control(fields))
            elif "=" in line:
                key, value = line.split("=", 1)
                self.fields.setdefault(key, value.strip())
        self.hwnd = int(self.fields["hwnd"], 16)
        self.pid = int(self.fields["pid"])
        self.caption = bytes.fromhex(self.fields["caption"])
        self.style = int(self.fields["style"], 16)
        self.exstyle = int(self.fields["exstyle"], 16)
        self.rect = tuple(int(v) for v in self.fields["rect"].split(","))
        self.workarea = tuple(int(v) for v in self.fields["workarea"].split(","))
        self.owner = int(self.fields["owner"], 16)
        self.enabled = self.fields["enabled"] == "1"
        self.focus = int(self.fields.get("focus", "0"))
        # The dialog's own controls, by id (labels and frames share 65535).
        self.controls = {c.id: c for c in self.all_controls
                         if c.parent == self.hwnd and c.id != 0xFFFF}

    def __getitem__(self, control_id):
        return self.controls[control_id]

    def unnamed(self):
        return [c for c in self.all_controls if c.parent == self.hwnd and c.id == 0xFFFF]


def find_window(caption=TITLE, timeout_ms=WINDOW_TIMEOUT_MS, pid=0):
    """Waits for a visible top-level window titled caption (of process pid,
    when given); None at the time-out."""
    code, output = driver("find", "hex:" + to_bytes(caption).hex(), timeout_ms, pid,
                          timeout=timeout_ms / 1000 + harness.EXIT_TIMEOUT_S)
    return Window(output) if code == 0 else None


def dump(hwnd):
    code, output = driver("dump", "%x" % hwnd)
    return Window(output) if code == 0 else None


# Without a window manager on the test display, Wine waits two seconds for
# every hidden managed window (each closed message box, each window of an
# ending test child) to be withdrawn. Made unmanaged, these windows close at
# once, and Wine draws their frames itself.
APP_DEFAULTS = r"HKCU\Software\Wine\AppDefaults\%s\X11 Driver"


def unmanaged_windows(programs=("tavi.exe", "testchild.exe")):
    """For setUpModule: the windows of these programs unmanaged until the
    module ends (a setting that was there before is left alone)."""
    for program in programs:
        key = APP_DEFAULTS % program
        code, _ = run_windows("reg", ["query", key, "/v", "Managed"])
        if code == 0:
            continue
        run_windows("reg", ["add", key, "/v", "Managed", "/t", "REG_SZ", "/d", "N", "/f"])
        atexit.register(run_windows, "reg", ["delete", key, "/f"])


def start_traced(sandbox, winedebug, trace):
    """As Sandbox.start(b""), with Wine's trace of these channels in trace."""
    line = b'"' + to_bytes(harness.winpath(sandbox.exe)) + b'" '
    line_file = os.path.join(sandbox.dir, "line.txt")
    with open(line_file, "wb") as f:
        f.write(line)
    out = tempfile.TemporaryFile()
    with open(trace, "wb") as errors:
        process = subprocess.Popen(
            [harness.WINE64, os.path.join(TOOLS, "runin.exe"), harness.winpath(sandbox.dir),
             harness.winpath(line_file)],
            stdout=out, stderr=errors, stdin=subprocess.DEVNULL,
            env=dict(harness.WINE_ENV, WINEDEBUG=winedebug))
    return harness.Run(process, out)


def started_pid(run):
    """The Windows process id of the tavi.exe that runin started (its first line)."""
    def read():
        run.out.seek(0)
        match = re.search(rb"pid=(\d+)", run.out.read())
        return int(match.group(1)) if match else None
    return harness.poll(read, harness.EXIT_TIMEOUT_S) or 0


class Session:
    """A tavi.exe started from its own folder with its configuration window open."""

    def __init__(self, sandbox, test, winedebug=None):
        """winedebug: Wine trace channels for this tavi.exe, written to
        self.trace (the path of a file)."""
        self.test = test
        self.trace = None
        if winedebug is None:
            self.run = sandbox.start(b"")
        else:
            self.trace = os.path.join(sandbox.dir, "wine-trace.txt")
            self.run = start_traced(sandbox, winedebug, self.trace)
        self.pid = started_pid(self.run)
        self.window = find_window(pid=self.pid)
        if self.window is None:
            self.run.process.kill()
            test.fail("the configuration window did not open; dialogs:\n" + harness.list_boxes())
        self.hwnd = self.window.hwnd
        test.addCleanup(self.kill)

    def kill(self):
        """Ends a tavi.exe that a failed test left running (it may sit in a box)."""
        if self.run.process.poll() is None:
            driver("kill", "%x" % self.hwnd)
            self.run.process.kill()
            self.run.process.wait()

    def batch(self, *commands):
        """Runs dlgdriver commands on the window in one request; each
        command is a tuple (name, arguments after the window handle)."""
        args = []
        for command in commands:
            if args:
                args.append(";")
            args += [command[0], "%x" % self.hwnd] + [str(a) for a in command[1:]]
        code, output = driver(*args)
        self.test.assertEqual(code, 0, "dlgdriver %r: %s" % (args, output))
        return output

    def read(self):
        """The window as it is now, once tavi has handled what was posted
        before: dlgdriver's sent messages are answered only when tavi reads
        messages again, in its own loop or in that of a box it opened."""
        window = dump(self.hwnd)
        self.test.assertIsNotNone(window, "the configuration window is gone")
        return window

    def read_when_enabled(self, timeout_ms=WINDOW_TIMEOUT_MS):
        """Waits until the window takes input again (its box has gone), then reads it."""
        return Window(self.batch(("wait", "enabled", timeout_ms), ("dump",)))

    def fill(self, exe=None, option=None, name=None, description=None, end=None,
             auto=None, desktop=None, retry=None, click=None):
        """Types into the edits, sets the checks and the list, then presses click."""
        commands = []
        for control_id, value in ((IDC_EXE, exe), (IDC_OPTION, option), (IDC_NAME, name),
                                  (IDC_DESCRIPTION, description)):
            if value is not None:
                commands.append(("settext", control_id, to_bytes(value).hex()))
        for control_id, value in ((IDC_AUTO, auto), (IDC_DESKTOP, desktop), (IDC_RETRY, retry)):
            if value is not None:
                commands.append(("check", control_id, value))
        if end is not None:
            commands.append(("select", IDC_END, end))
        if click is not None:
            commands.append(("click", click))
        self.batch(*commands)

    def click(self, control_id):
        """Presses a button: the dialog receives WM_COMMAND with its id, posted."""
        self.batch(("click", control_id))

    def key(self, vk):
        """Posts a key press to the focused control, through tavi's message loop."""
        return self.batch(("key", vk))

    def answer(self, caption, button, timeout_ms=harness.BOX_TIMEOUT_MS):
        """Waits for tavi's box with this caption, reads it, presses button."""
        code, output = driver("box", "hex:" + to_bytes(caption).hex(), timeout_ms, button,
                              timeout=timeout_ms / 1000 + harness.EXIT_TIMEOUT_S)
        if code != 0:
            self.test.fail("no box %r appeared (%s); visible dialogs:\n%s"
                           % (caption, output, harness.list_boxes()))
        return harness.Box(harness.parse_lines(output.encode("latin-1")))

    def exit_code(self):
        return self.run.wait()

    def closed(self):
        """tavi ended, with exit code 0, and so its window went away."""
        self.test.assertEqual(self.exit_code(), 0)


def x_window(title=TITLE):
    """The id of the X window that Wine made for the top-level window title."""
    tree = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True).stdout
    match = re.search(rb"^\s*(0x[0-9a-f]+) \"" + re.escape(title.encode("utf-8")) + rb"\"",
                      tree, re.M)
    return int(match.group(1), 16) if match else None


def x_window_icon(title=TITLE):
    """The first image of _NET_WM_ICON on the X window titled title, as
    (width, height, [ARGB, ...] top row first); None when there is none.
    Wine puts there the icon the window has been given (WM_SETICON), or for
    a window without one a stock icon."""
    window = x_window(title)
    if window is None:
        return None
    prop = subprocess.run(["xprop", "-id", hex(window), "-notype", "32c", "_NET_WM_ICON"],
                          capture_output=True).stdout.decode("latin-1")
    numbers = [int(n) for n in re.findall(r"\d+", prop.split("=", 1)[-1])]
    if len(numbers) < 2:
        return None
    width, height = numbers[0], numbers[1]
    return width, height, numbers[2:2 + width * height]


def icon_resource_pixels(exe, group_id):
    """The first image of icon group group_id in exe, as x_window_icon gives it:
    a 4- or 8-bit DIB with its AND mask, the masked pixels transparent."""
    found = resources(exe)
    group = next(v for k, v in found.items() if k[0] == RT_GROUP_ICON and k[1] == group_id)
    image = icon_group(group)[0]
    dib = next(v for k, v in found.items() if k[0] == RT_ICON and k[1] == image["id"])
    header, width, height2, _, bits = struct.unpack_from("<IiiHH", dib)
    height = height2 // 2
    colours = 1 << bits
    palette = [struct.unpack_from("<BBBx", dib, header + 4 * i) for i in range(colours)]
    xor_at = header + 4 * colours
    xor_stride = ((width * bits + 31) // 32) * 4
    and_at = xor_at + xor_stride * height
    and_stride = ((width + 31) // 32) * 4
    pixels = []
    for row in range(height - 1, -1, -1):  # bottom-up rows
        for x in range(width):
            bit_at = x * bits
            byte = dib[xor_at + row * xor_stride + bit_at // 8]
            index = (byte >> (8 - bits - bit_at % 8)) & (colours - 1)
            masked = dib[and_at + row * and_stride + x // 8] >> (7 - x % 8) & 1
            blue, green, red = palette[index]
            pixels.append(0 if masked else 0xFF000000 | red << 16 | green << 8 | blue)
    return width, height, pixels


def assert_no_box(test):
    """No message box of tavi's is on the screen."""
    boxes = harness.list_boxes()
    captions = [line.strip()[len("caption="):] for line in boxes.splitlines()
                if line.startswith("caption=")]
    for caption in ("tavi", "tavi error"):
        test.assertNotIn(to_bytes(caption).hex(), captions, boxes)


def ini_bytes(sections):
    """tavi.ini content, CRLF line ends, from (key, value) pairs of [tavi]."""
    lines = [b"[tavi]"] + [to_bytes(k) + b"=" + to_bytes(v if isinstance(v, bytes) else str(v))
                           for k, v in sections]
    return b"\r\n".join(lines) + b"\r\n"


def log_lines(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode("latin-1").splitlines()
    except OSError:
        return []


def end_logged_children(path):
    """Ends the test children that logged their start in path and still run
    (one whose stop request came before it had its windows runs on)."""
    pids = [f["pid"] for e, f in log_events(path) if e == "start"]
    if pids:
        harness.tool("testchild", "--kill", ",".join(pids))


def log_events(path):
    """testchild's log as (event, {field: value}) pairs."""
    events = []
    for line in log_lines(path):
        words = line.split(" ")
        fields = dict(w.split("=", 1) for w in words[1:] if "=" in w)
        events.append((words[0], fields))
    return events

