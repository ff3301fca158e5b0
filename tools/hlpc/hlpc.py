#!/usr/bin/env python3
"""hlpc: compiles the help source (UTF-8 text, format in docs/help/qxlaunch-help.txt) into a
WinHelp 3.1 file whose text is code page 932.

The file is uncompressed: no phrase table and no LZ77, so every topic block holds its bytes
as they are. It carries the internal files a viewer needs to open it at its contents topic and
follow jumps: |SYSTEM, |FONT, |TOPIC, |CONTEXT and |TTLBTREE, found through the internal
directory. The viewer takes the text's code page from the system file's character-set record.

Usage: hlpc.py SOURCE OUTPUT
"""
import datetime
import re
import struct
import sys
from dataclasses import dataclass, field

CODE_PAGE = "cp932"
SHIFTJIS_CHARSET = 128
# Windows 3.1 help file; flags 0 below: not compressed, 4 KB topic blocks. The character-set
# record below is described with the 4.0 files, but a viewer reads |SYSTEM's records by their
# type in any file past 3.0 (Wine's does, the demo's help screenshot shows it), and a viewer that
# does not know a type skips it by its size; 3.1 keeps every other structure as the 3.1
# description has it, which is what the file's reader test follows.
FORMAT_MINOR = 21
TOPIC_BLOCK = 4096
BLOCK_HEADER = 12
BLOCK_DATA = TOPIC_BLOCK - BLOCK_HEADER
LINK_HEADER = 21  # a topic link's header, which never crosses a block's end
FACE_FIELD = 32  # bytes per face name in |FONT
RECORD_TOPIC, RECORD_TEXT = 0x02, 0x20
FONT_TEXT, FONT_HEADING = 0, 1
NONE = 0xFFFFFFFF

LINK = re.compile(r"\[([^\]]+)\]\(([^)]*)\)")
NAME = re.compile(r"[A-Za-z0-9_.]+")


class HelpError(Exception):
    pass


@dataclass
class Topic:
    name: str
    title: str
    line: int
    paragraphs: list = field(default_factory=list)  # (line number, text)


@dataclass
class Source:
    title: str = ""
    font: str = ""
    contents: str = ""
    date: str = ""
    topics: list = field(default_factory=list)


def parse(path):
    source = Source()
    with open(path, encoding="utf-8") as lines:
        for number, line in enumerate(lines, 1):
            line = line.rstrip("\r\n")
            if not line.strip() or line.startswith(";"):
                continue
            if line.startswith("@"):
                key, _, value = line[1:].partition(" ")
                if key not in ("title", "font", "contents", "date") or not value.strip():
                    raise HelpError(f"{path}:{number}: unknown or empty setting @{key}")
                setattr(source, key, value.strip())
            elif line.startswith("# "):
                name, _, title = line[2:].strip().partition(" ")
                if not NAME.fullmatch(name) or not title.strip():
                    raise HelpError(f"{path}:{number}: a topic needs a name of letters, digits, "
                                    f"'_' or '.' and a title")
                source.topics.append(Topic(name, title.strip(), number))
            elif not source.topics:
                raise HelpError(f"{path}:{number}: text before the first topic")
            else:
                source.topics[-1].paragraphs.append((number, line))
    check(path, source)
    return source


def check(path, source):
    for key in ("title", "font", "contents", "date"):
        if not getattr(source, key):
            raise HelpError(f"{path}: @{key} is missing")
    try:
        datetime.date.fromisoformat(source.date)
    except ValueError:
        raise HelpError(f"{path}: @date {source.date} is not a date of the form YYYY-MM-DD")
    names = {}
    for topic in source.topics:
        clash = names.get(context_hash(topic.name))
        if clash:
            raise HelpError(f"{path}:{topic.line}: topic {topic.name} has the hash of {clash}")
        names[context_hash(topic.name)] = topic.name
    known = set(names.values())
    if source.contents not in known:
        raise HelpError(f"{path}: the contents topic {source.contents} does not exist")
    for topic in source.topics:
        for number, text in topic.paragraphs:
            for _, target in LINK.findall(text):
                if target not in known:
                    raise HelpError(f"{path}:{number}: no topic {target} to link to")


def sjis(text, where):
    try:
        return text.encode(CODE_PAGE)
    except UnicodeEncodeError as error:
        raise HelpError(f"{where}: {text[error.start:error.end]!r} has no code-page-932 form")


# Context names are found by a hash: letters count 17 to 42 (either case), digits 1 to 9 count
# as themselves and 0 as 10, "." 12 and "_" 13; the hash is value = value * 43 + count.
def context_hash(name):
    value = 0
    for ch in name:
        if ch.isalpha():
            count = ord(ch.upper()) - ord("A") + 17
        elif ch == "0":
            count = 10
        elif ch.isdigit():
            count = ord(ch) - ord("0")
        else:
            count = {".": 12, "_": 13}[ch]
        value = (value * 43 + count) & 0xFFFFFFFF
    return value


def signed32(value):
    return value - (1 << 32) if value & 0x80000000 else value


# Compressed numbers of the paragraph records: the low bit of the first byte says whether the
# short form (one byte for shorts, two for longs) or the long form follows.
def cushort(value):
    return bytes([value * 2]) if value < 0x80 else struct.pack("<H", value * 2 + 1)


def csshort(value):
    return cushort(value + 0x40) if -0x40 <= value < 0x40 else cushort(value + 0x4000)


def cslong(value):
    if -0x4000 <= value < 0x4000:
        return struct.pack("<H", (value + 0x4000) * 2)
    return struct.pack("<I", (value + 0x40000000) * 2 + 1)


@dataclass
class TopicLink:
    kind: int
    data1: bytes
    data2: bytes
    topic: Topic = None
    topicpos: int = 0
    topicoffset: int = 0

    def size(self):
        return LINK_HEADER + len(self.data1) + len(self.data2)


# Paragraph formats: (font, spacing above, spacing below, left indent, first-line indent), in
# half points. A list item hangs its "・" in the first line's indent.
HEADING = (FONT_HEADING, 0, 12, 0, 0)
BODY = (FONT_TEXT, 6, 0, 0, 0)
ITEM = (FONT_TEXT, 4, 0, 20, -20)


def paragraph(text, style, where):
    font, above, below, left, first = style
    bits, values = 0, b""
    for bit, value in ((0x02, above), (0x04, below), (0x10, left), (0x40, first)):
        if value:
            bits |= bit
            values += csshort(value)
    info = bytes([0x00, 0x80]) + struct.pack("<HH", 0, bits) + values
    # The text is a list of strings, each ended by a NUL; after each one the next formatting
    # command takes effect.
    strings, commands = [], []

    def emit(string, command):
        strings.append(sjis(string, where) + b"\0")
        commands.append(command)

    emit("", bytes([0x80]) + struct.pack("<H", font))
    pending, pos = "", 0
    for match in LINK.finditer(text):
        pending += text[pos:match.start()]
        emit(pending, bytes([0xE3]) + struct.pack("<I", context_hash(match.group(2))))
        emit(match.group(1), bytes([0x89]))
        pending, pos = "", match.end()
    emit(pending + text[pos:], bytes([0x82]))
    emit("", bytes([0xFF]))
    formatting = info + b"".join(commands)
    data2 = b"".join(strings)
    return TopicLink(RECORD_TEXT, cslong(len(formatting)) + cushort(len(data2)) + formatting, data2)


def topic_links(source, path):
    links = []
    for topic in source.topics:
        where = f"{path}:{topic.line}"
        links.append(TopicLink(RECORD_TOPIC, bytes(28), sjis(topic.title, where), topic))
        links.append(paragraph(topic.title, HEADING, where))
        for number, text in topic.paragraphs:
            style = ITEM if text.startswith("・") else BODY
            links.append(paragraph(text, style, f"{path}:{number}"))
    # The chain ends as the format's own compilers end it: with an empty topic record that no
    # viewer shows, so that the last topic's last paragraph is never the file's last link (the
    # format's description says the last link holds no usable data).
    links.append(TopicLink(RECORD_TOPIC, bytes(28), b""))
    return links


# Lays the links out as the format's own compiler does: one stream through the data of the 4 KB
# blocks, a link running on into the next block where it does not fit; only a link's 21-byte
# header never crosses a block's end (fewer bytes left stay empty). A TOPICPOS is the block
# number times 0x4000 plus 12 plus the place in the block, for the block where the link starts;
# a TOPICOFFSET is the block number times 0x8000 plus the text bytes of the links that started
# before it in that block.
def lay_out(links):
    block, used, text = 0, 0, 0
    for link in links:
        if BLOCK_DATA - used < LINK_HEADER:
            block, used, text = block + 1, 0, 0
        link.topicpos = block * 0x4000 + BLOCK_HEADER + used
        link.topicoffset = block * 0x8000 + text
        if link.kind == RECORD_TEXT:
            text += len(link.data2)
        used += link.size()
        while used >= BLOCK_DATA:
            block, used, text = block + 1, used - BLOCK_DATA, 0
    # Topic headers: size, the browse sequence (the topics in the source's order), number, no
    # fixed region, where the text starts, where the next topic starts (none after the last).
    # The closing record is numbered after the last topic but is in no browse sequence.
    headers = [i for i, link in enumerate(links) if link.kind == RECORD_TOPIC]
    browse = [NONE] + [links[i].topicoffset for i in headers[:-1]] + [NONE]
    for number, (start, end) in enumerate(zip(headers, headers[1:] + [len(links)])):
        size = sum(link.size() for link in links[start:end])
        back, ahead = (browse[number], browse[number + 2]) if end < len(links) else (NONE, NONE)
        scroll = links[start + 1].topicpos if start + 1 < end else NONE
        following = links[end].topicpos if end < len(links) else NONE
        links[start].data1 = struct.pack("<7I", size, back, ahead, number, NONE, scroll, following)


def stream_place(link):
    block, place = divmod(link.topicpos - BLOCK_HEADER, 0x4000)
    return block * BLOCK_DATA + place


# The stream cut into blocks, each after its header: the last link that started before the
# block, the first that starts in it (none when the block holds only the end of one) and the
# last topic header that started before it. The last block ends with the stream.
def topic_file(links):
    stream = bytearray()
    for i, link in enumerate(links):
        stream += bytes(stream_place(link) - len(stream))
        previous = links[i - 1].topicpos if i else NONE
        following = links[i + 1].topicpos if i + 1 < len(links) else NONE
        stream += struct.pack("<5IB", link.size(), len(link.data2), previous, following,
                              LINK_HEADER + len(link.data1), link.kind) + link.data1 + link.data2
    out = bytearray()
    for block in range((len(stream) + BLOCK_DATA - 1) // BLOCK_DATA):
        before = [link for link in links if link.topicpos < block * 0x4000 + BLOCK_HEADER]
        inside = [link for link in links if (link.topicpos - BLOCK_HEADER) >> 14 == block]
        topics = [link for link in before if link.kind == RECORD_TOPIC]
        out += struct.pack("<3I", before[-1].topicpos if before else NONE,
                           inside[0].topicpos if inside else NONE,
                           topics[-1].topicpos if topics else NONE)
        out += stream[block * BLOCK_DATA:(block + 1) * BLOCK_DATA]
    return bytes(out)


def system_file(source, contents_offset):
    title = sjis(source.title, "@title")
    if len(title) > 50:
        raise HelpError("@title is longer than a window caption's 50 bytes")
    # The generation date, in seconds since 1970 (UTC), is the source's own @date: the same
    # source gives the same file, and a changed text with a new date tells a viewer's cache.
    day = datetime.date.fromisoformat(source.date)
    generated = int(datetime.datetime(day.year, day.month, day.day,
                                      tzinfo=datetime.timezone.utc).timestamp())

    def record(kind, data):
        return struct.pack("<HH", kind, len(data)) + data

    # The main window's name and caption: the viewer shows the title in its title bar.
    window = struct.pack("<H10s9s51s5H2I", 0x0006, b"", b"main", title, 0, 0, 0, 0, 0, 0, 0)
    return (struct.pack("<HHHIH", 0x036C, FORMAT_MINOR, 1, generated, 0) +
            record(1, title + b"\0") +
            record(3, struct.pack("<I", contents_offset)) + record(6, window) +
            record(4, b"BrowseButtons()\0") +  # "<<" and ">>" step through the topics
            record(11, struct.pack("<H", SHIFTJIS_CHARSET)))


def font_file(source):
    face = sjis(source.font, "@font")
    if len(face) >= FACE_FIELD:
        raise HelpError("@font is too long for a face name")

    # Attributes (bit 0 bold), size in half points, family 3 (swiss), face 0, black on white.
    def descriptor(attributes, half_points):
        return struct.pack("<BBBH3s3s", attributes, half_points, 3, 0, b"\0\0\0", b"\xff\xff\xff")

    return (struct.pack("<4H", 1, 2, 8, 8 + FACE_FIELD) + face.ljust(FACE_FIELD, b"\0") +
            descriptor(0x00, 20) + descriptor(0x01, 24))


# A B+ tree with all its entries in one leaf page, which is also the root.
def btree(structure, page_size, entries, flags=0x0002):
    body = b"".join(entries)
    free = page_size - 8 - len(body)
    if free < 0:
        raise HelpError(f"the {structure.decode()} tree needs more than one page")
    header = struct.pack("<HHH16s6hi", 0x293B, flags, page_size, structure, 0, 0, 0, -1, 1, 1,
                         len(entries))
    return header + struct.pack("<Hhhh", free, len(entries), -1, -1) + body + bytes(free)


def internal_file(content):
    return struct.pack("<IIB", len(content) + 9, len(content), 4) + content


def compile_help(source, path):
    links = topic_links(source, path)
    lay_out(links)
    starts = {link.topic.name: link for link in links if link.topic}
    contexts = sorted((signed32(context_hash(name)), link.topicoffset)
                      for name, link in starts.items())
    titles = sorted((link.topicoffset, sjis(link.topic.title, name))
                    for name, link in starts.items())
    files = {
        "|SYSTEM": system_file(source, starts[source.contents].topicoffset),
        "|FONT": font_file(source),
        "|TOPIC": topic_file(links),
        "|CONTEXT": btree(b"L4", 0x800, [struct.pack("<iI", h, o) for h, o in contexts]),
        "|TTLBTREE": btree(b"Lz", 0x800, [struct.pack("<I", o) + t + b"\0" for o, t in titles]),
    }
    # Wine's viewer copies every topic block whole, the shorter last one too: |TOPIC goes first,
    # so that what follows it in the file (more than a block's data) takes that copy.
    out = bytearray(16)
    offsets = {}
    for name in sorted(files, key=lambda name: (name != "|TOPIC", name)):
        offsets[name] = len(out)
        out += internal_file(files[name])
    directory = len(out)
    entries = [name.encode() + b"\0" + struct.pack("<I", offsets[name]) for name in sorted(files)]
    out += internal_file(btree(b"z4", 0x400, entries, flags=0x0402))
    out[:16] = struct.pack("<IIiI", 0x00035F3F, directory, -1, len(out))
    return bytes(out)


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__.strip().splitlines()[-1])
    try:
        data = compile_help(parse(argv[1]), argv[1])
    except (HelpError, OSError) as error:
        sys.exit(f"hlpc: {error}")
    with open(argv[2], "wb") as out:
        out.write(data)


if __name__ == "__main__":
    main(sys.argv)
