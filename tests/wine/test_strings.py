"""The resources tavi.exe carries: the message catalogue as the platform
loads it, and the version block, manifest, icon and languages as they lie
in the file (read with peres, without running anything).
"""
import os
import struct
import unittest
import xml.etree.ElementTree as ET

import harness
from catalogue import MESSAGES, text
import peres

LAST_ENTRY = 29
UNUSED_ENTRY = 8
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"


def load_strings(exe, mode):
    """Entries 1..LAST_ENTRY of exe's string table: {number: bytes or None}."""
    code, fields = harness.tool("strings", harness.winpath(exe), mode, 1, LAST_ENTRY)
    if code != 0:
        raise AssertionError("strings helper failed on %s: %r" % (exe, fields))
    return {int(k): None if v == "missing" else bytes.fromhex(v)
            for k, v in fields.items() if k.isdigit()}


def executables():
    """(label, path) of the tested build and, when it was built, the i686 release."""
    found = [("x64", harness.TAVI_EXE)]
    if harness.TAVI_X86_EXE and os.path.exists(harness.TAVI_X86_EXE):
        found.append(("x86", harness.TAVI_X86_EXE))
    return found


class StringTableTest(unittest.TestCase):
    def test_ansi_texts_are_the_catalogue_in_code_page_932(self):
        loaded = load_strings(harness.TAVI_EXE, "ansi")
        self.assertIsNone(loaded[UNUSED_ENTRY], "entry 8 must stay unused")
        for number in MESSAGES:
            with self.subTest(entry=number):
                self.assertEqual(loaded[number], text(number))

    def test_wide_texts_are_the_catalogue_in_both_executables(self):
        if len(executables()) < 2:
            self.skipTest("no i686 build at %r" % harness.TAVI_X86_EXE)
        for label, exe in executables():
            loaded = load_strings(exe, "wide")
            self.assertIsNone(loaded[UNUSED_ENTRY], "%s: entry 8 must stay unused" % label)
            for number, message in MESSAGES.items():
                with self.subTest(exe=label, entry=number):
                    self.assertEqual(loaded[number], message.encode("utf-16-le"))


class ResourceTest(unittest.TestCase):
    def each_exe(self):
        for label, exe in executables():
            with self.subTest(exe=label):
                yield label, peres.resources(exe)

    def test_every_resource_is_japanese(self):
        for _, found in self.each_exe():
            kinds = {(kind, number) for kind, number, _ in found}
            for kind, number in [(peres.RT_DIALOG, 101), (peres.RT_GROUP_ICON, 102),
                                 (peres.RT_VERSION, 1), (peres.RT_MANIFEST, 1)]:
                self.assertIn((kind, number), kinds)
            self.assertEqual({lang for _, _, lang in found}, {0x0411})

    def test_version_block(self):
        for _, found in self.each_exe():
            info = peres.version_info(found[(peres.RT_VERSION, 1, 0x0411)])
            fixed = info["fixed"]
            self.assertEqual(fixed["signature"], 0xFEEF04BD)
            # 0.0.1.0: the high word of each pair comes first.
            self.assertEqual((fixed["file_ms"], fixed["file_ls"]), (0, 0x00010000))
            self.assertEqual((fixed["product_ms"], fixed["product_ls"]), (0, 0x00010000))
            self.assertEqual((fixed["flags"], fixed["os"], fixed["type"]), (0, 0, 0))
            self.assertEqual(list(info["strings"]), ["041103a4"])
            strings = info["strings"]["041103a4"]
            for key in ("FileDescription", "InternalName", "ProductName"):
                self.assertEqual(strings.get(key), "tavi", key)
            self.assertEqual(strings.get("OriginalFilename"), "tavi.exe")
            self.assertEqual(strings.get("FileVersion"), "0.10")
            self.assertEqual(strings.get("ProductVersion"), "0.10")
            self.assertEqual(info["translation"], [(0x0411, 932)])

    def test_manifest(self):
        for label, found in self.each_exe():
            root = ET.fromstring(found[(peres.RT_MANIFEST, 1, 0x0411)])
            identity = root.find(ASM_V1 + "assemblyIdentity")
            self.assertEqual(identity.get("type"), "win32")
            self.assertEqual(identity.get("version"), "0.0.0.6")
            self.assertEqual(root.findtext(ASM_V1 + "description"), "tavi")
            controls = root.find("{0}dependency/{0}dependentAssembly/{0}assemblyIdentity"
                                 .format(ASM_V1))
            self.assertEqual(controls.get("name"), "Microsoft.Windows.Common-Controls")
            self.assertEqual(controls.get("version"), "6.0.0.0")
            self.assertEqual(controls.get("publicKeyToken"), "6595b64144ccf1df")
            self.assertEqual(controls.get("language"), "*")
            if label == "x86":
                self.assertEqual(identity.get("processorArchitecture"), "x86")
                self.assertEqual(controls.get("processorArchitecture"), "x86")
            level = root.find(".//{0}requestedExecutionLevel".format(ASM_V3))
            self.assertIsNotNone(level, "no requested execution level")
            self.assertEqual(level.get("level"), "requireAdministrator")

    def test_icon_is_one_32_pixel_16_colour_image(self):
        for _, found in self.each_exe():
            images = peres.icon_group(found[(peres.RT_GROUP_ICON, 102, 0x0411)])
            self.assertEqual(len(images), 1)
            image = images[0]
            self.assertEqual((image["width"], image["height"], image["colours"]), (32, 32, 16))
            bitmap = found[(peres.RT_ICON, image["id"], 0x0411)]
            self.assertEqual(len(bitmap), image["size"])
            # BITMAPINFOHEADER: width, doubled height (image and mask), 4 bits a pixel.
            header = struct.unpack_from("<IiiHH", bitmap, 0)
            self.assertEqual(header, (40, 32, 64, 1, 4))


if __name__ == "__main__":
    harness.main()
