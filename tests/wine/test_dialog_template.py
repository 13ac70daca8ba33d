"""Dialog 101 as it is stored in the built tavi.exe: the classic template
with its style, size, title, font and the twenty controls in tab order."""
import os
import struct
import unittest

from peres import RT_DIALOG, resources

LANG_JAPANESE = 0x0411
DS_SETFONT = 0x40
CLASS_ORDINALS = {0x80: "BUTTON", 0x81: "EDIT", 0x82: "STATIC", 0x83: "LISTBOX",
                  0x84: "SCROLLBAR", 0x85: "COMBOBOX"}

LABEL, EDIT, PUSH, DEFAULT = 0x50020000, 0x50810080, 0x50010000, 0x50010001
CHECK, LIST, GROUP = 0x50010003, 0x50210003, 0x50000007
NONE = 0xFFFF

CONTROLS = [
    (NONE, "STATIC", LABEL, "ファイル(&F)", (8, 12, 51, 8)),
    (1000, "EDIT", EDIT, "", (8, 21, 155, 13)),
    (1001, "BUTTON", PUSH, "参照...", (168, 20, 34, 14)),
    (NONE, "STATIC", LABEL, "起動時オプション(&O)", (8, 38, 65, 8)),
    (1002, "EDIT", EDIT, "", (8, 47, 155, 13)),
    (NONE, "STATIC", LABEL, "名前(&N)", (8, 81, 106, 8)),
    (1005, "EDIT", EDIT, "", (8, 90, 195, 13)),
    (NONE, "STATIC", LABEL, "説明(&D)", (8, 107, 24, 8)),
    (1012, "EDIT", EDIT, "", (8, 117, 195, 14)),
    (1010, "BUTTON", CHECK, "自動起動(&A)", (8, 135, 53, 10)),
    (1011, "BUTTON", CHECK, "デスクトップとの対話を許可(&K)", (68, 135, 105, 10)),
    (NONE, "STATIC", LABEL, "終了方法(&E)", (9, 165, 40, 8)),
    (1003, "COMBOBOX", LIST, "", (8, 176, 134, 57)),
    (1013, "BUTTON", CHECK, "シャットダウン以外でプログラムが終了したら再起動(&R)", (8, 194, 174, 10)),
    (1004, "BUTTON", PUSH, "テスト起動(&T)", (3, 215, 50, 14)),
    (1, "BUTTON", DEFAULT, "OK", (101, 215, 50, 14)),
    (2, "BUTTON", PUSH, "キャンセル", (156, 215, 50, 14)),
    (NONE, "BUTTON", GROUP, "プログラム", (2, 2, 205, 66)),
    (NONE, "BUTTON", GROUP, "サービス", (2, 71, 205, 80)),
    (NONE, "BUTTON", GROUP, "起動・終了", (2, 154, 205, 56)),
]


class Reader:
    """Reads a DLGTEMPLATE and its DLGITEMTEMPLATEs in order."""

    def __init__(self, data):
        self.data = data
        self.at = 0

    def take(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.at)
        self.at += struct.calcsize("<" + fmt)
        return values

    def text(self):
        end = self.at
        while self.data[end:end + 2] != b"\0\0":
            end += 2
        value = self.data[self.at:end].decode("utf-16-le")
        self.at = end + 2
        return value

    def name_or_ordinal(self):
        """A string, an ordinal (int), or None for the empty 0x0000 form."""
        first = self.take("H")[0]
        if first == 0:
            return None
        if first == 0xFFFF:
            return self.take("H")[0]
        self.at -= 2
        return self.text()

    def align(self):
        self.at = (self.at + 3) & ~3


def parse(data):
    reader = Reader(data)
    style, exstyle, count, x, y, cx, cy = reader.take("IIHhhhh")
    dialog = {"style": style, "exstyle": exstyle, "count": count, "rect": (x, y, cx, cy),
              "menu": reader.name_or_ordinal(), "class": reader.name_or_ordinal(),
              "title": reader.text(), "items": []}
    if style & DS_SETFONT:
        dialog["point_size"] = reader.take("H")[0]
        dialog["font"] = reader.text()
    for _ in range(count):
        reader.align()
        item_style, item_exstyle, ix, iy, icx, icy, item_id = reader.take("IIhhhhH")
        item_class = reader.name_or_ordinal()
        if isinstance(item_class, int):
            item_class = CLASS_ORDINALS.get(item_class, item_class)
        else:
            item_class = item_class.upper()
        title = reader.name_or_ordinal()
        extra = reader.take("H")[0]
        reader.at += extra
        dialog["items"].append({"id": item_id, "class": item_class, "style": item_style,
                                "exstyle": item_exstyle, "text": title or "",
                                "rect": (ix, iy, icx, icy)})
    return dialog


class DialogTemplateTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        found = resources(os.environ["TAVI_EXE"])
        cls.dialogs = {k: v for k, v in found.items() if k[0] == RT_DIALOG and k[1] == 101}

    def test_dialog_101_is_one_japanese_classic_template(self):
        self.assertEqual(list(self.dialogs), [(RT_DIALOG, 101, LANG_JAPANESE)])
        data = self.dialogs[(RT_DIALOG, 101, LANG_JAPANESE)]
        # DLGTEMPLATEEX starts with version 1 and signature 0xFFFF.
        self.assertNotEqual(struct.unpack_from("<HH", data), (1, 0xFFFF))

    def test_dialog_frame_title_and_font(self):
        dialog = parse(self.dialogs[(RT_DIALOG, 101, LANG_JAPANESE)])
        self.assertEqual(hex(dialog["style"]), hex(0x80C80840))
        self.assertEqual(dialog["exstyle"], 0)
        self.assertEqual(dialog["count"], 20)
        self.assertEqual(dialog["rect"], (0, 0, 210, 233))
        self.assertIsNone(dialog["menu"])
        self.assertIsNone(dialog["class"])
        self.assertEqual(dialog["title"], "tavi 起動プログラム設定")
        self.assertEqual(dialog["point_size"], 9)
        self.assertEqual(dialog["font"], "ＭＳ Ｐゴシック")

    def test_controls_in_tab_order(self):
        items = parse(self.dialogs[(RT_DIALOG, 101, LANG_JAPANESE)])["items"]
        self.assertEqual(len(items), len(CONTROLS))
        for index, (item, expected) in enumerate(zip(items, CONTROLS)):
            control_id, control_class, style, text, rect = expected
            with self.subTest(control=index + 1, text=text):
                self.assertEqual(item["id"], control_id)
                self.assertEqual(item["class"], control_class)
                self.assertEqual(hex(item["style"]), hex(style))
                self.assertEqual(item["exstyle"], 0)
                self.assertEqual(item["text"], text)
                self.assertEqual(item["rect"], rect)


if __name__ == "__main__":
    unittest.main(verbosity=2)
