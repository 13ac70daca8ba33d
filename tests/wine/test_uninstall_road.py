"""The command-line uninstall: the name, the confirmation, the deletion of
what the start-up probe found, and the exit code and message of each outcome.
"""
import harness
from catalogue import CAPTION, ERROR_CAPTION
from harness import TaviTestCase, is_registered, unique_name

YES, NO = 6, 7
QUIET_TIMEOUT_S = 30


class UninstallTestCase(TaviTestCase):
    def registered(self):
        """A service registered directly, not by tavi."""
        name = self.box.service(unique_name())
        harness.tool("scmtool", "create", name, r"C:\apps\other.exe", 3, 0x10)
        return name

    def running(self):
        """A service that this sandbox's tavi.exe hosts and that runs."""
        name = self.box.service(unique_name())
        code, _ = self.box.run("/install /name=%s /exe=%s /start" % (name, harness.LONG_RUNNER),
                               timeout=QUIET_TIMEOUT_S)
        self.assertEqual(code, 0)
        self.assertTrue(harness.wait_state(name, harness.SERVICE_RUNNING))
        return name


class UninstallRoadTest(UninstallTestCase):
    def test_missing_name(self):
        code, boxes = self.box.run("/uninstall", answers=[(ERROR_CAPTION, "ok")],
                                   timeout=QUIET_TIMEOUT_S)
        self.assertBox(boxes[0], 1, ERROR_CAPTION)
        self.assertEqual(code, 1)
        self.assertEqual(self.box.run("/uninstall /no_error", timeout=QUIET_TIMEOUT_S)[0], 1)

    def test_unknown_name(self):
        name = unique_name()
        code, boxes = self.box.run("/uninstall /name=%s" % name,
                                   answers=[(ERROR_CAPTION, "ok")], timeout=QUIET_TIMEOUT_S)
        self.assertBox(boxes[0], 6, ERROR_CAPTION, name)
        self.assertEqual(code, 3)
        self.assertEqual(self.box.run("/uninstall /name=%s /no_error" % name,
                                      timeout=QUIET_TIMEOUT_S)[0], 3)

    def test_ini_takes_the_name_from_the_settings_file(self):
        # Either option mark, in either letter case, asks the same.
        for tail in ["-uninstall -ini -ok -name=%s", "/UNINSTALL /INI /OK /NAME=%s"]:
            with self.subTest(tail=tail):
                name = self.registered()
                other = self.registered()
                self.box.write_ini("[tavi]\r\nname=%s\r\n" % name)
                code, boxes = self.box.run(tail % other, answers=[(CAPTION, "ok")],
                                           timeout=QUIET_TIMEOUT_S)
                self.assertBox(boxes[0], 18, CAPTION, name)
                self.assertEqual(code, 0)
                self.assertFalse(is_registered(name))
                self.assertTrue(is_registered(other), "the command line's name was used")

    def test_confirmed_deletion_of_a_running_service(self):
        name = self.running()
        code, boxes = self.box.run("/uninstall /name=%s /question /ok" % name,
                                   answers=[(CAPTION, "yes"), (CAPTION, "ok")],
                                   timeout=QUIET_TIMEOUT_S)
        self.assertBox(boxes[0], 15, CAPTION, name, buttons=(YES, NO))
        self.assertBox(boxes[1], 18, CAPTION, name)
        self.assertEqual(code, 0)
        self.assertTrue(harness.poll(lambda: not is_registered(name), timeout=10),
                        "the service is still registered")

    def test_declined_deletion_leaves_the_service_stopped(self):
        name = self.running()
        code, boxes = self.box.run("/uninstall /name=%s /question" % name,
                                   answers=[(CAPTION, "no")], timeout=QUIET_TIMEOUT_S)
        self.assertBox(boxes[0], 15, CAPTION, name, buttons=(YES, NO))
        self.assertEqual(code, 2)
        self.assertTrue(is_registered(name))
        # The start-up probe stopped it before asking; nobody starts it again.
        self.assertEqual(harness.service_status(name)["state"], harness.SERVICE_STOPPED)


if __name__ == "__main__":
    harness.main()
