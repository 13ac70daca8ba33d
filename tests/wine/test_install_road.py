"""The command-line install: validation, confirmation, the settings file, the
registration, the start, and the exit code and message of every outcome.
"""
import os
import shutil
import uuid

import harness
from catalogue import CAPTION, ERROR_CAPTION
from harness import Sandbox, TaviTestCase, is_registered, unique_name

# Registration does not look at the program file; only /start needs one that runs.
PROGRAM = r"C:\apps\web.exe"
OK, YES, NO = 1, 6, 7
# A run that shows no box ends on its own; one blocked on a box fails here.
QUIET_TIMEOUT_S = 30


class InstallTestCase(TaviTestCase):
    def quiet(self, tail, sandbox=None, cwd=None):
        """Runs tavi.exe expecting no box at all; returns the exit code."""
        code, _ = (sandbox or self.box).run(tail, cwd=cwd, timeout=QUIET_TIMEOUT_S)
        return code

    def one_box(self, tail, caption, button="ok", sandbox=None, cwd=None):
        """Runs tavi.exe, answers exactly one box; returns (exit code, box)."""
        code, boxes = (sandbox or self.box).run(tail, cwd=cwd, answers=[(caption, button)],
                                                timeout=QUIET_TIMEOUT_S)
        return code, boxes[0]

    def new_name(self, sandbox=None):
        return (sandbox or self.box).service(unique_name())


class InvalidRequestTest(InstallTestCase):
    def test_missing_name(self):
        code, box = self.one_box("/install /exe=%s" % PROGRAM, ERROR_CAPTION)
        self.assertBox(box, 1, ERROR_CAPTION)
        self.assertEqual(code, 1)
        # Both missing: the name is checked first and only its message shows.
        code, box = self.one_box("/install", ERROR_CAPTION)
        self.assertBox(box, 1, ERROR_CAPTION)
        self.assertEqual(code, 1)
        self.assertEqual(self.quiet("/install /exe=%s /no_error" % PROGRAM), 1)
        self.assertFalse(os.path.exists(self.box.ini), "an invalid request wrote tavi.ini")

    def test_missing_or_wrong_program(self):
        name = self.new_name()
        code, box = self.one_box("/install /name=%s" % name, ERROR_CAPTION)
        self.assertBox(box, 2, ERROR_CAPTION)
        self.assertEqual(code, 1)
        # The dot of a folder name is no extension.
        for exe in [r"C:\apps\web.com", r"C:\tools.d\app"]:
            with self.subTest(exe=exe):
                self.assertEqual(self.quiet("/install /name=%s /exe=%s /no_error" % (name, exe)), 1)
        self.assertFalse(is_registered(name))
        self.assertFalse(os.path.exists(self.box.ini), "an invalid request wrote tavi.ini")

    def test_program_extension_in_any_case(self):
        for exe in [r"C:\apps\app.EXE", r"C:\apps\run.Bat"]:
            with self.subTest(exe=exe):
                name = self.new_name()
                self.assertEqual(self.quiet("/install /name=%s /exe=%s" % (name, exe)), 0)
                self.assertTrue(is_registered(name))


class ConfirmationTest(InstallTestCase):
    def test_yes_registers(self):
        name = self.new_name()
        code, box = self.one_box("/install /name=%s /exe=%s /question" % (name, PROGRAM),
                                 ERROR_CAPTION, "yes")
        self.assertBox(box, 13, ERROR_CAPTION, name, buttons=(YES, NO))
        self.assertEqual(code, 0)
        self.assertTrue(is_registered(name))
        self.assertTrue(os.path.exists(self.box.ini))

    def test_no_leaves_everything_as_it_was(self):
        name = self.new_name()
        code, box = self.one_box("/install /name=%s /exe=%s /question" % (name, PROGRAM),
                                 ERROR_CAPTION, "no")
        self.assertBox(box, 13, ERROR_CAPTION, name, buttons=(YES, NO))
        self.assertEqual(code, 2)
        self.assertFalse(is_registered(name))
        self.assertFalse(os.path.exists(self.box.ini), "tavi.ini written without a Yes")


class SuccessTest(InstallTestCase):
    def test_ok_reports_the_registration(self):
        name = self.new_name()
        code, box = self.one_box("/install /name=%s /exe=%s /ok" % (name, PROGRAM), CAPTION)
        self.assertBox(box, 17, CAPTION, name)
        self.assertEqual(code, 0)
        self.assertTrue(is_registered(name))

    def test_ok_reports_the_start(self):
        name = self.new_name()
        code, box = self.one_box("/install /name=%s /exe=%s /start /ok"
                                 % (name, harness.LONG_RUNNER), CAPTION)
        self.assertBox(box, 16, CAPTION, name)
        self.assertEqual(code, 0)
        self.assertTrue(harness.wait_state(name, harness.SERVICE_RUNNING))

    def test_install_wins_over_uninstall(self):
        name = self.new_name()
        self.assertEqual(self.quiet("/install /uninstall /name=%s /exe=%s" % (name, PROGRAM)), 0)
        self.assertTrue(is_registered(name))

    def test_ini_takes_the_settings_file_and_leaves_it(self):
        name = self.new_name()
        other = self.new_name()
        hand_written = ("; written by hand\r\n[tavi]\r\nname = %s\r\nexe=%s\r\n"
                        "description=from the file\r\nauto=1\r\ndesktop=1\r\n" % (name, PROGRAM))
        self.box.write_ini(hand_written)
        code, box = self.one_box("/install /ini /name=%s /exe=C:\\x.txt /ok" % other, CAPTION)
        self.assertBox(box, 17, CAPTION, name)
        self.assertEqual(code, 0)
        self.assertFalse(is_registered(other), "the command line's name was used")
        config = harness.service_config(name)
        self.assertEqual((int(config["type"]), int(config["start"])), (0x110, 2))
        self.assertEqual(harness.unhex(config["description"]), b"from the file")
        self.assertEqual(self.box.read_ini(), hand_written.encode(), "tavi.ini was rewritten")


class StartFailureTest(InstallTestCase):
    def hold_instance_mutex(self, name):
        """Runs another service whose host holds the instance mutex of name.

        That host reads name from its own tavi.ini, so a host started for
        name itself finds the mutex taken and ends before it connects to the
        service control manager: the start of name fails.
        """
        holder = Sandbox()
        self.addCleanup(holder.cleanup)
        holder.write_ini("[tavi]\r\nname=%s\r\nexe=%s\r\n" % (name, harness.LONG_RUNNER))
        other = holder.service(unique_name())
        harness.tool("scmtool", "create", other, harness.winpath(holder.exe), 3, 0x10)
        harness.tool("scmtool", "start", other)
        self.assertTrue(harness.wait_state(other, harness.SERVICE_RUNNING))

    def test_start_failure(self):
        name = self.new_name()
        self.hold_instance_mutex(name)
        tail = "/install /name=%s /exe=%s /start" % (name, harness.LONG_RUNNER)
        code, box = self.one_box(tail, CAPTION)
        self.assertBox(box, 3, CAPTION, name)
        self.assertEqual(code, 4)
        self.assertTrue(is_registered(name), "the service was not left registered")
        # Silenced, the failed start counts as done, and /ok shows nothing either.
        harness.tool("scmtool", "delete", name)
        self.assertEqual(self.quiet(tail + " /no_error /ok"), 0)
        self.assertTrue(is_registered(name))
        self.assertNotEqual(harness.service_status(name)["state"], harness.SERVICE_RUNNING)


class CreationFailureTest(InstallTestCase):
    def test_name_taken(self):
        name = self.new_name()
        harness.tool("scmtool", "create", name, r"C:\apps\other.exe", 3, 0x10)
        code, box = self.one_box("/install /name=%s /exe=%s" % (name, PROGRAM), ERROR_CAPTION)
        self.assertBox(box, 11, ERROR_CAPTION)
        self.assertEqual(code, 3)
        self.assertEqual(self.quiet("/install /name=%s /exe=%s /no_error" % (name, PROGRAM)), 3)
        self.assertEqual(harness.unhex(harness.service_config(name)["path"]), rb"C:\apps\other.exe")

    def test_option_that_does_not_fit_the_settings_file(self):
        name = self.new_name()
        # 200 double quotes escape to 400 bytes.
        quotes = '/option="' + '\\"' * 200 + '"'
        code, box = self.one_box("/install /name=%s /exe=%s %s" % (name, PROGRAM, quotes),
                                 ERROR_CAPTION)
        self.assertBox(box, 28, ERROR_CAPTION)
        self.assertEqual(code, 1)
        # 130 backslashes escape to 260 bytes, one more than the file keeps.
        backslashes = "/option=" + "\\" * 130
        self.assertEqual(self.quiet("/install /name=%s /exe=%s %s /no_error"
                                    % (name, PROGRAM, backslashes)), 1)
        self.assertFalse(is_registered(name))
        self.assertFalse(os.path.exists(self.box.ini), "a refused option was saved")

    def test_settings_file_not_writable(self):
        # Tests run as root under Wine, which writes a read-only file anyway;
        # a directory in the file's place cannot be written by anybody.
        os.mkdir(self.box.ini)
        name = self.new_name()
        code, box = self.one_box("/install /name=%s /exe=%s" % (name, PROGRAM), ERROR_CAPTION)
        self.assertBox(box, 4, ERROR_CAPTION)
        self.assertEqual(code, 3)
        self.assertEqual(self.quiet("/install /name=%s /exe=%s /no_error" % (name, PROGRAM)), 3)
        self.assertFalse(is_registered(name), "registered without its settings")


class FolderLengthTest(InstallTestCase):
    def folder(self, length):
        """A new folder whose Windows path is exactly length bytes."""
        top = os.path.join(harness.WORK, "long-" + uuid.uuid4().hex[:8])
        self.addCleanup(shutil.rmtree, top, True)
        path = top
        while len(harness.winpath(path)) < length:
            room = length - len(harness.winpath(path)) - 1
            path = os.path.join(path, "d" * min(room, 60))
        self.assertEqual(len(harness.winpath(path)), length)
        return path

    def sandbox_in(self, path):
        parent, leaf = os.path.split(path)
        os.makedirs(parent)
        sandbox = Sandbox(name=leaf, parent=parent)
        self.addCleanup(sandbox.cleanup)
        return sandbox

    def test_folder_of_250_bytes_works(self):
        sandbox = self.sandbox_in(self.folder(250))
        name = self.new_name(sandbox)
        self.assertEqual(self.quiet("/install /name=%s /exe=%s" % (name, PROGRAM), sandbox), 0)
        self.assertTrue(is_registered(name))
        self.assertIn(b"name=" + name.encode(), sandbox.read_ini())

    def test_longer_folder_is_refused(self):
        sandbox = self.sandbox_in(self.folder(251))
        # Wine starts no program whose path reaches 260 bytes: a short file
        # name keeps the module path below that while tavi.ini beside it
        # would need 260.
        short = os.path.join(sandbox.dir, "t.exe")
        os.rename(sandbox.exe, short)
        sandbox.exe = short
        name = self.new_name(sandbox)
        code, box = self.one_box("/install /name=%s /exe=%s" % (name, PROGRAM), ERROR_CAPTION,
                                 sandbox=sandbox, cwd=harness.WORK)
        self.assertBox(box, 29, ERROR_CAPTION)
        self.assertEqual(code, 1)
        self.assertFalse(is_registered(name))
        self.assertEqual(os.listdir(sandbox.dir), ["t.exe"])


if __name__ == "__main__":
    harness.main()
