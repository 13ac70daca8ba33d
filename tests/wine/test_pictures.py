"""Pictures of the configuration window in its two modes, taken from the X
display and written afresh as PNG files to the build directory's pictures
folder (config-unregistered.png, config-registered.png).

The dialog asks for the font "ＭＳ Ｐゴシック"; for the pictures Wine is told
to draw it with IPAPGothic (Debian's fonts-ipafont-gothic), a proportional
Japanese gothic of close metrics, through a font replacement that this module
sets in the prefix and removes again when it ends."""
import atexit
import os
import subprocess
import tempfile

import harness
from configwindow import IDC_END, Session, ini_bytes, unmanaged_windows
from harness import WORK, remove_service, run_windows, tool, winpath

PICTURES = os.path.join(os.path.dirname(os.path.abspath(WORK)), "pictures")
FONT_KEY = r"HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements"
DIALOG_FONT = "ＭＳ Ｐゴシック"
PICTURE_FONT = "IPAPGothic"
SERVICE = "ExampleService"


def regedit(text):
    """Imports a .reg text (written as UTF-16, so that Japanese names survive)."""
    fd, path = tempfile.mkstemp(dir=WORK, suffix=".reg")
    with os.fdopen(fd, "wb") as f:
        f.write(("Windows Registry Editor Version 5.00\r\n\r\n" + text).encode("utf-16"))
    try:
        run_windows("regedit", ["/S", winpath(path)])
    finally:
        os.remove(path)


def setUpModule():
    unmanaged_windows()
    if not subprocess.run(["fc-list", PICTURE_FONT], capture_output=True).stdout:
        return
    regedit('[%s]\r\n"%s"="%s"\r\n' % (FONT_KEY, DIALOG_FONT, PICTURE_FONT))
    atexit.register(regedit, '[%s]\r\n"%s"=-\r\n' % (FONT_KEY, DIALOG_FONT))


class PictureTest(harness.TaviTestCase):

    def settings(self, name):
        self.box.write_ini(ini_bytes([
            ("exe", r"C:\Program Files\Example\server.exe"), ("option", '"--port 8080"'),
            ("name", name), ("description", "サンプルのサーバーを常駐させます"),
            ("end", 2), ("auto", 1), ("desktop", 0), ("retry", 1), ("encode", 1)]))

    def take(self, file_name):
        """Opens the window, saves the picture of its rectangle, closes it."""
        session = Session(self.box, self)
        window = session.read()
        self.assertEqual(window[IDC_END].cursel, 2)
        left, top, right, bottom = window.rect
        os.makedirs(PICTURES, exist_ok=True)
        path = os.path.join(PICTURES, file_name)
        if os.path.exists(path):
            os.remove(path)
        subprocess.run(["import", "-window", "root", "-crop",
                        "%dx%d+%d+%d" % (right - left, bottom - top, left, top), "+repage", path],
                       check=True, env=dict(os.environ), timeout=60)
        session.click(2)
        session.closed()
        self.assertGreater(os.path.getsize(path), 1000)
        return path

    def setUp(self):
        super().setUp()
        # One left by an interrupted run would turn the first picture's mode.
        remove_service(SERVICE)
        self.settings(SERVICE)

    def test_unregistered_window(self):
        self.take("config-unregistered.png")

    def test_registered_window(self):
        self.box.service(SERVICE)
        code, fields = tool("scmtool", "create", SERVICE, winpath(self.box.exe), 2, 0x10)
        self.assertEqual(code, 0, fields)
        self.take("config-registered.png")


if __name__ == "__main__":
    harness.main()
