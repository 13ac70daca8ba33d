"""The configuration window in its two modes: what it shows, what OK saves
and registers, what it refuses, deleting a registration, and closing with a
service that the start-up probe stopped."""
import os
import subprocess

import harness
from catalogue import CAPTION, ERROR_CAPTION, text
from configwindow import (CHECKS, EDITABLE, EDITS, IDC_END, IDC_OPTION, IDC_TEST_OR_DELETE,
                          IDCANCEL, IDOK, SERVICE_AUTO_START, SERVICE_DEMAND_START,
                          SERVICE_INTERACTIVE_PROCESS, SERVICE_WIN32_OWN_PROCESS, TITLE,
                          VK_ESCAPE, WS_EX_ACCEPTFILES, Session, assert_no_box, driver,
                          end_logged_children, icon_resource_pixels, ini_bytes, log_events,
                          unmanaged_windows, x_window_icon)
from peres import RT_DIALOG, resources
from harness import (SERVICE_RUNNING, SERVICE_STOPPED, TOOLS, poll, service_config,
                     service_status, to_bytes, tool, unique_name, winpath)

TESTCHILD = winpath(os.path.join(TOOLS, "testchild.exe"))
YES, NO = "yes", "no"


def escape(data):
    """Backslash before each backslash and quote that is not the second byte
    of a Shift_JIS character (ソ is 0x83 0x5C)."""
    out = bytearray()
    i = 0
    while i < len(data):
        if 0x81 <= data[i] <= 0x9F or 0xE0 <= data[i] <= 0xFC:
            out += data[i:i + 2]
            i += 2
            continue
        if data[i] in b'\\"':
            out += b"\\"
        out.append(data[i])
        i += 1
    return bytes(out)


def expected_ini(exe, option, name, description, end, auto, desktop, retry, first=()):
    """tavi.ini as the window writes it to a new file: option escaped and
    quoted, encode=1. Keys named in first were in the file before and keep
    their place at the top."""
    pairs = [("exe", exe), ("option", b'"' + escape(to_bytes(option)) + b'"'), ("name", name),
             ("description", description), ("end", end), ("auto", auto),
             ("desktop", desktop), ("retry", retry), ("encode", 1)]
    return ini_bytes([p for p in pairs if p[0] in first] +
                     [p for p in pairs if p[0] not in first])


def make_read_only(test, path):
    """A read-only file, also for root, who writes past the mode bits: the
    immutable attribute then stands for the read-only flag."""
    os.chmod(path, 0o444)
    test.addCleanup(os.chmod, path, 0o644)
    if os.geteuid() != 0:
        return
    if subprocess.run(["chattr", "+i", path], stderr=subprocess.DEVNULL).returncode != 0:
        test.skipTest("running as root where chattr +i is not possible")
    test.addCleanup(subprocess.run, ["chattr", "-i", path])


def setUpModule():
    unmanaged_windows()


class ConfigDialogTest(harness.TaviTestCase):

    def create_service(self, name, start=SERVICE_DEMAND_START,
                       service_type=SERVICE_WIN32_OWN_PROCESS):
        """Registers the sandbox's tavi.exe under name, as an earlier install would."""
        self.box.service(name)
        code, fields = tool("scmtool", "create", name, winpath(self.box.exe), start, service_type)
        self.assertEqual(code, 0, fields)

    def child_log(self):
        """A log for the test child of a service; children still running at
        the end are ended."""
        log = os.path.join(self.box.dir, "child.log")
        self.addCleanup(end_logged_children, log)
        return log

    def child_ready(self, log):
        """How many test children have opened their windows: only then does
        a stop request of theirs reach them."""
        return sum(1 for event, _ in log_events(log) if event == "windows")

    def assert_box(self, box, number, caption, owner, name=None, buttons=(1,)):
        self.assertBox(box, number, caption, name=name, owner=owner, buttons=buttons)

    def assert_controls(self, window, enabled, test_caption):
        for control_id in EDITABLE:
            self.assertEqual(window[control_id].enabled, enabled, "control %d" % control_id)
        for control_id in (IDC_TEST_OR_DELETE, IDOK, IDCANCEL):
            self.assertTrue(window[control_id].enabled, "control %d" % control_id)
        for control in window.unnamed():
            self.assertTrue(control.enabled)
        self.assertEqual(window[IDC_TEST_OR_DELETE].text, text(test_caption))

    def assert_shows(self, window, exe, option, name, description, end, auto, desktop, retry):
        shown = [window[i].text for i in EDITS]
        self.assertEqual(shown, [to_bytes(v) for v in (exe, option, name, description)])
        self.assertEqual(window[IDC_END].cursel, end)
        self.assertEqual([window[i].check for i in CHECKS], [auto, desktop, retry])

    # Opening

    def test_unregistered_window_shows_the_settings_for_editing(self):
        self.box.write_ini(ini_bytes([
            ("exe", r"C:\tools\app.exe"), ("option", r'"-a \"b\" c:\\x"'), ("name", "svc one"),
            ("description", "説明です"), ("end", 1), ("auto", 0), ("desktop", 1),
            ("retry", 1), ("encode", 1)]))
        before = self.box.read_ini()
        session = Session(self.box, self)
        window = session.window
        self.assertEqual(window.caption, to_bytes(TITLE))
        self.assert_shows(window, r"C:\tools\app.exe", r'-a "b" c:\x', "svc one", "説明です",
                          1, 0, 1, 1)
        self.assertEqual(window[IDC_END].items, [text(n) for n in (19, 20, 21, 22)])
        self.assert_controls(window, True, 24)
        self.assertEqual([window[i].limit for i in EDITS], [260] * 4)
        self.assertTrue(window.exstyle & WS_EX_ACCEPTFILES, "the window takes no dropped files")
        # Centred in the work area.
        left, top, right, bottom = window.rect
        area_left, area_top, area_right, area_bottom = window.workarea
        self.assertLessEqual(abs((left + right) - (area_left + area_right)), 1)
        self.assertLessEqual(abs((top + bottom) - (area_top + area_bottom)), 1)
        # Icon 102 is on the window (Wine answers no WM_GETICON from another
        # process, but hands the window's icon to X).
        self.assertEqual(x_window_icon(), icon_resource_pixels(self.box.exe, 102))
        session.click(IDCANCEL)
        session.closed()
        self.assertEqual(self.box.read_ini(), before)

    def test_defaults_without_a_settings_file_and_cancel_writes_nothing(self):
        session = Session(self.box, self)
        self.assert_shows(session.window, "", "", "", "", 2, 1, 0, 0)
        session.click(IDCANCEL)
        session.closed()
        self.assertFalse(os.path.exists(self.box.ini))

    def test_registered_window_shows_the_registration_read_only(self):
        name = unique_name()
        # The registration says: on demand, interactive; the file says otherwise.
        self.create_service(name, SERVICE_DEMAND_START,
                            SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS)
        self.box.write_ini(ini_bytes([("exe", r"C:\tools\app.exe"), ("option", "-x"),
                                      ("name", name), ("description", "d"), ("end", 3),
                                      ("auto", 1), ("desktop", 0), ("retry", 1)]))
        before = self.box.read_ini()
        for close in (IDOK, IDCANCEL):
            with self.subTest(close=close):
                session = Session(self.box, self)
                window = session.window
                self.assert_shows(window, r"C:\tools\app.exe", "-x", name, "d", 3, 0, 1, 1)
                self.assert_controls(window, False, 23)
                session.click(close)
                session.closed()
                self.assertEqual(self.box.read_ini(), before)
                # It was not running, so closing does not start it.
                self.assertEqual(service_status(name)["state"], SERVICE_STOPPED)

    # OK in the unregistered mode

    def test_ok_refuses_a_missing_name_or_program_and_keeps_the_input(self):
        session = Session(self.box, self)
        owner = session.hwnd
        # Both empty: only the name is asked for.
        session.click(IDOK)
        self.assert_box(session.answer(ERROR_CAPTION, "ok"), 1, ERROR_CAPTION, owner)
        session.read_when_enabled()
        session.fill(option="-o", description="desc", end=0, auto=0, desktop=1, retry=1)
        for exe in ("", r"C:\tools.d\app", r"C:\tools\app.txt"):
            with self.subTest(exe=exe):
                session.fill(exe=exe, name="svc", click=IDOK)
                self.assert_box(session.answer(ERROR_CAPTION, "ok"), 2, ERROR_CAPTION, owner)
                self.assert_shows(session.read_when_enabled(), exe, "-o", "svc", "desc",
                                  0, 0, 1, 1)
        session.fill(exe=r"C:\tools\app.exe", name="", click=IDOK)
        self.assert_box(session.answer(ERROR_CAPTION, "ok"), 1, ERROR_CAPTION, owner)
        self.assert_shows(session.read_when_enabled(), r"C:\tools\app.exe", "-o", "", "desc",
                          0, 0, 1, 1)
        self.assertFalse(os.path.exists(self.box.ini), "a refused OK wrote the settings")
        assert_no_box(self)
        session.click(IDCANCEL)
        session.closed()

    def test_no_to_the_registration_saves_and_closes(self):
        # An upper-case extension passes; a stored end outside 0-3 selects
        # nothing, and OK then stores -1.
        name = self.box.service(unique_name())
        self.box.write_ini(ini_bytes([("end", 7)]))
        session = Session(self.box, self)
        self.assertEqual(session.window[IDC_END].cursel, -1)
        option = 'a "quoted" C:\\dir\\ ソ'
        session.fill(exe=r"C:\tools\app.EXE", option=option, name=name, description="説明",
                     auto=0, desktop=1, retry=1, click=IDOK)
        self.assert_box(session.answer(CAPTION, NO), 13, CAPTION, session.hwnd, name=name,
                        buttons=(6, 7))
        session.closed()
        self.assertEqual(self.box.read_ini(),
                         expected_ini(r"C:\tools\app.EXE", option, name, "説明", -1, 0, 1, 1,
                                      first=("end",)))
        self.assertIsNone(service_config(name))

    def test_yes_then_no_registers_without_starting(self):
        name = self.box.service(unique_name())
        session = Session(self.box, self)
        session.fill(exe=TESTCHILD, option="--exit 0", name=name, description="テスト説明",
                     end=3, auto=1, desktop=1, retry=0, click=IDOK)
        self.assert_box(session.answer(CAPTION, YES), 13, CAPTION, session.hwnd, name=name,
                        buttons=(6, 7))
        self.assert_box(session.answer(CAPTION, NO), 14, CAPTION, session.hwnd, name=name,
                        buttons=(6, 7))
        session.closed()
        self.assertEqual(self.box.read_ini(),
                         expected_ini(TESTCHILD, "--exit 0", name, "テスト説明", 3, 1, 1, 0))
        config = service_config(name)
        self.assertIsNotNone(config, "no service was registered")
        self.assertEqual(int(config["start"]), SERVICE_AUTO_START)
        self.assertEqual(int(config["type"]),
                         SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS)
        self.assertEqual(bytes.fromhex(config["path"]), to_bytes(winpath(self.box.exe)))
        self.assertEqual(bytes.fromhex(config["display"]), to_bytes(name))
        self.assertEqual(bytes.fromhex(config["description"]), to_bytes("テスト説明"))
        self.assertEqual(service_status(name)["state"], SERVICE_STOPPED)

    def test_yes_then_yes_registers_and_starts(self):
        name = self.box.service(unique_name())
        log = self.child_log()
        session = Session(self.box, self)
        session.fill(exe=TESTCHILD, option="--windows --log " + winpath(log), name=name,
                     end=0, auto=0, desktop=0, retry=0, click=IDOK)
        session.answer(CAPTION, YES)
        self.assert_box(session.answer(CAPTION, YES), 14, CAPTION, session.hwnd, name=name,
                        buttons=(6, 7))
        session.closed()
        config = service_config(name)
        self.assertEqual(int(config["start"]), SERVICE_DEMAND_START)
        self.assertEqual(int(config["type"]), SERVICE_WIN32_OWN_PROCESS)
        self.assertTrue(poll(lambda: service_status(name)["state"] == SERVICE_RUNNING))
        self.assertTrue(poll(lambda: self.child_ready(log)),
                        "the service did not start the program")

    def test_a_taken_name_is_reported_without_owner_and_closes(self):
        name = unique_name()
        self.create_service(name)
        session = Session(self.box, self)
        session.fill(exe=r"C:\tools\app.exe", name=name, click=IDOK)
        session.answer(CAPTION, YES)
        box = session.answer(ERROR_CAPTION, "none")
        self.assert_box(box, 11, ERROR_CAPTION, None)
        self.assertEqual(box.pid, session.window.pid)
        self.assertTrue(session.read().enabled, "the box without owner disables the window")
        session.answer(ERROR_CAPTION, "ok")
        session.closed()
        # Written before the question, whatever came after.
        self.assertEqual(self.box.read_ini(),
                         expected_ini(r"C:\tools\app.exe", "", name, "", 2, 1, 0, 0))
        self.assertEqual(bytes.fromhex(service_config(name)["path"]),
                         to_bytes(winpath(self.box.exe)))

    def test_an_unwritable_settings_file_registers_nothing(self):
        name = self.box.service(unique_name())
        self.box.write_ini(ini_bytes([("description", "old")]))
        make_read_only(self, self.box.ini)
        session = Session(self.box, self)
        session.fill(exe=r"C:\tools\app.exe", option="-o", name=name, description="new",
                     click=IDOK)
        self.assert_box(session.answer(CAPTION, "ok"), 4, CAPTION, session.hwnd)
        self.assert_shows(session.read_when_enabled(), r"C:\tools\app.exe", "-o", name, "new",
                          2, 1, 0, 0)
        assert_no_box(self)
        self.assertIsNone(service_config(name))
        self.assertEqual(self.box.read_ini(), ini_bytes([("description", "old")]))
        session.click(IDCANCEL)
        session.closed()

    def test_an_option_too_long_to_store_is_refused(self):
        name = self.box.service(unique_name())
        session = Session(self.box, self)
        # 100 + 2 * 80 = 260 bytes once escaped: one too many.
        option = "a" * 100 + "\\" * 80
        session.fill(exe=r"C:\tools\app.exe", option=option, name=name, click=IDOK)
        self.assert_box(session.answer(ERROR_CAPTION, "ok"), 28, ERROR_CAPTION, session.hwnd)
        self.assertEqual(session.read_when_enabled()[IDC_OPTION].text, to_bytes(option))
        self.assertFalse(os.path.exists(self.box.ini))
        # One byte less fits, and is asked about.
        session.fill(option=option[1:], click=IDOK)
        session.answer(CAPTION, NO)
        session.closed()
        self.assertEqual(self.box.read_ini(),
                         expected_ini(r"C:\tools\app.exe", option[1:], name, "", 2, 1, 0, 0))
        self.assertIsNone(service_config(name))

    # Delete in the registered mode

    def test_delete_asks_then_switches_to_the_unregistered_mode(self):
        name = unique_name()
        self.create_service(name)
        self.box.write_ini(ini_bytes([("exe", r"C:\tools\app.exe"), ("name", name),
                                      ("description", "d"), ("end", 1)]))
        session = Session(self.box, self)
        session.click(IDC_TEST_OR_DELETE)
        self.assert_box(session.answer(CAPTION, NO), 15, CAPTION, session.hwnd, name=name,
                        buttons=(6, 7))
        self.assert_controls(session.read_when_enabled(), False, 23)
        self.assertIsNotNone(service_config(name))

        session.click(IDC_TEST_OR_DELETE)
        session.answer(CAPTION, YES)
        self.assert_box(session.answer(CAPTION, "ok"), 18, CAPTION, session.hwnd, name=name)
        window = session.read_when_enabled()
        self.assert_controls(window, True, 24)
        self.assert_shows(window, r"C:\tools\app.exe", "", name, "d", 1, 0, 0, 0)
        self.assertIsNone(service_config(name))
        session.click(IDCANCEL)
        session.closed()

    def test_a_failed_delete_is_reported_without_owner(self):
        name = unique_name()
        self.create_service(name)
        self.box.write_ini(ini_bytes([("exe", r"C:\tools\app.exe"), ("name", name)]))
        session = Session(self.box, self)
        # Someone else removes it while the window shows it.
        harness.remove_service(name)
        session.click(IDC_TEST_OR_DELETE)
        session.answer(CAPTION, YES)
        self.assert_box(session.answer(ERROR_CAPTION, "none"), 5, ERROR_CAPTION, None)
        self.assertTrue(session.read().enabled, "the box without owner disables the window")
        session.answer(ERROR_CAPTION, "ok")
        self.assert_controls(session.read(), False, 23)
        session.click(IDOK)
        session.closed()

    # Closing

    def start_window_child_service(self):
        """A running service of the sandbox's tavi.ini whose child has a window."""
        name = unique_name()
        self.create_service(name)
        log = self.child_log()
        self.box.write_ini(ini_bytes([("exe", TESTCHILD),
                                      ("option", "--windows --log " + winpath(log)),
                                      ("name", name), ("end", 0)]))
        self.assertEqual(tool("scmtool", "start", name)[0], 0)
        self.assertTrue(poll(lambda: self.child_ready(log) == 1))
        return name, log

    def test_without_its_window_tavi_restores_the_service_and_fails(self):
        # A copy whose dialog template names a control class that does not
        # exist: the platform then creates no dialog.
        data = open(self.box.exe, "rb").read()
        template = resources(self.box.exe)[(RT_DIALOG, 101, 0x0411)]
        broken = template.replace("STATIC".encode("utf-16-le"), "NOSUCH".encode("utf-16-le"), 1)
        self.assertNotEqual(broken, template)
        with open(self.box.exe, "wb") as f:
            f.write(data.replace(template, broken, 1))
        name, log = self.start_window_child_service()
        code, boxes = self.box.run(b"")
        self.assertEqual((code, boxes), (1, []))
        self.assertTrue(poll(lambda: self.child_ready(log) == 2),
                        "the service the probe stopped was not started again")
        self.assertEqual(service_status(name)["state"], SERVICE_RUNNING)

    def test_a_service_the_probe_stopped_runs_again_however_the_window_closes(self):
        name, log = self.start_window_child_service()
        closes = (("Cancel", lambda s: s.click(IDCANCEL)),
                  ("Escape", lambda s: s.key(VK_ESCAPE)),
                  # The close command, which comes to the window as WM_CLOSE.
                  ("SC_CLOSE", lambda s: driver("syscommand", "%x" % s.hwnd)),
                  ("OK", lambda s: s.click(IDOK)))
        for label, close in closes:
            with self.subTest(close=label):
                ready = self.child_ready(log)
                session = Session(self.box, self)
                self.assertTrue(poll(lambda: service_status(name)["state"] == SERVICE_STOPPED),
                                "the probe did not stop the service")
                close(session)
                session.closed()
                self.assertTrue(
                    poll(lambda: service_status(name)["state"] == SERVICE_RUNNING),
                    "the service was not started again")
                self.assertTrue(poll(lambda: self.child_ready(log) > ready))


if __name__ == "__main__":
    harness.main()
