"""The service record an install writes, and the start-up probe: what it reads
back from an existing registration, the service it stops, and which starts
it leaves alone.
"""
import uuid

import harness
from catalogue import ERROR_CAPTION
from harness import Sandbox, TaviTestCase, is_registered, service_config, unique_name

PROGRAM = r"C:\apps\web.exe"
QUIET_TIMEOUT_S = 30


class RegistrationTestCase(TaviTestCase):
    def quiet(self, tail, sandbox=None, cwd=None):
        code, _ = (sandbox or self.box).run(tail, cwd=cwd, timeout=QUIET_TIMEOUT_S)
        return code

    def running(self, sandbox=None):
        """A service hosted by the sandbox's tavi.exe, running."""
        sandbox = sandbox or self.box
        name = sandbox.service(unique_name())
        self.assertEqual(self.quiet("/install /name=%s /exe=%s /start"
                                    % (name, harness.LONG_RUNNER), sandbox), 0)
        self.assertTrue(harness.wait_state(name, harness.SERVICE_RUNNING))
        return name

    def registered(self, start_type, service_type):
        name = self.box.service(unique_name())
        harness.tool("scmtool", "create", name, r"C:\apps\other.exe", start_type, service_type)
        return name

    def assertSaved(self, auto, desktop):
        self.assertIn(b"\r\nauto=%d\r\ndesktop=%d\r\n" % (auto, desktop), self.box.read_ini())


class RecordTest(RegistrationTestCase):
    def test_plain_record(self):
        name = self.box.service(unique_name())
        self.assertEqual(self.quiet("/install /name=%s /exe=%s" % (name, PROGRAM)), 0)
        config = service_config(name)
        self.assertEqual((int(config["type"]), int(config["start"]), int(config["error"])),
                         (0x10, 3, 1))
        self.assertEqual(config["account"], "LocalSystem")
        self.assertEqual(harness.unhex(config["path"]), harness.winpath(self.box.exe).encode())
        self.assertEqual(harness.unhex(config["display"]), name.encode())
        self.assertEqual(harness.unhex(config["description"]), b"")

    def test_desktop_auto_and_description(self):
        name = self.box.service(unique_name())
        description = "Web サーバー".encode("cp932")
        tail = b'/install /name=%s /exe=%s /desktop /auto /description="%s"' % (
            name.encode(), PROGRAM.encode(), description)
        self.assertEqual(self.quiet(tail), 0)
        config = service_config(name)
        self.assertEqual((int(config["type"]), int(config["start"])), (0x110, 2))
        self.assertEqual(harness.unhex(config["description"]), description)

    def test_folder_with_a_blank(self):
        sandbox = Sandbox(name="with blank " + uuid.uuid4().hex[:8])
        self.addCleanup(sandbox.cleanup)
        name = self.running(sandbox)
        # Quoted, so that the service control manager does not take the part
        # before the blank for the program; the service did start from it.
        path = harness.unhex(service_config(name)["path"])
        self.assertEqual(path, b'"' + harness.winpath(sandbox.exe).encode() + b'"')


class ProbeTest(RegistrationTestCase):
    def test_registration_replaces_auto_and_desktop(self):
        name = self.registered(2, 0x110)
        code, boxes = self.box.run("/install /name=%s /exe=%s" % (name, PROGRAM),
                                   answers=[(ERROR_CAPTION, "ok")], timeout=QUIET_TIMEOUT_S)
        self.assertBox(boxes[0], 11, ERROR_CAPTION)
        self.assertEqual(code, 3)
        self.assertSaved(auto=1, desktop=1)
        name = self.registered(3, 0x10)
        self.assertEqual(self.quiet("/install /name=%s /exe=%s /auto /desktop /no_error"
                                    % (name, PROGRAM)), 3)
        self.assertSaved(auto=0, desktop=0)

    def test_disabled_start_type_leaves_auto(self):
        name = self.registered(4, 0x110)
        self.assertEqual(self.quiet("/install /name=%s /exe=%s /auto /no_error"
                                    % (name, PROGRAM)), 3)
        self.assertSaved(auto=1, desktop=1)
        self.assertEqual(self.quiet("/install /name=%s /exe=%s /no_error" % (name, PROGRAM)), 3)
        self.assertSaved(auto=0, desktop=1)

    def test_start_from_own_folder_stops_the_service(self):
        name = self.running()
        self.assertEqual(self.quiet("/install /name=%s /exe=%s /no_error"
                                    % (name, harness.LONG_RUNNER)), 3)
        # Stopped before the road was taken, and not started again.
        self.assertEqual(harness.service_status(name)["state"], harness.SERVICE_STOPPED)


class OtherFolderTest(RegistrationTestCase):
    def test_plain_start_probes_nothing(self):
        name = self.running()
        pid = harness.service_status(name)["pid"]
        # The same executable started by hand elsewhere finds its service's
        # host running and ends at once.
        self.assertEqual(self.quiet("", cwd=harness.WORK), 0)
        # A copy with no host of its own takes the service road and ends
        # when the dispatcher cannot connect.
        idle = Sandbox()
        self.addCleanup(idle.cleanup)
        self.assertEqual(self.quiet("/ok /question", idle, cwd=harness.WORK), 0)
        status = harness.service_status(name)
        self.assertEqual((status["state"], status["pid"]), (harness.SERVICE_RUNNING, pid))

    def test_install_and_uninstall_work_from_another_folder(self):
        name = self.running()
        # The whole probe runs: the running service of that name is stopped.
        self.assertEqual(self.quiet("/install /name=%s /exe=%s /no_error"
                                    % (name, harness.LONG_RUNNER), cwd=harness.WORK), 3)
        self.assertEqual(harness.service_status(name)["state"], harness.SERVICE_STOPPED)
        other = self.box.service(unique_name())
        self.assertEqual(self.quiet("/install /name=%s /exe=%s" % (other, PROGRAM),
                                    cwd=harness.WORK), 0)
        self.assertEqual(harness.unhex(service_config(other)["path"]),
                         harness.winpath(self.box.exe).encode())
        self.assertIn(b"name=" + other.encode(), self.box.read_ini())
        self.assertEqual(self.quiet("/uninstall /name=%s" % other, cwd=harness.WORK), 0)
        self.assertFalse(is_registered(other))


if __name__ == "__main__":
    harness.main()
