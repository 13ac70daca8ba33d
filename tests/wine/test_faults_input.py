"""Faulty and extreme input: a tavi.ini that is empty, binary garbage, a
folder or full of integers that are not numbers; names, paths and options
of 259 and 260 bytes; Shift_JIS texts whose second bytes are backslashes;
two installs of one name at the same moment.

Each case goes through the command-line roads (/install, /uninstall, with
and without /ini) and, where it matters, the service host; what tavi makes
of a settings file is compared with what the platform's profile reader
(iniread) gives for it. Nothing may crash, hang, overflow a buffer or report
success for a failure.
"""
import os
import random
import uuid

from catalogue import ERROR_CAPTION
from harness import (Sandbox, is_registered, main, read_profile, service_config, tool,
                     unique_name, unhex, winpath)
from service_child import SAFETY_OPTION, cp932, mutex_exists, try_launch
from test_faults_host import FaultCase

PROGRAM = r"C:\apps\web.exe"
QUIET_TIMEOUT_S = 30
ERROR_FILENAME_EXCED_RANGE = 206
SERVICE_AUTO_START, SERVICE_DEMAND_START = 2, 3


def garbage(seed, size, one_line=False):
    """Random bytes with a NUL and a backslash in them; one_line: no CR or LF."""
    rng = random.Random(seed)
    data = bytearray(rng.randrange(256) for _ in range(size))
    data[size // 3] = 0x00
    data[size // 2] = 0x5C
    if one_line:
        data = bytearray(0x5C if b in b"\r\n" else b for b in data)
    return bytes(data)


def is_lead(byte):
    return 0x81 <= byte <= 0x9F or 0xE0 <= byte <= 0xFC


def cut_at_last_backslash(path):
    """The folder of a path, cut at its last backslash that is not the second
    byte of a Shift_JIS character."""
    last, i = -1, 0
    while i < len(path):
        if is_lead(path[i]):
            i += 2
            continue
        if path[i] == 0x5C:
            last = i
        i += 1
    return path[:last] if last >= 0 else path


def launch_error(exe, option):
    """What the host's launch of exe with option fails with (0: it starts)."""
    quoted = b" " in exe and not exe.startswith(b'"')
    line = (b'"' + exe + b'" ' if quoted else exe + b" ") + option
    if len(line) > 259:
        return ERROR_FILENAME_EXCED_RANGE
    folder = cut_at_last_backslash(exe[1:] if exe.startswith(b'"') else exe)
    return try_launch(line, folder)


class InputFaultCase(FaultCase):

    def quiet(self, tail, sandbox=None):
        """Runs tavi.exe expecting no box; returns the exit code."""
        code, boxes = (sandbox or self.box).run(tail, timeout=QUIET_TIMEOUT_S)
        self.assertEqual(boxes, [])
        return code

    def profile(self, key, default=0):
        """(text, integer) of a key of the sandbox's tavi.ini as the
        platform reads it; the text ends at a NUL, as tavi's buffer does."""
        text, number = read_profile(self.box.ini, key, default)
        return text.split(b"\0")[0], number

    def register_host(self):
        """A service for the sandbox's tavi.exe, registered directly."""
        name = self.box.service(unique_name())
        code, fields = tool("scmtool", "create", name, winpath(self.box.exe), 3, 0x10)
        self.assertEqual(code, 0, fields)
        return name


class BrokenSettingsFileTest(InputFaultCase):

    def test_files_that_hold_no_settings(self):
        """An empty tavi.ini, one of random bytes, or a folder in its place:
        /uninstall /ini and /install /ini find no name (message 1, exit
        code 1) and leave the file as it was; the service host finds no
        program, so the service stops with the error of that failed start
        instead of crashing or reporting success."""
        name_missing_shown = False
        for kind in ["empty", "garbage", "folder"]:
            with self.subTest(kind=kind):
                if kind == "folder":
                    os.remove(self.box.ini)
                    os.mkdir(self.box.ini)
                else:
                    self.box.write_ini(b"" if kind == "empty" else garbage(10, 2000))
                    before = self.box.read_ini()
                self.assertEqual(self.profile("name")[0], b"")
                if name_missing_shown:
                    self.assertEqual(self.quiet("/uninstall /ini /no_error"), 1)
                else:
                    code, boxes = self.box.run("/uninstall /ini", timeout=QUIET_TIMEOUT_S,
                                               answers=[(ERROR_CAPTION, "ok")])
                    self.assertBox(boxes[0], 1, ERROR_CAPTION)
                    self.assertEqual(code, 1)
                    name_missing_shown = True
                self.assertEqual(self.quiet("/install /ini /no_error"), 1)
                if kind == "folder":
                    self.assertTrue(os.path.isdir(self.box.ini))
                else:
                    self.assertEqual(self.box.read_ini(), before, "tavi.ini was written")

                # No program: the command line is a lone blank.
                name = self.register_host()
                self.assertEqual(self.start_until_stopped(name), launch_error(b"", b""))

    def test_garbage_around_a_section(self):
        """Random bytes (NULs and backslashes among them) around a [tavi]
        section whose values are random too: tavi takes what the platform's
        reader gives. /install /ini registers that, /uninstall /ini removes
        it, the file stays untouched, and the service stops with the error
        of starting the garbled program."""
        name = self.box.service(unique_name())
        exe_given = b"Z:\\" + garbage(2, 30, True).replace(b"\0", b"0") + b"x.exe"
        data = (garbage(1, 400) + b"\r\n[tavi]\r\nname=" + name.encode() +
                b"\r\nexe=" + exe_given +
                b"\r\noption=" + garbage(3, 40, True) +
                b"\r\ndescription=" + garbage(4, 40, True) +
                b"\r\nend=" + garbage(5, 8, True) + b"\r\nauto=" + garbage(6, 8, True) +
                b"\r\ndesktop=" + garbage(7, 8, True) + b"\r\nretry=" + garbage(8, 8, True) +
                b"\r\n" + garbage(9, 300))
        self.box.write_ini(data)
        self.assertEqual(self.profile("name")[0], name.encode())
        exe, option = self.profile("exe")[0], self.profile("option")[0]
        self.assertTrue(exe.endswith(b"x.exe"), exe)
        description = self.profile("description")[0]
        auto, desktop = self.profile("auto", 1)[1], self.profile("desktop", 0)[1]

        self.assertEqual(self.quiet("/uninstall /ini /no_error"), 3)
        self.assertEqual(self.quiet("/install /ini /no_error"), 0)
        config = service_config(name)
        self.assertEqual(int(config["start"]), SERVICE_AUTO_START if auto else SERVICE_DEMAND_START)
        self.assertEqual(int(config["type"]), 0x110 if desktop else 0x10)
        self.assertEqual(unhex(config["description"]), description)
        self.assertEqual(unhex(config["path"]), cp932(winpath(self.box.exe)))

        expected = launch_error(exe, option)
        self.assertNotEqual(expected, 0)
        self.assertEqual(self.start_until_stopped(name), expected)
        self.assertHostEnded(name)
        self.assertEqual(self.quiet("/uninstall /ini /no_error"), 0)
        self.assertFalse(is_registered(name))
        self.assertEqual(self.box.read_ini(), data, "tavi.ini was written")


class IntegerSettingsTest(InputFaultCase):

    def ini_with(self, sandbox, name, integers, log):
        exe = self.copy_child(sandbox.dir)
        option = self.child_option(log, "--windows --ignore-close")
        sandbox.write_ini(b"[tavi]\r\nname=%s\r\nexe=%s\r\noption=%s\r\n%s" % (
            name.encode(), cp932(winpath(exe)), cp932(option), integers))

    def expected_messages(self, end):
        """What each stop method sends the child's main window; a method
        outside 0-3 is a plain WM_CLOSE."""
        return {1: [("main", "SC_CLOSE")], 2: [("main", "SC_CLOSE"), ("main", "WM_CLOSE")],
                3: []}.get(end, [("main", "WM_CLOSE")])

    def test_integers_that_are_not_numbers(self):
        """end=abc, auto=1x, an empty desktop, retry=-5, end=99999999999:
        the numbers are what the platform's profile reader makes of them,
        and the service behaves accordingly: it registers with the start
        type read, relaunches a killed program when retry reads nonzero,
        and stops the program with the method read."""
        files = [(b"end=abc\r\nauto=1x\r\ndesktop=\r\nretry=-5\r\n", True),
                 (b"end=99999999999\r\nauto=0x1\r\nretry=0\r\n", False)]
        for integers, relaunches in files:
            with self.subTest(integers=integers):
                sandbox = Sandbox()
                self.addCleanup(sandbox.cleanup)
                name = self.box.service(unique_name())
                self.addCleanup(self.end_service, name)
                log = self.new_log()
                self.ini_with(sandbox, name, integers, log)
                read = {key: read_profile(sandbox.ini, key, default)[1]
                        for key, default in [("end", 2), ("auto", 1), ("desktop", 0),
                                             ("retry", 0)]}
                self.assertEqual(bool(read["retry"]), relaunches, read)

                self.assertEqual(self.quiet("/install /ini /no_error", sandbox), 0)
                config = service_config(name)
                self.assertEqual(int(config["start"]),
                                 SERVICE_AUTO_START if read["auto"] else SERVICE_DEMAND_START)
                self.assertEqual(int(config["type"]), 0x110 if read["desktop"] else 0x10)
                self.assertEqual(tool("scmtool", "start", name)[0], 0)
                log.wait_event("windows", running=name)
                if relaunches:
                    tool("testchild", "--kill", log.starts()[0]["pid"])
                    log.wait_event("windows", count=2, running=name)
                self.assertRunning(name)
                self.assertStopsWithinWaitHint(name)
                self.assertEqual(log.messages(), self.expected_messages(read["end"]), read)


class LengthTest(InputFaultCase):

    def padded(self, head, length, tail=""):
        return head + "p" * (length - len(head) - len(tail)) + tail

    def test_texts_of_259_and_260_bytes(self):
        """Every text holds 259 bytes. A 259-byte option or program path is
        kept whole; of a longer option or name the 260th byte is cut off and
        nothing overflows; a program path cut that way loses its extension
        and is refused; an option that escapes to more than 259 bytes is
        refused rather than stored changed; the service manager takes names
        of up to 256 bytes and refuses longer ones (message 4, exit code 3)."""
        taken = self.box.service(unique_name())
        tool("scmtool", "create", taken, PROGRAM, 3, 0x10)
        # The name is taken, so each of these writes tavi.ini, then exits 3.
        for length in (259, 260):
            with self.subTest(option=length):
                option = self.padded("-o", length)
                tail = '/install /name=%s /exe=%s /option="%s" /no_error' % (taken, PROGRAM, option)
                self.assertEqual(self.quiet(tail), 3)
                self.assertIn(b'\r\noption="%s"\r\n' % option[:259].encode(), self.box.read_ini())
            with self.subTest(exe=length):
                exe = self.padded("C:\\apps\\", length, ".exe")
                tail = '/install /name=%s /exe="%s" /no_error' % (taken, exe)
                before = self.box.read_ini()
                self.assertEqual(self.quiet(tail), 3 if length == 259 else 1)
                if length == 259:
                    self.assertIn(b"\r\nexe=%s\r\n" % exe.encode(), self.box.read_ini())
                else:
                    self.assertEqual(self.box.read_ini(), before, "a cut path was saved")
        with self.subTest(option="259 bytes that escape to 260"):
            before = self.box.read_ini()
            option = self.padded("-o\\", 259)
            tail = '/install /name=%s /exe=%s /option="%s" /no_error' % (taken, PROGRAM, option)
            self.assertEqual(self.quiet(tail), 1)
            self.assertEqual(self.box.read_ini(), before)

        with self.subTest(name=260):
            # Cut to 259 bytes, which the service manager refuses as well.
            name = self.box.service(self.padded("tavitest" + uuid.uuid4().hex[:6], 260))
            tail = "/install /name=%s /exe=%s" % (name, PROGRAM)
            code, boxes = self.box.run(tail, answers=[(ERROR_CAPTION, "ok")],
                                       timeout=QUIET_TIMEOUT_S)
            self.assertBox(boxes[0], 4, ERROR_CAPTION)
            self.assertEqual(code, 3)
            self.assertEqual(read_profile(self.box.ini, "name")[0], name[:259].encode())
            self.assertFalse(is_registered(name[:259]))

        with self.subTest(name=256):
            # The longest name the service manager takes runs too, although
            # the instance mutex's name cannot hold it.
            log = self.new_log()
            name = self.box.service(self.padded("tavitest" + uuid.uuid4().hex[:6], 256))
            self.addCleanup(self.end_service, name)
            description = self.padded("d", 260)
            option = self.child_option(log)
            tail = '/install /name=%s /exe="%s" /option="%s" /description="%s" /start' % (
                name, winpath(self.copy_child()), option, description)
            self.assertEqual(self.quiet(tail), 0)
            config = service_config(name)
            self.assertEqual(unhex(config["display"]), name.encode())
            self.assertEqual(unhex(config["description"]), description[:259].encode())
            log.wait_event("start", running=name)
            self.assertRunning(name)
            self.assertStopsWithinWaitHint(name)


    # The 259-byte cut of a value can split a double-byte character. Saved,
    # the lone lead byte would swallow the closing quote of the stored form
    # (the writer turns the pair into one character), so such settings are
    # refused.
    def test_cut_that_splits_a_double_byte_character(self):
        """An option of 260 bytes whose last character, ソ, straddles the
        259-byte limit: it is refused (message 28) or stored so that it reads
        back as a part of what was given, never as something else; tavi
        refuses it."""
        taken = self.box.service(unique_name())
        tool("scmtool", "create", taken, PROGRAM, 3, 0x10)
        given = b"a" * 258 + "ソ".encode("cp932")
        tail = b'/install /name=%s /exe=%s /option="%s" /no_error' % (
            taken.encode(), PROGRAM.encode(), given)
        code = self.quiet(tail)
        self.assertEqual(code, 1)
        self.assertFalse(os.path.exists(self.box.ini), "a refused option was saved")


class ShiftJisTest(InputFaultCase):

    def test_texts_whose_second_bytes_are_backslashes(self):
        """ソ, 表 and 能 end in the byte of a backslash (0x5C). In the name,
        the description, the option, tavi's own folder and the program's
        folder they are kept whole: the service is registered, named and
        described with them, its program starts from its own folder with
        the option unchanged, and it stops and is removed."""
        box = Sandbox(name="ソ表能-" + uuid.uuid4().hex[:6])
        self.addCleanup(box.cleanup)
        self.box = box
        name = box.service("ソ表能" + uuid.uuid4().hex[:6])
        self.addCleanup(self.end_service, name)
        folder = os.path.join(box.dir, "能ソ")
        exe = self.copy_child(folder, "表示.exe")
        self.assertIn(b"\x94\x5c\x83\x5c\\\x95\x5c", cp932(winpath(exe)))
        if try_launch(winpath(exe), winpath(folder)) != 0:
            self.skipTest("Wine does not read the UTF-8 folder name as CP932 here")
        log = self.new_log()
        option = "--log %s --windows 表ソ能 %s" % (log.windows_path, SAFETY_OPTION)
        description = "表示ソフト能力 \\ 説明"
        tail = cp932('/install /name=%s /exe="%s" /option="%s" /description="%s" /end=close'
                     ' /start' % (name, winpath(exe), option, description))
        self.assertEqual(self.quiet(tail, box), 0)

        config = service_config(name)
        self.assertEqual(unhex(config["display"]), cp932(name))
        self.assertEqual(unhex(config["description"]), cp932(description))
        self.assertEqual(unhex(config["path"]), cp932(winpath(box.exe)))
        self.assertIn(b"\r\nname=" + cp932(name) + b"\r\n", box.read_ini())
        log.wait_event("windows", running=name)
        start = log.starts()[0]
        self.assertEqual(start["cmdline"], cp932(winpath(exe)) + b" " + cp932(option))
        self.assertEqual(start["cwd"], cp932(winpath(folder)))
        self.assertTrue(mutex_exists(name), "no instance mutex under the Shift_JIS name")

        self.assertStopsWithinWaitHint(name)
        log.wait_event("exit")
        self.assertEqual(self.quiet(cp932("/uninstall /name=%s" % name), box), 0)
        self.assertFalse(is_registered(name))


class ConcurrentInstallTest(InputFaultCase):

    def test_two_installs_of_one_name_at_once(self):
        """Two copies of tavi registering the same name at the same moment:
        exactly one succeeds and registers its own executable; the other
        reports that the name is taken (exit code 3). Never both."""
        other = Sandbox()
        self.addCleanup(other.cleanup)
        for round_ in range(2):
            with self.subTest(round=round_):
                name = self.box.service(unique_name())
                tail = "/install /name=%s /exe=%s /no_error" % (name, PROGRAM)
                runs = [self.box.start(tail), other.start(tail)]
                codes = [run.wait(QUIET_TIMEOUT_S) for run in runs]
                self.assertEqual(sorted(codes), [0, 3], codes)
                winner = [self.box, other][codes.index(0)]
                self.assertEqual(unhex(service_config(name)["path"]), cp932(winpath(winner.exe)))


if __name__ == "__main__":
    main()
