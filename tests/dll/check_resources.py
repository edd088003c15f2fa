#!/usr/bin/python3
"""Checks the resources of the built plug-in library, read as a file.

    check_resources.py PATH/TO/Vantrel.dll

The two dialog templates are decoded field by field and compared with the layout the
converter dialog and the About box must have; the icon group, its image, the manifest,
the languages and the set of resource types are checked too.
"""
import struct
import sys
import unittest
import xml.etree.ElementTree as ElementTree

import pefile

DLL_PATH = None

# Window and control styles, as the Windows headers define them.
WS_POPUP = 0x80000000
WS_CHILD = 0x40000000
WS_VISIBLE = 0x10000000
WS_CAPTION = 0x00C00000
WS_BORDER = 0x00800000
WS_SYSMENU = 0x00080000
WS_GROUP = 0x00020000
WS_TABSTOP = 0x00010000
DS_SETFONT = 0x40
DS_MODALFRAME = 0x80
ES_AUTOHSCROLL = 0x80
BS_DEFPUSHBUTTON = 0x1
BS_GROUPBOX = 0x7
BS_AUTORADIOBUTTON = 0x9
BS_CENTER = 0x300
SS_LEFT = 0x0
SS_ICON = 0x3
SS_ETCHEDFRAME = 0x12
SS_CENTERIMAGE = 0x200

# Predefined window classes, stored in templates as ordinals.
BUTTON, EDIT, STATIC = 0x80, 0x81, 0x82
NO_ID = 0xFFFF  # a control without identifier (-1 in a 16-bit field)
IDOK, IDCANCEL = 1, 2

RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 14, 16, 24
LANG_EN_US = 1033

CHILD = WS_CHILD | WS_VISIBLE
FONT = (10, "ＭＳ Ｐゴシック")

# (class, id, text, (x, y, width, height), style), in tab order.
MAIN_DIALOG = {
    "style": DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU,
    "rect": (0, 0, 237, 151),
    "title": "Halcyon GRAM\uff70BMP変換ツール",
    "font": FONT,
    "controls": [
        (STATIC, NO_ID, "BMPファイル", (12, 9, 72, 8), CHILD | SS_LEFT),
        (EDIT, 201, "", (12, 19, 216, 12), CHILD | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL),
        (BUTTON, 101, "参照", (200, 5, 28, 14),
         CHILD | WS_TABSTOP | BS_DEFPUSHBUTTON | BS_CENTER),
        (BUTTON, 501, "動作", (8, 43, 124, 47), CHILD | WS_GROUP | BS_GROUPBOX),
        (BUTTON, 401, "GRAMからBMPファイル", (16, 56, 100, 12),
         CHILD | WS_GROUP | WS_TABSTOP | BS_AUTORADIOBUTTON),
        (BUTTON, 402, "BMPファイルからGRAM", (16, 69, 96, 12),
         CHILD | WS_TABSTOP | BS_AUTORADIOBUTTON),
        (BUTTON, 502, "解像度", (136, 43, 92, 47), CHILD | WS_GROUP | BS_GROUPBOX),
        (BUTTON, 403, "320x200", (148, 56, 60, 12), CHILD | WS_TABSTOP | BS_AUTORADIOBUTTON),
        (BUTTON, 404, "640x200", (148, 68, 60, 12), CHILD | WS_TABSTOP | BS_AUTORADIOBUTTON),
        (STATIC, NO_ID, "Frame1", (8, 100, 224, 1), CHILD | SS_ETCHEDFRAME),
        (BUTTON, 102, "実行", (12, 108, 148, 26),
         CHILD | WS_TABSTOP | BS_DEFPUSHBUTTON | BS_CENTER),
        (BUTTON, 103, "About...", (180, 108, 46, 14),
         CHILD | WS_TABSTOP | BS_DEFPUSHBUTTON | BS_CENTER),
        (BUTTON, IDCANCEL, "終了", (180, 127, 46, 14), CHILD | WS_TABSTOP),
    ],
}

ABOUT_BOX = {
    "style": DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION,
    "rect": (0, 0, 130, 90),
    "title": "About      ",
    "font": FONT,
    "controls": [
        (STATIC, NO_ID, "Ver 1.0(20170117)", (8, 39, 80, 10), CHILD | WS_GROUP | SS_LEFT),
        (BUTTON, IDOK, "OK", (40, 65, 48, 15),
         CHILD | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON),
        (STATIC, NO_ID, "MAINICON", (4, 9, 18, 20), CHILD | SS_ICON | SS_CENTERIMAGE),
        (STATIC, NO_ID, "Halcyon GRAM-BMP変換ツール", (32, 13, 84, 17),
         CHILD | WS_GROUP | SS_LEFT),
    ],
}


class Reader:
    """Reads the little-endian fields of a plain (not extended) dialog template."""

    def __init__(self, data):
        self.data = data
        self.pos = 0

    def take(self, fmt):
        size = struct.calcsize(fmt)
        if self.pos + size > len(self.data):
            raise ValueError(f"template ends inside a field at byte {self.pos}")
        values = struct.unpack_from(fmt, self.data, self.pos)
        self.pos += size
        return values if len(values) > 1 else values[0]

    def text(self):
        end = self.pos
        while True:
            if end + 2 > len(self.data):
                raise ValueError("unterminated UTF-16 text")
            if self.data[end:end + 2] == b"\0\0":
                break
            end += 2
        value = self.data[self.pos:end].decode("utf-16-le")
        self.pos = end + 2
        return value

    def name_or_ordinal(self):
        """None for an empty field, an int for an ordinal, else the UTF-16 text."""
        first = struct.unpack_from("<H", self.data, self.pos)[0]
        if first == 0:
            self.pos += 2
            return None
        if first == 0xFFFF:
            self.pos += 2
            return self.take("<H")
        return self.text()

    def align(self):
        self.pos = (self.pos + 3) & ~3


def parse_dialog(data):
    if data[:4] == b"\x01\x00\xff\xff":
        raise ValueError("an extended template, not a plain one")
    r = Reader(data)
    style, ex_style, count = r.take("<IIH")
    dialog = {
        "style": style,
        "ex_style": ex_style,
        "rect": r.take("<hhhh"),
        "menu": r.name_or_ordinal(),
        "class": r.name_or_ordinal(),
        "title": r.text(),
        "font": None,
        "controls": [],
    }
    if style & DS_SETFONT:
        size = r.take("<H")
        dialog["font"] = (size, r.text())
    for _ in range(count):
        r.align()
        c_style, c_ex_style = r.take("<II")
        rect = r.take("<hhhh")
        control_id = r.take("<H")
        dialog["controls"].append({
            "style": c_style,
            "ex_style": c_ex_style,
            "rect": rect,
            "id": control_id,
            "class": r.name_or_ordinal(),
            "text": r.name_or_ordinal(),
            "extra": r.take("<H"),
        })
    dialog["trailing"] = len(data) - r.pos
    return dialog


class ResourceFile:
    """The resource tree of the library as {type: {name or id: {language: bytes}}}."""

    def __init__(self, path):
        self.pe = pefile.PE(path, fast_load=True)
        self.pe.parse_data_directories(
            directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
        self.tree = {}
        root = getattr(self.pe, "DIRECTORY_ENTRY_RESOURCE", None)
        if root is None:
            return
        for type_entry in root.entries:
            key = type_entry.id if type_entry.name is None else str(type_entry.name)
            names = self.tree.setdefault(key, {})
            for name_entry in type_entry.directory.entries:
                name = name_entry.id if name_entry.name is None else str(name_entry.name)
                langs = names.setdefault(name, {})
                for lang_entry in name_entry.directory.entries:
                    entry = lang_entry.data.struct
                    langs[lang_entry.id] = self.pe.get_data(entry.OffsetToData, entry.Size)

    def find(self, res_type, name):
        """The only language's data of a resource; names match without regard to case."""
        for key, langs in self.tree.get(res_type, {}).items():
            same = key == name if isinstance(name, int) else (
                isinstance(key, str) and key.upper() == name.upper())
            if same:
                if len(langs) != 1:
                    raise AssertionError(f"{name}: {len(langs)} languages, want one")
                return next(iter(langs.values()))
        raise AssertionError(f"resource {name!r} of type {res_type} is missing")


RESOURCES = None


def resources():
    global RESOURCES
    if RESOURCES is None:
        RESOURCES = ResourceFile(DLL_PATH)
    return RESOURCES


def styles(value):
    return f"0x{value:08X}"


class DialogTemplates(unittest.TestCase):
    def check_dialog(self, name, want):
        got = parse_dialog(resources().find(RT_DIALOG, name))
        self.assertEqual(styles(got["style"]), styles(want["style"]), f"{name} style")
        self.assertEqual(got["ex_style"], 0, f"{name} extended style")
        self.assertEqual(got["rect"], want["rect"], f"{name} position and size")
        self.assertIsNone(got["menu"], f"{name} menu")
        self.assertIsNone(got["class"], f"{name} window class")
        self.assertEqual(got["title"], want["title"], f"{name} title")
        self.assertEqual(got["font"], want["font"], f"{name} font")
        self.assertEqual(len(got["controls"]), len(want["controls"]), f"{name} control count")
        for i, (control, expected) in enumerate(zip(got["controls"], want["controls"])):
            cls, control_id, text, rect, style = expected
            where = f"{name} control {i + 1} ({text!r})"
            self.assertEqual(control["class"], cls, f"{where}: class")
            self.assertEqual(control["id"], control_id, f"{where}: id")
            self.assertEqual(control["text"] or "", text, f"{where}: text")
            self.assertEqual(control["rect"], rect, f"{where}: position")
            self.assertEqual(styles(control["style"]), styles(style), f"{where}: style")
            self.assertEqual(control["ex_style"], 0, f"{where}: extended style")
            self.assertEqual(control["extra"], 0, f"{where}: creation data")
        self.assertLess(got["trailing"], 4, f"{name}: bytes after the last control")

    def test_main_dialog_matches_its_table(self):
        self.check_dialog("MainDialog", MAIN_DIALOG)

    def test_about_box_matches_its_table(self):
        self.check_dialog("AboutBox", ABOUT_BOX)

    def test_title_uses_the_half_width_prolonged_sound_mark(self):
        title = parse_dialog(resources().find(RT_DIALOG, "MainDialog"))["title"]
        # Not a hyphen, nor the full-width mark U+30FC (which "ツール" does use).
        self.assertEqual(title[len("Halcyon GRAM"):len("Halcyon GRAMx")], "\uff70")
        self.assertNotIn("-", title)


class IconAndManifest(unittest.TestCase):
    def test_icon_group_holds_one_32x32_16_colour_image_number_1(self):
        group = resources().find(RT_GROUP_ICON, "MAINICON")
        reserved, kind, count = struct.unpack_from("<HHH", group, 0)
        self.assertEqual((reserved, kind, count), (0, 1, 1))
        self.assertEqual(len(group), 6 + 14)
        width, height, colours, _, planes, bits, size, number = struct.unpack_from(
            "<BBBBHHIH", group, 6)
        self.assertEqual((width, height, colours, planes, bits, number), (32, 32, 16, 1, 4, 1))

        image = resources().find(RT_ICON, 1)
        self.assertEqual(len(image), size)
        header = struct.unpack_from("<IiiHHI", image, 0)
        # Height counts the colour image and its transparency mask.
        self.assertEqual(header, (40, 32, 64, 1, 4, 0))
        self.assertEqual(len(image), 40 + 16 * 4 + 32 * 16 + 32 * 4)
        pixels = image[40 + 64:40 + 64 + 512]
        self.assertGreater(len(set(pixels)), 2, "the icon shows a picture, not a flat fill")

    def test_manifest_asks_for_invoker_rights_without_ui_access(self):
        manifest = resources().find(RT_MANIFEST, 2)
        root = ElementTree.fromstring(manifest)
        levels = [e for e in root.iter() if e.tag.endswith("requestedExecutionLevel")]
        self.assertEqual(len(levels), 1)
        self.assertEqual(levels[0].get("level"), "asInvoker")
        self.assertEqual(levels[0].get("uiAccess"), "false")


class ResourceTable(unittest.TestCase):
    def test_only_the_expected_resources_exist(self):
        tree = resources().tree
        self.assertEqual(sorted(tree), sorted([RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_MANIFEST]))
        self.assertNotIn(RT_VERSION, tree)
        names = {t: sorted(str(n).upper() for n in tree[t]) for t in tree}
        self.assertEqual(names[RT_DIALOG], ["ABOUTBOX", "MAINDIALOG"])
        self.assertEqual(names[RT_GROUP_ICON], ["MAINICON"])
        self.assertEqual(names[RT_ICON], ["1"])
        self.assertEqual(names[RT_MANIFEST], ["2"])

    def test_every_resource_is_us_english(self):
        for res_type, entries in resources().tree.items():
            for name, langs in entries.items():
                self.assertEqual(list(langs), [LANG_EN_US], f"type {res_type}, {name}")


class TemplateReader(unittest.TestCase):
    """The decoder itself, on a hand-made template, so a comparison above cannot pass by
    reading the wrong bytes."""

    def test_reads_a_small_template(self):
        def text(s):
            return s.encode("utf-16-le") + b"\0\0"

        data = struct.pack("<IIHhhhh", DS_SETFONT | WS_POPUP, 0, 1, 1, 2, 30, 40)
        data += b"\0\0" + b"\0\0" + text("T") + struct.pack("<H", 9) + text("F")
        data += b"\0" * (-len(data) % 4)
        data += struct.pack("<IIhhhhH", CHILD, 0, 5, 6, 7, 8, 77)
        data += b"\xff\xff" + struct.pack("<H", BUTTON) + text("Go") + b"\0\0"
        got = parse_dialog(data)
        self.assertEqual(got["title"], "T")
        self.assertEqual(got["font"], (9, "F"))
        self.assertEqual(got["rect"], (1, 2, 30, 40))
        control = got["controls"][0]
        self.assertEqual((control["class"], control["id"], control["text"], control["rect"]),
                         (BUTTON, 77, "Go", (5, 6, 7, 8)))
        self.assertEqual(got["trailing"], 0)

    def test_a_cut_template_is_an_error(self):
        data = struct.pack("<IIHhhhh", WS_POPUP, 0, 1, 0, 0, 10, 10) + b"\0\0\0\0A\0\0\0"
        with self.assertRaises(ValueError):
            parse_dialog(data)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: check_resources.py PATH/TO/Vantrel.dll")
    DLL_PATH = sys.argv.pop(1)
    unittest.main(verbosity=2)
