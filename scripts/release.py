"""Packs a release: the files of a tree built by release.sh, in a fixed order with fixed time
stamps and attributes, and SHA256SUMS of every other file, so that the same commit gives the
same zip.
    release.py VERSION TREE ZIP"""

import hashlib
import os
import re
import sys
import zipfile

# Name in the zip, file in the built tree. Each executable has the help beside it, where its F1
# looks for it.
FILES = [
    ("tavi.exe", "dist/x86/tavi.exe"),
    ("tavi.chm", "dist/x86/tavi.chm"),
    ("x64/tavi.exe", "dist/x64/tavi.exe"),
    ("x64/tavi.chm", "dist/x64/tavi.chm"),
    ("README.md", "README.md"),
    ("README.ja.md", "README.ja.md"),
    ("LICENSE", "LICENSE"),
    ("CHANGELOG.md", "CHANGELOG.md"),
]


def entry(name):
    info = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
    info.create_system, info.external_attr = 0, 0  # no owner, no Unix mode
    info.compress_type = zipfile.ZIP_DEFLATED
    return info


def main(version, tree, out):
    contents = []
    for name, path in FILES:
        with open(os.path.join(tree, path), "rb") as f:
            contents.append((name, f.read()))
    changelog = dict(contents)["CHANGELOG.md"].decode("utf-8")
    top = re.search(r"^## \[([^\]]+)\]", changelog, re.M)
    if not top or top.group(1) != version:
        sys.exit("CHANGELOG.md's latest version is not %s" % version)
    sums = "".join("%s  %s\n" % (hashlib.sha256(data).hexdigest(), n) for n, data in contents)
    contents.append(("SHA256SUMS", sums.encode("ascii")))
    partial = out + ".part"
    with zipfile.ZipFile(partial, "w") as z:
        for name, data in contents:
            z.writestr(entry(name), data, compresslevel=9)
    os.replace(partial, out)


if __name__ == "__main__":
    main(*sys.argv[1:4])
