"""Builds tavi.chm, the Japanese help, from README.ja.md: each "## " chapter is one page, so the
help and README.ja.md say the same. The pages, the contents and the index are written in
Shift_JIS (code page 932, language 0x411) and compiled with chmcmd (fp-utils).
    help.py VERSION OUT_DIR      writes OUT_DIR/tavi.chm (its sources in OUT_DIR/help/)"""

import html
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
HEAD = (
    '<html><head><meta http-equiv="Content-Type" content="text/html; charset=shift_jis">'
    "<title>%s</title><style>body{font-family:sans-serif;font-size:10pt}table{border-collapse:"
    "collapse}td,th{border:1px solid #999;padding:2px 6px}pre{background:#eee;padding:4px}"
    "</style></head><body>\n"
)


def chapters(text):
    """The chapters of README.ja.md as (title, lines), the lines before the first left out."""
    found = []
    for line in text.splitlines():
        if line.startswith("## "):
            found.append((line[3:].strip(), []))
        elif found:
            found[-1][1].append(line)
    return found


def inline(text):
    text = html.escape(text, quote=False)
    text = re.sub(r"`([^`]+)`", r"<code>\1</code>", text)
    text = re.sub(r"\*\*([^*]+)\*\*", r"<b>\1</b>", text)
    return re.sub(r"\[([^\]]+)\]\([^)]+\)", r"\1", text)


def cells(line):
    return [c.strip() for c in line.strip().strip("|").split("|")]


def body(lines):
    """The HTML of a chapter's Markdown: paragraphs, lists, tables, code blocks."""
    out, i = [], 0
    while i < len(lines):
        line = lines[i]
        if line.startswith("```"):
            end = lines.index("```", i + 1)
            out.append("<pre>%s</pre>" % html.escape("\n".join(lines[i + 1 : end])))
            i = end + 1
        elif line.startswith("|"):
            rows = []
            while i < len(lines) and lines[i].startswith("|"):
                rows.append(cells(lines[i]))
                i += 1
            head = "".join("<th>%s</th>" % inline(c) for c in rows[0])
            rest = "".join(
                "<tr>%s</tr>" % "".join("<td>%s</td>" % inline(c) for c in r) for r in rows[2:]
            )
            out.append("<table><tr>%s</tr>%s</table>" % (head, rest))
        elif line.lstrip().startswith("- "):
            items = []
            while i < len(lines) and lines[i].lstrip().startswith("- "):
                depth = (len(lines[i]) - len(lines[i].lstrip())) // 2
                items.append(
                    "<li%s>%s</li>"
                    % (
                        ' style="margin-left:%dem"' % (2 * depth) * (depth > 0),
                        inline(lines[i].lstrip()[2:]),
                    )
                )
                i += 1
            out.append("<ul>%s</ul>" % "".join(items))
        elif line.strip():
            paragraph = []
            while i < len(lines) and lines[i].strip() and not re.match(r"\s*(- |\||```)", lines[i]):
                paragraph.append(inline(lines[i]))
                i += 1
            out.append("<p>%s</p>" % "<br>".join(paragraph))
        else:
            i += 1
    return "\n".join(out)


def sitemap(entries):
    head = '<html><head><meta http-equiv="Content-Type" content="text/html; charset=shift_jis">'
    items = "".join(
        '<li><object type="text/sitemap"><param name="Name" value="%s">'
        '<param name="Local" value="%s"></object>\n' % (html.escape(name), page)
        for name, page in entries
    )
    return "%s</head><body><ul>\n%s</ul></body></html>\n" % (head, items)


def index_terms(lines):
    """The options and keys a chapter's tables define: the first cell's leading code."""
    terms = []
    for line in lines:
        match = re.match(r"\|\s*(?:\d+ )?`([^`]+)`", line)
        if match and match.group(1) not in terms:
            terms.append(match.group(1))
    return terms


def write(path, text):
    with open(path, "wb") as f:
        f.write(text.encode("cp932"))


def main(version, out):
    with open(os.path.join(ROOT, "README.ja.md"), encoding="utf-8") as f:
        found = chapters(f.read())
    folder = os.path.join(out, "help")
    os.makedirs(folder, exist_ok=True)
    pages, index = [], []
    for n, (title, lines) in enumerate(found, 1):
        page = "page%02d.html" % n
        text = body(lines)
        if n == 1:  # the version comes from the CMake project only
            text += "\n<p>このヘルプは tavi %s のものです。</p>" % html.escape(version)
        write(
            os.path.join(folder, page),
            HEAD % html.escape(title)
            + "<h1>%s</h1>\n%s\n</body></html>\n" % (html.escape(title), text),
        )
        pages.append((title, page))
        index += [(title, page)] + [(term, page) for term in index_terms(lines)]
    index = sorted(set(index), key=lambda e: (e[0].lower(), e[1]))
    write(os.path.join(folder, "tavi.hhc"), sitemap(pages))
    write(os.path.join(folder, "tavi.hhk"), sitemap(index))
    project = [
        "[OPTIONS]",
        "Compatibility=1.1 or later",
        "Compiled file=tavi.chm",
        "Contents file=tavi.hhc",
        "Index file=tavi.hhk",
        "Default topic=page01.html",
        "Display compile progress=No",
        "Language=0x411 Japanese",
        "Title=tavi %s ヘルプ" % version,
        "",
        "[FILES]",
    ] + [page for _, page in pages]
    write(os.path.join(folder, "tavi.hhp"), "\r\n".join(project) + "\r\n")
    # chmcmd writes a byte of its index from memory it never set: with the address space laid
    # out the same way each time (no randomisation, an empty environment) that byte is the same.
    command = ["setarch", "-R", "env", "-i", "PATH=/usr/bin:/bin", "chmcmd", "tavi.hhp"]
    run = subprocess.run(command, cwd=folder, capture_output=True, text=True)
    if run.returncode != 0 or not os.path.exists(os.path.join(folder, "tavi.chm")):
        sys.exit("chmcmd failed:\n" + run.stdout + run.stderr)
    with open(os.path.join(folder, "tavi.chm"), "rb") as f:
        data = bytearray(f.read())
    # The compile time, the milliseconds of the day, stands in the header and in #SYSTEM's entry
    # 10: both are set to 0, so that the file depends on its sources only. #SYSTEM lies in the
    # uncompressed section, whose place the header gives; chmls gives #SYSTEM's place in it.
    data[16:20] = bytes(4)
    listing = subprocess.run(["chmls", "-p", "list", "tavi.chm"], cwd=folder, capture_output=True)
    found = re.search(rb"^\s*0\s+(\d+)\s+(\d+)\s+/#SYSTEM$", listing.stdout, re.M)
    if not found:
        sys.exit("tavi.chm: no #SYSTEM")
    at = int.from_bytes(data[0x58:0x60], "little") + int(found.group(1)) + 4  # after its version
    end = at + int(found.group(2)) - 4
    while at + 4 <= end:
        code, size = (int.from_bytes(data[at + i : at + i + 2], "little") for i in (0, 2))
        if code == 10 and size == 4:
            data[at + 4 : at + 8] = bytes(4)
            break
        at += 4 + size
    else:
        sys.exit("tavi.chm: no compile time in #SYSTEM")
    with open(os.path.join(out, "tavi.chm"), "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
