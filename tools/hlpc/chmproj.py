#!/usr/bin/env python3
"""chmproj: writes the HTML Help project of the help source (the one hlpc.py compiles into
QXLAUNCH.HLP) for chmcmd: one Shift_JIS page per topic with the same title, paragraphs and
jumps, the contents file (the contents topic and the topics its list names) and the project
file; then, given the compiled file, clears the two clock readings chmcmd writes into it, so
that the same source gives the same file.

Usage: chmproj.py SOURCE FOLDER      (writes FOLDER/QXLAUNCH.hhp and what it names)
       chmproj.py --clear-clock CHM  (after chmcmd)
"""
import struct
import sys

import hlpc

PROJECT = "QXLAUNCH"
JAPANESE = 0x411
PAGE = """<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01//EN">
<html lang="ja">
<head>
<meta http-equiv="Content-Type" content="text/html; charset=Shift_JIS">
<title>{title}</title>
<style type="text/css">
body {{ font-family: "{font}", sans-serif; font-size: 10pt; }}
h1 {{ font-size: 12pt; margin: 0 0 6pt 0; }}
p {{ margin: 3pt 0 0 0; }}
p.item {{ margin-top: 2pt; padding-left: 10pt; text-indent: -10pt; }}
</style>
</head>
<body>
{body}
</body>
</html>
"""


def escape(text):
    return (text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            .replace('"', "&quot;"))


def page_name(topic_name):
    return topic_name + ".htm"


# A paragraph as the HLP shows it: its text with each [TEXT](NAME) a jump to NAME's page. A
# list item keeps its "・" as text, as there; only its indent differs.
def paragraph(text):
    out, pos = "", 0
    for match in hlpc.LINK.finditer(text):
        out += escape(text[pos:match.start()])
        out += f'<a href="{page_name(match.group(2))}">{escape(match.group(1))}</a>'
        pos = match.end()
    css = ' class="item"' if text.startswith("・") else ""
    return f"<p{css}>{out}{escape(text[pos:])}</p>"


def page(source, topic, path):
    body = [f"<h1>{escape(topic.title)}</h1>"] + [paragraph(text) for _, text in topic.paragraphs]
    html = PAGE.format(title=escape(topic.title), font=escape(source.font), body="\n".join(body))
    return hlpc.sjis(html, f"{path}:{topic.line}")


def entry(name, local):
    return (f'<li><object type="text/sitemap"><param name="Name" value="{escape(name)}">'
            f'<param name="Local" value="{local}"></object>\n')


# The tree is the contents topic: its own entry first, then one entry for each jump in its
# paragraphs, named as the jump reads, in the topic's order.
def contents_file(source, path):
    topics = {topic.name: topic for topic in source.topics}
    contents = topics[source.contents]
    items = [entry(contents.title, page_name(contents.name))]
    for _, text in contents.paragraphs:
        items += [entry(name, page_name(target)) for name, target in hlpc.LINK.findall(text)]
    html = ('<!DOCTYPE HTML PUBLIC "-//IETF//DTD HTML//EN">\n<html>\n<head>\n'
            '<meta http-equiv="Content-Type" content="text/html; charset=Shift_JIS">\n'
            '</head>\n<body>\n<ul>\n' + "".join(items) + "</ul>\n</body>\n</html>\n")
    return hlpc.sjis(html, f"{path}: the contents")


def project_file(source):
    options = [
        "Binary TOC=No",
        "Compatibility=1.1 or later",
        f"Compiled file={PROJECT}.CHM",
        f"Contents file={PROJECT}.hhc",
        f"Default topic={page_name(source.contents)}",
        "Display compile progress=No",
        "Full-text search=No",  # chmcmd's index does not cut Japanese into words
        f"Language={JAPANESE:#x} Japanese",
        f"Title={source.title}",
    ]
    files = [page_name(topic.name) for topic in source.topics]
    text = "[OPTIONS]\r\n" + "".join(o + "\r\n" for o in options)
    text += "\r\n[FILES]\r\n" + "".join(f + "\r\n" for f in files)
    return hlpc.sjis(text, "@title")


def write_project(source_path, folder):
    source = hlpc.parse(source_path)
    files = {f"{PROJECT}.hhp": project_file(source),
             f"{PROJECT}.hhc": contents_file(source, source_path)}
    for topic in source.topics:
        files[page_name(topic.name)] = page(source, topic, source_path)
    for name, data in files.items():
        with open(f"{folder}/{name}", "wb") as out:
            out.write(data)


# chmcmd stamps the file twice with its clock's milliseconds of the day: the header at byte 16
# (big-endian) and the #SYSTEM file's record 10. Both become 0, midnight. #SYSTEM lies in the
# uncompressed section 0; its place comes from the directory's listing chunks (PMGL), whose
# entries are an encoded name length, the name, then the section, offset and length, each an
# encoded integer (7 bits a byte, high bit set on all but the last byte).
def clear_clock(chm_path):
    with open(chm_path, "rb") as f:
        data = bytearray(f.read())
    if data[:4] != b"ITSF" or struct.unpack_from("<I", data, 20)[0] != JAPANESE:
        raise hlpc.HelpError(f"{chm_path}: not a compiled help file in Japanese")
    directory = struct.unpack_from("<Q", data, 0x48)[0]
    content = struct.unpack_from("<Q", data, 0x58)[0]
    chunk_size = struct.unpack_from("<I", data, directory + 0x10)[0]
    chunks = struct.unpack_from("<I", data, directory + 0x2C)[0]
    found = None
    for chunk in range(chunks):
        at = directory + 0x54 + chunk * chunk_size
        if data[at:at + 4] != b"PMGL":
            continue
        end, p = at + chunk_size - struct.unpack_from("<I", data, at + 4)[0], at + 20
        while p < end:
            length, p = encint(data, p)
            name, p = bytes(data[p:p + length]), p + length
            values = []
            for _ in range(3):
                value, p = encint(data, p)
                values.append(value)
            if name == b"/#SYSTEM":
                found = values
    if not found or found[0] != 0:
        raise hlpc.HelpError(f"{chm_path}: no #SYSTEM file in section 0")
    start, size = content + found[1], found[2]
    p, stamped = start + 4, False  # past the version
    while p + 4 <= start + size:
        code, length = struct.unpack_from("<HH", data, p)
        if code == 10 and length == 4:
            struct.pack_into("<I", data, p + 4, 0)
            stamped = True
        p += 4 + length
    if not stamped:
        raise hlpc.HelpError(f"{chm_path}: #SYSTEM has no time record")
    struct.pack_into(">I", data, 16, 0)
    with open(chm_path, "wb") as f:
        f.write(data)


def encint(data, p):
    value = 0
    while True:
        byte = data[p]
        p += 1
        value = value << 7 | byte & 0x7F
        if not byte & 0x80:
            return value, p


def main(argv):
    try:
        if len(argv) == 3 and argv[1] == "--clear-clock":
            clear_clock(argv[2])
        elif len(argv) == 3:
            write_project(argv[1], argv[2])
        else:
            sys.exit(__doc__.strip().split("Usage: ")[1])
    except (hlpc.HelpError, OSError, struct.error, IndexError) as error:
        sys.exit(f"chmproj: {error}")


if __name__ == "__main__":
    main(sys.argv)
