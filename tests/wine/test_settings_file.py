"""tavi.ini as the command-line install writes it and as tavi reads it back:
exact bytes, the escaped option and what the platform's profile reader makes
of it, hand-written files, defaults, and integers that are not numbers.
"""
import os
import shutil

import harness
from catalogue import ERROR_CAPTION
from harness import TaviTestCase, is_registered, read_profile, unique_name

PROGRAM = r"C:\apps\web.exe"
QUIET_TIMEOUT_S = 30


def is_lead(byte):
    return 0x81 <= byte <= 0x9F or 0xE0 <= byte <= 0xFC


def escape(data):
    """The stored form of an option: a backslash before every single-byte
    backslash and double quote; second bytes of Shift_JIS are left alone."""
    out = bytearray()
    second = False
    for byte in data:
        if second:
            second = False
        elif is_lead(byte):
            second = True
        elif byte in b'\\"':
            out.append(0x5C)
        out.append(byte)
    return bytes(out)


def unescape(data):
    out = bytearray()
    second = False
    i = 0
    while i < len(data):
        byte = data[i]
        if second:
            second = False
        elif is_lead(byte):
            second = True
        elif byte == 0x5C and i + 1 < len(data) and data[i + 1] in b'\\"':
            i += 1
            byte = data[i]
        out.append(byte)
        i += 1
    return bytes(out)


SO = "ソ".encode("cp932")  # 83 5C: its second byte is a backslash

# (what the option is, how it is given on the command line)
OPTIONS = [
    (b"'a b'", b"/option=\"'a b'\""),
    (b"  lead and trail blanks  ", b'/option="  lead and trail blanks  "'),
    (b'"quoted"', b'/option="\\"quoted\\""'),
    (b'-conf "C:\\Program Files\\web\\web.conf" -x \\\\server\\share',
     b'/option="-conf \\"C:\\Program Files\\web\\web.conf\\" -x \\\\server\\share"'),
    # A backslash or a ソ last cannot stand before a closing quote: unquoted.
    (b"C:\\data\\", b"/option=C:\\data\\"),
    (SO + b'"x' + SO, b"/option=" + SO + b'"x' + SO),
    (b"", b"/option="),
]


class WrittenFileTest(TaviTestCase):
    def test_exact_bytes(self):
        name = self.box.service(unique_name())
        tail = ('/install /name=%s /exe=%s /option="-p 80 \\"x\\"" /description="Web server"'
                ' /end=ctrlbreak /auto /desktop /retry' % (name, PROGRAM))
        self.assertEqual(self.box.run(tail, timeout=QUIET_TIMEOUT_S)[0], 0)
        expected = ('[tavi]\r\nexe=%s\r\noption="-p 80 \\"x\\""\r\nname=%s\r\n'
                    'description=Web server\r\nend=3\r\nauto=1\r\ndesktop=1\r\nretry=1\r\n'
                    'encode=1\r\n' % (PROGRAM, name)).encode()
        self.assertEqual(self.box.read_ini(), expected)

    def test_options_read_back_whole(self):
        # The name is taken, so each install writes the file and then stops
        # with exit code 3 without registering anything.
        name = self.box.service(unique_name())
        harness.tool("scmtool", "create", name, r"C:\apps\other.exe", 3, 0x10)
        for option, given in OPTIONS:
            with self.subTest(option=option):
                tail = b"/install /name=%s /exe=%s %s /no_error" % (
                    name.encode(), PROGRAM.encode(), given)
                self.assertEqual(self.box.run(tail, timeout=QUIET_TIMEOUT_S)[0], 3)
                stored = escape(option)
                self.assertIn(b'\r\noption="' + stored + b'"\r\n', self.box.read_ini())
                text, _ = read_profile(self.box.ini, "option")
                self.assertEqual(text, stored)
                self.assertEqual(unescape(text), option)

    def test_options_reach_the_program_whole(self):
        # What tavi read back shows in the command line that the service
        # host gives the test child, which logs it beside itself and ends at
        # once. The program path is relative to tavi's folder and short, so
        # that the longest option still fits the child's 259-byte command line.
        shutil.copyfile(os.path.join(harness.TOOLS, "testchild.exe"),
                        os.path.join(self.box.dir, "tc.exe"))
        log = os.path.join(self.box.dir, "tc.exe.log")
        program = b".\\tc.exe"
        tricky = b'--exit 0  "quoted" C:\\dir\\ \\\\srv ' + SO + b'"x' + SO + b"  "
        # Escaped, 259 bytes: the most the file keeps.
        longest = b"--exit 0 " + b"\\" * 9 + b"a" * 231 + b"z"
        self.assertEqual(len(escape(longest)), 259)
        self.assertEqual(len(program + b" " + longest), 259)
        for option in [tricky, longest]:
            with self.subTest(option=option):
                name = self.box.service(unique_name())
                # Quoted on the command line, where only \" stands for a quote.
                given = option.replace(b'"', b'\\"')
                tail = b'/install /name=%s /exe=%s /option="%s" /start' % (
                    name.encode(), program, given)
                self.assertEqual(self.box.run(tail, timeout=QUIET_TIMEOUT_S)[0], 0)
                started = harness.poll(lambda: [event for event in harness.read_child_log(log)
                                                if event["event"] == "start"])
                self.assertTrue(started, "the test child did not start")
                self.assertEqual(started[0]["cmdline"], program + b" " + option)
                os.remove(log)


class HandWrittenFileTest(TaviTestCase):
    def test_option_without_encode_reads_literally(self):
        name = self.box.service(unique_name())
        option = b'-conf "C:\\a b\\c.conf" \\\\srv\\x\\'
        hand_written = b"[tavi]\r\nname=%s\r\nexe=%s\r\noption=%s\r\n" % (
            name.encode(), PROGRAM.encode(), option)
        self.box.write_ini(hand_written)
        self.assertEqual(read_profile(self.box.ini, "option")[0], option)
        self.assertEqual(self.box.run("/install /ini", timeout=QUIET_TIMEOUT_S)[0], 0)
        self.assertTrue(is_registered(name))
        self.assertEqual(self.box.read_ini(), hand_written, "tavi.ini was rewritten")

    def test_no_file_gives_an_empty_name(self):
        code, boxes = self.box.run("/install /ini", answers=[(ERROR_CAPTION, "ok")],
                                   timeout=QUIET_TIMEOUT_S)
        self.assertBox(boxes[0], 1, ERROR_CAPTION)
        self.assertEqual(code, 1)
        self.assertFalse(os.path.exists(self.box.ini))

    def test_integer_defaults(self):
        # Without auto and desktop the service starts automatically and
        # does not interact with the desktop.
        name = self.box.service(unique_name())
        self.box.write_ini("[tavi]\r\nname=%s\r\nexe=%s\r\n" % (name, PROGRAM))
        self.assertEqual(self.box.run("/install /ini", timeout=QUIET_TIMEOUT_S)[0], 0)
        config = harness.service_config(name)
        self.assertEqual((int(config["start"]), int(config["type"])), (2, 0x10))

    def test_integers_that_are_not_numbers(self):
        for auto, desktop in [("yes", "1x"), ("0x1", "-1")]:
            with self.subTest(auto=auto, desktop=desktop):
                name = self.box.service(unique_name())
                self.box.write_ini("[tavi]\r\nname=%s\r\nexe=%s\r\nauto=%s\r\ndesktop=%s\r\n"
                                   % (name, PROGRAM, auto, desktop))
                _, auto_read = read_profile(self.box.ini, "auto", 1)
                _, desktop_read = read_profile(self.box.ini, "desktop", 0)
                self.assertEqual(self.box.run("/install /ini", timeout=QUIET_TIMEOUT_S)[0], 0)
                config = harness.service_config(name)
                self.assertEqual(int(config["start"]), 2 if auto_read else 3)
                self.assertEqual(int(config["type"]), 0x110 if desktop_read else 0x10)


if __name__ == "__main__":
    harness.main()
