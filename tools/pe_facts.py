#!/usr/bin/env python3
"""Reads the facts of a 32-bit Windows image that the release depends on: machine, header
versions, subsystem, link timestamp, image base, entry point, loader flags, sections, base
relocations, data directories, TLS, exports and imports, the file's size, and (given the link
map) the add-on's own memory routines and every instruction of its code.

  pe_facts.py --check FILE [OPTIONS]   checks them against what QXLAUNCH.DLL must be; exit 1 on
                                       a fault; an image it cannot read is a fault
  pe_facts.py --gate FILE [OPTIONS]    the same after every link, and a faulty or unreadable
                                       FILE is deleted, so that nothing built later can take it
  pe_facts.py --report FILE            prints size, header facts and the import list
  pe_facts.py --imports FILE           prints the imported DLL names, comma-separated
Options: --base ADDRESS (the configured image base); --map MAP --disassembler OBJDUMP (the
link map and a disassembler, to look into memset, memcpy and memmove and to find any instruction
a 386 lacks); with --gate, --finish first writes what the linkers cannot (read-only resources,
writable import tables, the headers behind a 64-byte DOS header; with --msvc-linker, for
link.exe, OS and subsystem version 4.0 and a zero timestamp).
"""
import argparse
import os
import re
import struct
import subprocess
import sys

# The DLLs every Windows since 95 and NT 3.1 has: COMCTL32, COMDLG32 and SHELL32 are bound at
# first use, so that attach maps nothing the terminal may never need, and no C runtime is used.
ALLOWED_IMPORTS = {"kernel32.dll", "user32.dll", "advapi32.dll"}
ALLOWED_FUNCTIONS_FILE = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                      "win95-nt4-imports.txt")
MACHINE_I386 = 0x14C
PE32_MAGIC = 0x10B
IMAGE_FILE_RELOCS_STRIPPED = 0x1
IMAGE_FILE_DLL = 0x2000
DYNAMIC_BASE = 0x40
NX_COMPAT = 0x100
SUBSYSTEM_WINDOWS_GUI = 2
# The most the add-on's file may take: the limit the terminal's add-ons are held to, 12,288 until
# HTML Help and the save that keeps another terminal's values came, 12,800 until each sheet
# opened on what is stored, 13,312 until one sheet at a time and writes no refusal can mix
# (docs/BENCHMARKS.md).
SIZE_LIMIT = 13824
# Where CMakeLists.txt asks the linkers to put the add-on (QX_ADDON_IMAGE_BASE).
IMAGE_BASE = 0x63F00000
SCN_CODE, SCN_EXECUTE, SCN_READ, SCN_WRITE, SCN_SHARED = 0x20, 0x20000000, 0x40000000, 0x80000000, 0x10000000
EXPORT_DIRECTORY, RESOURCE_DIRECTORY, RELOCATION_DIRECTORY, TLS_DIRECTORY = 0, 2, 5, 9
# Directories no runtime-less image for Windows 95 has: each names a loader feature that the
# add-on does not use and that 95's loader does not know or a runtime would have to set up.
REFUSED_DIRECTORIES = {6: "debug", 10: "load-configuration", 11: "bound-import",
                       13: "delay-import", 14: "COM descriptor"}
# Sections that hold lists of constructors, destructors or thread-local data for a runtime to
# run: lld-link keeps them by name when no runtime merges them away.
RUNTIME_SECTIONS = (".CRT", ".ctors", ".dtors", ".tls")
MEMORY_ROUTINES = ("memset", "memcpy", "memmove")
# The one call among them that cannot loop: memcpy hands its work to memmove.
ROUTINE_CALLS_ALLOWED = {("memcpy", "memmove")}

def allowed_functions():
    """{(dll lower-case, function)} from the allow-list; every entry must say where its
    availability is documented."""
    allowed = set()
    with open(ALLOWED_FUNCTIONS_FILE) as listing:
        for number, line in enumerate(listing, 1):
            if line.strip() and not line.startswith("#"):
                fields = line.split(None, 2)
                if len(fields) < 3:
                    raise ValueError("%s:%d: no source for %s" % (ALLOWED_FUNCTIONS_FILE, number, line.strip()))
                allowed.add((fields[0].lower(), fields[1]))
    return allowed


class Section:
    def __init__(self, data, at):
        name, self.vsize, self.vaddr, self.rawsize, self.rawptr = struct.unpack_from("<8sIIII", data, at)
        self.characteristics = struct.unpack_from("<I", data, at + 36)[0]
        self.name = name.rstrip(b"\0").decode("latin-1")
        self.header = at  # where the section's header is in the file

    def holds(self, rva, size=1):
        return self.vaddr <= rva and rva + size <= self.vaddr + max(self.vsize, self.rawsize)


class Image:
    def __init__(self, path):
        self.path = path
        with open(path, "rb") as f:
            self.data = f.read()
        self.size = len(self.data)
        if self.data[:2] != b"MZ":
            raise ValueError("not an MZ image")
        self.pe = pe = struct.unpack_from("<I", self.data, 0x3C)[0]
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        (self.machine, sections, self.timestamp, _, _, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", self.data, pe + 4)
        self.opt = opt = pe + 24
        self.magic = struct.unpack_from("<H", self.data, opt)[0]
        if self.magic != PE32_MAGIC:
            raise ValueError("not a PE32 image (optional header magic 0x%x)" % self.magic)
        self.entry = struct.unpack_from("<I", self.data, opt + 16)[0]
        self.image_base = struct.unpack_from("<I", self.data, opt + 28)[0]
        self.os_version = struct.unpack_from("<HH", self.data, opt + 40)
        self.subsystem_version = struct.unpack_from("<HH", self.data, opt + 48)
        self.image_size = struct.unpack_from("<I", self.data, opt + 56)[0]
        self.checksum = struct.unpack_from("<I", self.data, opt + 64)[0]
        self.subsystem, self.dll_characteristics = struct.unpack_from("<HH", self.data, opt + 68)
        directories = struct.unpack_from("<I", self.data, opt + 92)[0]
        self.directory = [struct.unpack_from("<II", self.data, opt + 96 + 8 * i)
                          for i in range(min(directories, 16))]
        self.directory += [(0, 0)] * (16 - len(self.directory))
        self.table = opt + optional_size
        self.section_list = [Section(self.data, self.table + 40 * i) for i in range(sections)]
        if self.table + 40 * sections > self.size or any(
                s.rawptr + s.rawsize > self.size for s in self.section_list):
            raise ValueError("truncated: the headers promise more than the file's %d bytes" % self.size)
        self.sections = [(s.vaddr, max(s.vsize, s.rawsize), s.rawptr) for s in self.section_list]

    def section_at(self, rva):
        return next((s for s in self.section_list if s.holds(rva)), None)

    def relocations(self):
        """[(rva, type)] of the base relocation blocks; ValueError when they are malformed."""
        rva, size = self.directory[RELOCATION_DIRECTORY]
        at, end, found = self.offset(rva), self.offset(rva) + size, []
        while at < end:
            page, block = struct.unpack_from("<II", self.data, at)
            if block < 8 or block % 4 or at + block > end or page % 0x1000:
                raise ValueError("a relocation block at 0x%x is malformed (page 0x%x, %d bytes)"
                                 % (at, page, block))
            for (entry,) in struct.iter_unpack("<H", self.data[at + 8:at + block]):
                found.append((page + (entry & 0xFFF), entry >> 12))
            at += block
        return found

    def offset(self, rva):
        for vaddr, size, rawptr in self.sections:
            if vaddr <= rva < vaddr + size:
                return rawptr + rva - vaddr
        raise ValueError("address 0x%x is in no section" % rva)

    def cstring(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("latin-1")

    def exports(self):
        """(number of functions, number of names); (0, 0) without an export table."""
        rva, size = self.directory[0] if self.directory else (0, 0)
        if rva == 0 or size == 0:
            return 0, 0
        return struct.unpack_from("<II", self.data, self.offset(rva) + 20)

    def address_tables(self):
        """The RVAs of the import address tables, one for each DLL imported from."""
        self.imports()
        return self._address_tables

    def imports(self):
        """[(dll name, [function names or '#ordinal'])] in the image's order."""
        rva, size = self.directory[1]
        result, self._address_tables = [], []
        if rva == 0 or size == 0:
            return result
        at = self.offset(rva)
        while True:
            lookup, _, _, name, first = struct.unpack_from("<IIIII", self.data, at)
            if name == 0:
                return result
            functions = []
            thunk = self.offset(lookup or first)
            while True:
                entry = struct.unpack_from("<I", self.data, thunk)[0]
                if entry == 0:
                    break
                functions.append("#%d" % (entry & 0xFFFF) if entry & 0x80000000
                                 else self.cstring(entry + 2))
                thunk += 4
            result.append((self.cstring(name), functions))
            self._address_tables.append(first)
            at += 20


def relocation_faults(image):
    if image.characteristics & IMAGE_FILE_RELOCS_STRIPPED:
        return ["relocations stripped (characteristics 0x%x): the image could not move when its "
                "base is taken" % image.characteristics]
    if not image.directory[RELOCATION_DIRECTORY][1]:
        return ["no base relocations: the image could not move when its base is taken"]
    try:
        entries = image.relocations()
    except (ValueError, struct.error) as error:
        return ["base relocations: %s" % error]
    found = []
    for rva, kind in entries:
        if kind == 0:  # padding to the block's 4-byte end
            continue
        section = image.section_at(rva)
        if kind != 3 or not section or not section.holds(rva, 4) or rva + 4 > section.vaddr + section.rawsize:
            found.append("base relocation of type %d at 0x%x is not a 32-bit address in the "
                         "image's data" % (kind, rva))
    return found if found else [] if any(kind == 3 for _, kind in entries) else [
        "no base relocations: the image could not move when its base is taken"]


def section_faults(image):
    found = []
    for section in image.section_list:
        flags = section.characteristics
        if flags & SCN_WRITE and flags & SCN_EXECUTE:
            found.append("section %s is both writable and executable (0x%x)" % (section.name, flags))
        if flags & SCN_SHARED:
            found.append("section %s is shared between processes (0x%x)" % (section.name, flags))
        if section.name.split("$")[0] in RUNTIME_SECTIONS:
            found.append("section %s: a global or static object needs a constructor or destructor, "
                         "or thread-local data its set-up, and no runtime would run either" % section.name)
    resources = image.section_at(image.directory[RESOURCE_DIRECTORY][0])
    if resources and resources.characteristics & SCN_WRITE:
        found.append("resources are writable (section %s, 0x%x)" % (resources.name, resources.characteristics))
    code = image.section_at(image.entry)
    if not code or not code.characteristics & SCN_EXECUTE or not code.characteristics & SCN_CODE:
        found.append("entry point 0x%x is not in the code section" % image.entry)
    return found


def routine_faults(image, map_path, disassembler):
    """The own memset, memcpy and memmove, found by the link map, must not call one another in a
    circle (a compiler that turns their loops into calls of themselves makes an endless one)."""
    with open(map_path, errors="replace") as listing:
        text = listing.read()
    # GNU ld: "0x63f01005    _memset"; lld-link, link.exe: "0001:00000005  _memset  63f01005 f".
    symbols = {name: int(address, 16) for address, name in
               re.findall(r"^\s+0x([0-9a-fA-F]{8})\s+_?(\S+)\s*$", text, re.M)}
    symbols.update({name: int(address, 16) for name, address in
                    re.findall(r"^\s*[0-9a-fA-F]{4}:[0-9a-fA-F]{8}\s+_?(\S+)\s+([0-9a-fA-F]{8,16})\b", text, re.M)})
    if not any(name.startswith("AddonEntry") for name in symbols):
        return ["the link map %s names no entry point: the memory routines cannot be found" % map_path]
    present = [name for name in MEMORY_ROUTINES if name in symbols]  # the linker drops unused ones
    starts = {symbols[name]: name for name in present}
    later = sorted(set(symbols.values()))
    calls = set()
    for name in present:
        start = symbols[name]
        stop = next((a for a in later if a > start), start + 0x400)
        listing = subprocess.run([disassembler, "-d", "--start-address=0x%x" % start,
                                  "--stop-address=0x%x" % stop, image.path],
                                 capture_output=True, text=True, check=True).stdout
        for target in re.findall(r"\b(?:call|jmp|j[a-z]{1,3})l?\s+(?:0x)?([0-9a-fA-F]+)\b", listing):
            callee = starts.get(int(target, 16))
            if callee and (name, callee) not in ROUTINE_CALLS_ALLOWED:
                calls.add((name, callee))
    return ["%s calls %s: its loop became a call, and the two never return" % call
            if call[0] != call[1] else "%s calls itself: its loop became a call of itself, which "
            "never returns" % call[0] for call in sorted(calls)]


def map_code(image, text):
    """{address: function name} and [(start, end)] of the code that the link map lists: GNU ld's
    .text input sections, or the .text segments of lld-link's and link.exe's map. mingw places
    the read-only data inside .text after them, and only these ranges are code."""
    # GNU ld, after the input sections it discarded: " .text  0x63f01000  0x120 objects.a(x.obj)",
    # then "  0x63f01003  Name(...)".
    text = text.split("Linker script and memory map", 1)[-1]
    ranges = [(int(start, 16), int(start, 16) + int(size, 16), os.path.basename(source))
              for start, size, source in re.findall(
                  r"^ \.text\S*\s+0x([0-9a-fA-F]+)\s+0x([0-9a-fA-F]+)\s+(\S.*?)\s*$", text, re.M)]
    names = {int(address, 16): name for address, name in
             re.findall(r"^\s+0x([0-9a-fA-F]{8})\s+([^\s=].*?)\s*$", text, re.M)}
    # lld-link, link.exe: " 0001:00000000 0000171cH .text  CODE", then
    # " 0001:0000001a  ?FitTextLength@@...  63f0101a  text_fit.cpp.obj".
    for number, offset, size in re.findall(
            r"^\s*([0-9a-fA-F]{4}):([0-9a-fA-F]{8})\s+([0-9a-fA-F]{8})H\s+\.text\S*\s", text, re.M):
        start = image.image_base + image.section_list[int(number, 16) - 1].vaddr + int(offset, 16)
        ranges.append((start, start + int(size, 16), ".text"))
    names.update({int(address, 16): name for name, address in re.findall(
        r"^\s*[0-9a-fA-F]{4}:[0-9a-fA-F]{8}\s+(\S+)\s+([0-9a-fA-F]{8,16})\s", text, re.M)})
    return names, sorted(code for code in ranges if code[1] > code[0])


# What a 386 knows after 0F (two-byte opcodes): the 286's system group, mov to and from control,
# debug and test registers, long jcc, setcc, push/pop fs/gs, bt*, shld/shrd, imul, lss/lfs/lgs,
# movzx/movsx, bsf/bsr. All else after 0F came later (486: bswap, cmpxchg, xadd, invd, wbinvd;
# Pentium: cpuid, rdtsc, rdmsr/wrmsr, cmpxchg8b; P6: cmov, 0F 1F nop, ud2; MMX, SSE...).
I386_TWO_BYTE = set([0x00, 0x01, 0x02, 0x03, 0x06, 0x20, 0x21, 0x22, 0x23, 0x24, 0x26]
                    + list(range(0x80, 0xA0)) + [0xA0, 0xA1, 0xA3, 0xA4, 0xA5, 0xA8, 0xA9, 0xAB, 0xAC,
                    0xAD, 0xAF, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF])
PREFIXES = {0x26, 0x2E, 0x36, 0x3E, 0x64, 0x65, 0x66, 0x67, 0xF0, 0xF2, 0xF3}
NEWER_REGISTER = re.compile(r"\b(?:[xyz]mm\d+|mm\d|st\(?\d?\)?|k[0-7])\b")


def newer_than_386(code, text):
    """Why the instruction (its bytes, the disassembler's text) needs more than a 386 without a
    coprocessor, or None."""
    at = 0
    while at < len(code) - 1 and code[at] in PREFIXES:
        at += 1
    first, rest = code[at], code[at + 1:]
    if first in range(0xD8, 0xE0) or first == 0x9B:
        return "an x87 instruction (a 386 may have no coprocessor)"
    if first in (0xC4, 0xC5, 0x62) and rest and rest[0] >= 0xC0:
        return "a VEX or EVEX instruction"
    if first == 0x0F:
        if not rest:
            return "a cut 0F opcode"
        second, modrm = rest[0], rest[1] if len(rest) > 1 else 0
        if second not in I386_TWO_BYTE:
            return "opcode 0F %02X came after the 386" % second
        group = modrm >> 3 & 7  # 0F 01: invlpg (/7), and the register forms but smsw and lmsw
        if second == 0x01 and (group == 7 or modrm >= 0xC0 and group not in (4, 6)):
            return "opcode 0F 01 /%d came after the 386" % group
        if second in (0xBC, 0xBD) and 0xF3 in code[:at]:
            return "tzcnt or lzcnt, which a 386 runs as bsf or bsr"
    if NEWER_REGISTER.search(text.split(None, 1)[1] if " " in text.strip() else ""):
        return "an MMX, SSE, AVX or x87 register"
    # An instruction's text begins with its mnemonic; for bytes it cannot decode GNU objdump
    # prints "(bad)" or ".byte", llvm-objdump "<unknown>" or nothing.
    if not re.match(r"[a-z][a-z0-9]*(?: |$)", text) or re.search(r"\(bad\)|<unknown>", text):
        return "no instruction the disassembler knows"
    return None


def processor_faults(image, map_path, disassembler):
    """Every instruction of the code that the link map lists must be one a 386 has: Windows 95
    runs on a 386DX, NT 4.0 on a 486, and neither need have a coprocessor."""
    with open(map_path, errors="replace") as listing:
        names, ranges = map_code(image, listing.read())
    code = image.section_at(image.entry)
    if not ranges:
        return ["the link map names no code: the instructions cannot be checked"]
    found, starts = [], sorted(names)
    for start, end, source in ranges:
        if not code or not code.holds(start - image.image_base, end - start):
            found.append("code at 0x%x-0x%x is outside the code section" % (start, end))
            continue
        listing = subprocess.run([disassembler, "-d", "-z", "-M", "intel", "--start-address=0x%x" % start,
                                  "--stop-address=0x%x" % end, image.path],
                                 capture_output=True, text=True, check=True).stdout
        # "address: bytes<tab>text"; GNU objdump goes on with a long one's bytes on a line of their own.
        decoded = []  # [address, bytes, text]
        for address, hexes, words in re.findall(
                r"^\s*([0-9a-fA-F]+):\s+((?:[0-9a-fA-F]{2} )*[0-9a-fA-F]{2}) *(?:\t(.*))?$", listing, re.M):
            if not words.strip() and decoded:
                decoded[-1][1] += bytes.fromhex(hexes)
            else:
                decoded.append([int(address, 16), bytes.fromhex(hexes), " ".join(words.split())])
        if sum(len(b) for _, b, _ in decoded) != end - start:
            found.append("code at 0x%x-0x%x: the disassembler decoded %d of its %d bytes"
                         % (start, end, sum(len(b) for _, b, _ in decoded), end - start))
        for address, instruction, words in decoded:
            why = newer_than_386(instruction, words)
            if why:
                owner = max((a for a in starts if start <= a <= address), default=None)
                where = ("%s+0x%x" % (names[owner], address - owner) if owner
                         else "a static function of %s at 0x%x" % (source, address))
                found.append("%s: %s is not a 386 instruction: %s" % (where, words, why))
    return found


def stub_faults(image, map_path):
    """No address of the image's own call stubs for imported functions (a jmp through the import
    table, made for a function not declared dllimport) may be stored in it: handed out as a
    window procedure or a callback, it would point into nothing once the image is freed."""
    with open(map_path, errors="replace") as listing:
        text = listing.read()
    names, _ = map_code(image, text)
    # lld-link, link.exe: " 0001:000016b4  _GetProcAddress@8  63f026b4  kernel32:libkernel32s00693.o";
    # GNU ld: " .text  0x63f025b8  0x8 .../libkernel32.a(libkernel32s00693.o)", then its symbol.
    stubs = {int(address, 16): name for name, address in re.findall(
        r"^\s*[0-9a-fA-F]{4}:[0-9a-fA-F]{8}\s+(\S+)\s+([0-9a-fA-F]{8,16})\s+(?:f\s+)?\w+:\S+\s*$", text, re.M)
        if not name.startswith(("__imp_", "."))}
    stubs.update({int(address, 16): names.get(int(address, 16), member) for address, member in re.findall(
        r"^ \.text\s+0x([0-9a-fA-F]+)\s+0x0*[1-9a-fA-F]\w*\s+\S*\.a\((\w+s\d+\.o)\)\s*$", text, re.M)})
    code = image.section_at(image.entry)
    try:
        relocations = image.relocations() if image.directory[RELOCATION_DIRECTORY][1] else []
    except (ValueError, struct.error):
        relocations = []  # refused as malformed by relocation_faults
    found = []
    for rva, kind in relocations:
        value = struct.unpack_from("<I", image.data, image.offset(rva))[0] if kind == 3 else 0
        if value in stubs and code and code.holds(value - image.image_base):
            found.append("0x%x holds the address of %s, the image's own call stub for an imported "
                         "function, which would point into nothing once the image is freed (declare "
                         "it dllimport)" % (image.image_base + rva, stubs[value]))
    return found


def faults(image, base=IMAGE_BASE):
    found = []
    if image.size > SIZE_LIMIT:
        found.append("the image is %d bytes, over the limit of %d" % (image.size, SIZE_LIMIT))
    if image.machine != MACHINE_I386:
        found.append("machine is 0x%x, not i386 (0x14c)" % image.machine)
    if not image.characteristics & IMAGE_FILE_DLL:
        found.append("not a DLL (characteristics 0x%x)" % image.characteristics)
    if image.subsystem != SUBSYSTEM_WINDOWS_GUI:
        found.append("subsystem %d, not the Windows GUI (2)" % image.subsystem)
    if image.subsystem_version != (4, 0):
        found.append("subsystem version is %d.%d, not 4.0" % image.subsystem_version)
    if image.os_version != (4, 0):
        found.append("operating system version is %d.%d, not 4.0" % image.os_version)
    if image.timestamp != 0:
        found.append("link timestamp 0x%x: two builds would differ" % image.timestamp)
    if image.image_base != base:
        found.append("image base 0x%x, not the configured 0x%x" % (image.image_base, base))
    if image.directory[EXPORT_DIRECTORY][0]:
        functions, names = image.exports()
        found.append("has an export directory (%d functions, %d by name)" % (functions, names))
    if image.directory[TLS_DIRECTORY][0]:
        found.append("has a TLS directory, which Windows 95 refuses to load")
    for index, name in sorted(REFUSED_DIRECTORIES.items()):
        if image.directory[index] != (0, 0):
            found.append("has a %s directory" % name)
    for flag, name in ((DYNAMIC_BASE, "DYNAMIC_BASE"), (NX_COMPAT, "NX_COMPAT")):
        if not image.dll_characteristics & flag:
            found.append("%s is off (DllCharacteristics 0x%x)" % (name, image.dll_characteristics))
    found += relocation_faults(image) + section_faults(image)
    allowed = allowed_functions()
    imported = set()
    for dll, functions in image.imports():
        if dll.lower() not in ALLOWED_IMPORTS:
            found.append("imports from %s, which is not allowed" % dll)
            continue
        for function in functions:
            imported.add((dll.lower(), function))
            if (dll.lower(), function) not in allowed:
                found.append("imports %s!%s, which is not on the list of Windows 95 and NT 4.0 "
                             "functions" % (dll, function))
    # Windows NT's loader lifts a read-only table's protection while it writes the addresses;
    # nothing documents that 95's does, so the tables lie in a writable section.
    for rva in image.address_tables():
        section = image.section_at(rva)
        if not section or not section.characteristics & SCN_WRITE:
            found.append("the import address table at 0x%x is not in a writable section" % rva)
    for dll, function in sorted(allowed - imported):
        found.append("the list of Windows 95 and NT 4.0 functions names %s!%s, which the image "
                     "does not import" % (dll, function))
    return found


def report(path, image):
    functions, names = image.exports()
    print("%s: %d bytes (%.1f KiB), PE32 machine 0x%x, subsystem %d version %d.%d, timestamp %d, "
          "base 0x%x, DllCharacteristics 0x%x"
          % (path, image.size, image.size / 1024, image.machine, image.subsystem,
             image.subsystem_version[0], image.subsystem_version[1], image.timestamp,
             image.image_base, image.dll_characteristics))
    print("exports: %d functions, %d names" % (functions, names))
    for dll, names in image.imports():
        print("imports %-13s %s" % (dll, " ".join(names)))


def checksum(data, field):
    """The PE checksum of data, its own field at `field` counted as zero."""
    words = data[:field] + bytes(4) + data[field + 4:] + bytes(len(data) % 2)
    total = 0
    for (word,) in struct.iter_unpack("<H", words):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return total + len(data)


# A DOS header that is its own program: "mov ax, 4C01h; int 21h" at 28h, run from 20h (e_cparhdr
# 2, e_ip 8, 32 bytes, a 256-byte stack), so that DOS ends it at once; e_lfarlc 40h says that a
# new header follows, at 40h.
DOS_HEADER = struct.pack("<2s13H8x4x20sI", b"MZ", 0x40, 1, 0, 2, 0x10, 0x10, 0, 0x120, 0, 8, 0, 0x40,
                         0, b"\xB8\x01\x4C\xCD\x21", 0x40)


def compact_headers(image, data):
    """The headers in fewer file-alignment units where the linker's DOS stub alone keeps them
    from it (GNU ld's is 128 bytes, lld's 120): the PE header moves up to follow a 64-byte DOS
    header, and the sections' raw data moves up with it."""
    align = struct.unpack_from("<I", data, image.opt + 36)[0]
    headers = struct.unpack_from("<I", data, image.opt + 60)[0]
    moved = image.table + 40 * len(image.section_list) - image.pe
    needed = -(-(0x40 + moved) // align) * align
    symbols = struct.unpack_from("<I", data, image.pe + 12)[0]  # a file offset, as the sections'
    if image.pe <= 0x40 or needed >= headers or symbols or any(
            s.rawptr and s.rawptr < headers for s in image.section_list):
        return data
    cut = headers - needed
    header = DOS_HEADER + data[image.pe:image.pe + moved]
    header += bytes(needed - len(header))
    compact = bytearray(header + data[headers:])
    opt, table = image.opt - image.pe + 0x40, image.table - image.pe + 0x40
    struct.pack_into("<I", compact, opt + 60, needed)
    for index, section in enumerate(image.section_list):
        if section.rawptr:
            struct.pack_into("<I", compact, table + 40 * index + 20, section.rawptr - cut)
    return compact


def finish(path, msvc_linker):
    """What the linkers cannot write: GNU ld marks any section named .rsrc writable (and finds
    the resources by that name only), and the import tables' section writable only when it
    holds data too; link.exe writes no version below 5.01 for x86 and stamps
    every image with a time (or, under /Brepro, a hash with a debug directory); no linker here
    writes a DOS stub short enough for five section headers to fit one 512-byte block. The
    checksum, where the linker wrote one, follows."""
    image = Image(path)
    data = bytearray(image.data)
    resources = image.section_at(image.directory[RESOURCE_DIRECTORY][0])
    if resources and image.directory[RESOURCE_DIRECTORY][0]:
        struct.pack_into("<I", data, resources.header + 36, resources.characteristics & ~SCN_WRITE)
    # GNU ld 2.44 (Debian 13) leaves an .idata without data of its own read-only; 2.40 did not.
    for rva in image.address_tables():
        tables = image.section_at(rva)
        if tables:
            flags = struct.unpack_from("<I", data, tables.header + 36)[0]
            struct.pack_into("<I", data, tables.header + 36, flags | SCN_WRITE)
    if msvc_linker:
        struct.pack_into("<I", data, image.pe + 8, 0)
        struct.pack_into("<HH", data, image.opt + 40, 4, 0)
        struct.pack_into("<HH", data, image.opt + 48, 4, 0)
    data = compact_headers(image, data)
    if image.checksum:
        field = struct.unpack_from("<I", data, 0x3C)[0] + 24 + 64
        struct.pack_into("<I", data, field, checksum(bytes(data), field))
    if data != image.data:
        with open(path, "wb") as f:
            f.write(data)


def main(argv):
    parser = argparse.ArgumentParser(usage=__doc__)
    mode = parser.add_mutually_exclusive_group(required=True)
    for option in ("--check", "--gate", "--report", "--imports"):
        mode.add_argument(option, metavar="FILE")
    parser.add_argument("--base", type=lambda value: int(value, 0), default=IMAGE_BASE)
    parser.add_argument("--map")
    parser.add_argument("--disassembler")
    parser.add_argument("--finish", action="store_true")
    parser.add_argument("--msvc-linker", action="store_true")
    args = parser.parse_args(argv[1:])
    if args.imports or args.report:
        image = Image(args.imports or args.report)
        if args.imports:
            print(",".join(dll for dll, _ in image.imports()))
        else:
            report(args.report, image)
        return 0
    path = args.check or args.gate
    # Fail closed: whatever keeps the facts from being read is itself a fault.
    try:
        if args.gate and args.finish:
            finish(path, args.msvc_linker)
        image = Image(path)
        if args.check:
            report(path, image)
        found = faults(image, args.base)
        if args.map:
            found += routine_faults(image, args.map, args.disassembler or "objdump")
            found += processor_faults(image, args.map, args.disassembler or "objdump")
            found += stub_faults(image, args.map)
    except Exception as error:  # noqa: BLE001 -- every failure to read is a refusal
        found = ["unreadable image: %s: %s" % (type(error).__name__, error)]
    for fault in found:
        print("FAULT: " + fault)
    print("%s: all facts hold (%d bytes)" % (path, image.size) if not found
          else "%d fault(s)" % len(found))
    if found and args.gate and os.path.exists(path):
        os.remove(path)
        print("%s removed: Windows 95 or NT 4.0 would not load it" % path)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
