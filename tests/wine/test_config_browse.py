"""The configuration window's ways in besides typing: the file dialog of the
browse button, files dropped from the desktop and the help key."""
import os

import harness
import xinput
from catalogue import CAPTION, ERROR_CAPTION, text
from configwindow import (BROWSE_TITLE, IDC_BROWSE, IDC_EXE, IDC_NAME, IDC_TEST_OR_DELETE,
                          IDCANCEL, IDOK, Session, assert_no_box, driver, find_window, ini_bytes,
                          unmanaged_windows, x_window)
from harness import poll, to_bytes, tool, unique_name, winpath

XK_F1 = 0xFFBE

IDC_FILE_NAME = 1148    # the file dialog's file-name box (cmb13)
IDC_FILE_TYPES = 1136   # its list of file types (cmb1)


def setUpModule():
    unmanaged_windows()


class InputTest(harness.TaviTestCase):

    def make_file(self, name):
        """A file in the sandbox; returns its Unix path."""
        path = os.path.join(self.box.dir, name)
        with open(path, "wb") as f:
            f.write(b"MZ")
        return path

    def drop(self, session, *names):
        """Drops these files of the sandbox on the program path's edit."""
        left, top, right, bottom = session.window[IDC_EXE].rect
        paths = [self.make_file(n) for n in names]
        self.assertEqual(xinput.drop(x_window(), (left + right) // 2, (top + bottom) // 2, paths),
                         1, "the window refused the drop")
        return [winpath(p) for p in paths]

    def shown(self, session):
        window = session.read()
        return window[IDC_EXE].text, window[IDC_NAME].text

    def open_file_dialog(self, session):
        session.click(IDC_BROWSE)
        dialog = find_window(BROWSE_TITLE, pid=session.pid)
        self.assertIsNotNone(dialog, "the file dialog did not open")
        return dialog

    def choose(self, session, path):
        """Browses and types path into the file dialog's name box, then OK."""
        dialog = self.open_file_dialog(session)
        code, output = driver("settext", "%x" % dialog.hwnd, IDC_FILE_NAME, to_bytes(path).hex(),
                              ";", "click", "%x" % dialog.hwnd, IDOK)
        self.assertEqual(code, 0, output)
        return dialog

    def test_file_dialog_offers_executables_to_the_window(self):
        session = Session(self.box, self)
        session.fill(exe=r"C:\tools\old.exe", name="typed name")
        dialog = self.open_file_dialog(session)
        self.assertEqual(dialog.owner, session.hwnd)
        self.assertEqual(dialog.caption, text(27))
        types = dialog[IDC_FILE_TYPES]
        self.assertEqual(types.items, [text(25)])
        self.assertEqual(types.cursel, 0)
        self.assertEqual(dialog[IDC_FILE_NAME].text, b"", "the dialog offers a file name")
        driver("click", "%x" % dialog.hwnd, IDCANCEL)
        # Cancelled: nothing changes.
        window = session.read_when_enabled()
        self.assertEqual((window[IDC_EXE].text, window[IDC_NAME].text),
                         (rb"C:\tools\old.exe", b"typed name"))

        # The proposed name stops at the first dot.
        for file_name, name in (("prog.exe", "prog"), ("run.tool.bat", "run")):
            with self.subTest(file=file_name):
                path = winpath(self.make_file(file_name))
                self.choose(session, path)
                window = session.read_when_enabled()
                self.assertEqual(window[IDC_EXE].text, to_bytes(path))
                self.assertEqual(window[IDC_NAME].text, to_bytes(name))
        session.click(IDCANCEL)
        session.closed()

    def test_other_files_are_refused(self):
        session = Session(self.box, self)
        session.fill(exe=r"C:\tools\app.exe", name="kept")
        self.choose(session, winpath(self.make_file("notes.txt")))
        self.assertBox(session.answer(ERROR_CAPTION, "ok"), 10, ERROR_CAPTION,
                       owner=session.hwnd)
        window = session.read_when_enabled()
        self.assertEqual(window[IDC_EXE].text, rb"C:\tools\app.exe")
        self.assertEqual(window[IDC_NAME].text, b"kept")
        session.click(IDCANCEL)
        session.closed()

    # Drops go through Wine's X11 driver (see xinput): a real HDROP.

    def test_a_dropped_program_replaces_path_and_name(self):
        session = Session(self.box, self)
        session.fill(exe=r"C:\tools\app.exe", name="typed")
        # Only the first of several files counts; the extension in any case.
        first, _ = self.drop(session, "DROPPED.EXE", "second.exe")
        expected = (to_bytes(first), b"DROPPED")
        self.assertEqual(poll(lambda: self.shown(session) == expected and expected), expected,
                         "the drop did not fill the window")
        # A batch file can be browsed for, not dropped.
        self.drop(session, "run.bat")
        self.assertBox(session.answer(ERROR_CAPTION, "ok"), 10, ERROR_CAPTION,
                       owner=session.hwnd)
        session.read_when_enabled()
        self.assertEqual(self.shown(session), expected)
        session.click(IDCANCEL)
        session.closed()

    def test_a_drop_in_the_registered_mode_is_ignored(self):
        name = self.box.service(unique_name())
        code, fields = tool("scmtool", "create", name, winpath(self.box.exe), 3, 0x10)
        self.assertEqual(code, 0, fields)
        self.box.write_ini(ini_bytes([("exe", r"C:\tools\app.exe"), ("name", name)]))
        session = Session(self.box, self)
        self.drop(session, "other.exe")
        # Posted after the drop, so handled after it: the next box is the
        # delete question, not a refusal of the drop.
        session.click(IDC_TEST_OR_DELETE)
        self.assertBox(session.answer(CAPTION, "no"), 15, CAPTION, name=name,
                       owner=session.hwnd, buttons=(6, 7))
        self.assertEqual(self.shown(session), (rb"C:\tools\app.exe", to_bytes(name)))
        assert_no_box(self)
        session.click(IDCANCEL)
        session.closed()

    def test_f1_opens_the_help_file_of_the_current_directory(self):
        session = Session(self.box, self, winedebug="+exec")
        # A real key press, so that the platform turns F1 into WM_HELP.
        xinput.press_key(x_window(), XK_F1)
        call = ('ShellExecuteA %016X,"open","tavi.chm",(null),(null),5' % session.hwnd).encode()

        def traced():
            with open(session.trace, "rb") as f:
                return call in f.read()
        self.assertTrue(poll(traced), "no ShellExecuteA of tavi.chm in Wine's trace")
        # There is no tavi.chm: the failure is silent and the window stays.
        session.read()
        assert_no_box(self)
        session.click(IDCANCEL)
        session.closed()


if __name__ == "__main__":
    harness.main()
