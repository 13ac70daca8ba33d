"""Reads the resources of a PE file (i686 or x86_64) without running it.

resources(path) walks the resource directory of the file and returns every
leaf as {(type, id, language): bytes}; type and id are integers, or strings
for named entries. version_info() and icon_group() take apart the two
resource formats the tests look into. Only what the tests need: no
relocations, no imports, no validation beyond what a wrong offset would
break anyway.
"""
import struct

RT_ICON = 3
RT_DIALOG = 5
RT_STRING = 6
RT_GROUP_ICON = 14
RT_VERSION = 16
RT_MANIFEST = 24

_RESOURCE_DIRECTORY = 2


def _sections(data):
    """Resource directory address and size, and each section's
    (virtual size, virtual address, raw size, raw offset)."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    count, optional_size = struct.unpack_from("<2xH12xH", data, pe + 4)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + {0x10B: 96, 0x20B: 112}[magic]
    rva, size = struct.unpack_from("<II", data, directories + 8 * _RESOURCE_DIRECTORY)
    table = optional + optional_size
    sections = [struct.unpack_from("<8xIIII", data, table + 40 * i) for i in range(count)]
    return rva, size, sections


def _file_offset(sections, rva):
    for virtual_size, address, raw_size, raw in sections:
        if address <= rva < address + max(virtual_size, raw_size):
            return raw + rva - address
    raise ValueError("address %#x is in no section" % rva)


def resources(path):
    """Every resource of the file: {(type, id, language): bytes}."""
    with open(path, "rb") as f:
        data = f.read()
    rva, size, sections = _sections(data)
    if rva == 0 or size == 0:
        return {}
    base = _file_offset(sections, rva)

    def key(name):
        if name & 0x80000000:
            at = base + (name & 0x7FFFFFFF)
            length = struct.unpack_from("<H", data, at)[0]
            return data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
        return name

    def entries(offset):
        named, numbered = struct.unpack_from("<12xHH", data, base + offset)
        for i in range(named + numbered):
            yield struct.unpack_from("<II", data, base + offset + 16 + 8 * i)

    found = {}
    for type_name, type_at in entries(0):
        for id_name, id_at in entries(type_at & 0x7FFFFFFF):
            for lang, leaf in entries(id_at & 0x7FFFFFFF):
                data_rva, data_size = struct.unpack_from("<II", data, base + leaf)
                start = _file_offset(sections, data_rva)
                found[(key(type_name), key(id_name), lang)] = data[start:start + data_size]
    return found


def _block(data, offset):
    """One node of a version block: (key, type, value bytes, children, end)."""
    length, value_length, kind = struct.unpack_from("<HHH", data, offset)
    end = offset + length
    at = offset + 6
    key_end = at
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[at:key_end].decode("utf-16-le")
    at = (key_end + 2 + 3) & ~3
    # Text values count their length in UTF-16 units, binary ones in bytes.
    value_size = value_length * 2 if kind == 1 else value_length
    value = data[at:at + value_size]
    at = (at + value_size + 3) & ~3
    children = []
    while at < end:
        child = _block(data, at)
        children.append(child)
        at = (child[4] + 3) & ~3
    return key, kind, value, children, end


def version_info(data):
    """A VS_VERSIONINFO resource as a dict.

    fixed: the thirteen 32-bit fields of VS_FIXEDFILEINFO, by name;
    strings: {language block: {key: text}}; translation: [(language, code page)].
    """
    key, _, value, children, _ = _block(data, 0)
    if key != "VS_VERSION_INFO":
        raise ValueError("not a version block: %r" % key)
    names = ("signature", "struc_version", "file_ms", "file_ls", "product_ms", "product_ls",
             "flags_mask", "flags", "os", "type", "subtype", "date_ms", "date_ls")
    result = {"fixed": dict(zip(names, struct.unpack("<13I", value))),
              "strings": {}, "translation": []}
    for child_key, _, _, grandchildren, _ in children:
        if child_key == "StringFileInfo":
            for table_key, _, _, pairs, _ in grandchildren:
                result["strings"][table_key] = {
                    name: text.decode("utf-16-le").rstrip("\0")
                    for name, _, text, _, _ in pairs}
        elif child_key == "VarFileInfo":
            for var_key, _, var_value, _, _ in grandchildren:
                if var_key == "Translation":
                    result["translation"] += [struct.unpack_from("<HH", var_value, i)
                                              for i in range(0, len(var_value), 4)]
    return result


def icon_group(data):
    """A GRPICONDIR resource as a list of dicts, one per image."""
    _, kind, count = struct.unpack_from("<HHH", data, 0)
    if kind != 1:
        raise ValueError("not an icon group")
    images = []
    for i in range(count):
        width, height, colours, _, planes, bits, size, icon_id = struct.unpack_from(
            "<BBBBHHIH", data, 6 + 14 * i)
        images.append({"width": width or 256, "height": height or 256, "colours": colours,
                       "planes": planes, "bits": bits, "size": size, "id": icon_id})
    return images
