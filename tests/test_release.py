"""scripts/release.sh in two fresh clones, in folders of different names, makes one zip; its sums
check, its name, the executables' version and the changelog name the CMake project's, and each
executable has the help beside it."""

import re
import subprocess
import tempfile
import unittest
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
FILES = ["tavi.exe", "tavi.chm", "x64/tavi.exe", "x64/tavi.chm", "README.md", "README.ja.md"]
FILES += ["LICENSE", "CHANGELOG.md", "SHA256SUMS"]


def resource(exe, key):  # a string of the version resource: UTF-16 key, padding, UTF-16 value
    found = re.search(re.escape(key.encode("utf-16-le")) + rb"(?:\0\0)+((?:[^\0]\0)+)\0\0", exe)
    return found and found[1].decode("utf-16-le")


class ReleaseTest(unittest.TestCase):
    def test_two_clones_make_one_zip(self):
        text = (ROOT / "CMakeLists.txt").read_text()
        version = re.search(r"^project\(tavi VERSION ([\d.]+) ", text, re.M)[1]
        with tempfile.TemporaryDirectory() as tmp:
            zips = []
            for folder in ["a", "a second/clone"]:
                clone = Path(tmp, folder)
                subprocess.run(["git", "clone", "-q", ROOT, clone], check=True)
                run = subprocess.run([clone / "scripts/release.sh"], capture_output=True, text=True)
                self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
                zips.append((clone / "dist" / ("tavi-%s.zip" % version)).read_bytes())
            self.assertEqual(zips[0], zips[1])
            with zipfile.ZipFile(Path(tmp, "a/dist/tavi-%s.zip" % version)) as z:
                self.assertEqual(z.namelist(), FILES)
                z.extractall(Path(tmp, "unpacked"))
            check = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=Path(tmp, "unpacked"))
            self.assertEqual(check.returncode, 0)
            sums = Path(tmp, "unpacked/SHA256SUMS").read_text().splitlines()
            self.assertEqual([line.split("  ")[1] for line in sums], FILES[:-1])
            changelog = Path(tmp, "unpacked/CHANGELOG.md").read_text()
            found = [re.search(r"^## \[([^\]]+)\]", changelog, re.M)[1]]
            helps = set()  # each executable's tavi.chm, beside it where its F1 looks
            for exe in [name for name in FILES if name.endswith(".exe")]:
                data = Path(tmp, "unpacked", exe).read_bytes()
                found += [resource(data, "FileVersion"), resource(data, "ProductVersion")]
                helps.add(Path(tmp, "unpacked", exe).with_name("tavi.chm").read_bytes())
            self.assertEqual(found, [version] * 5)
            self.assertEqual([h[:4] for h in helps], [b"ITSF"])  # one help, a compiled one


if __name__ == "__main__":
    unittest.main()
