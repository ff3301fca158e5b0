#!/usr/bin/env python3
"""Reads the facts of a 32-bit Windows image that the release depends on: machine, header
subsystem version, link timestamp, loader flags, TLS, exports and imports.

  pe_facts.py --check FILE    checks them against what QXLAUNCH.DLL must be; exit 1 on a fault
  pe_facts.py --gate FILE     the same after every link, and a faulty FILE is deleted, so that
                              nothing built later (the release zip) can take it
  pe_facts.py --report FILE   prints size, header facts and the import list
  pe_facts.py --imports FILE  prints the imported DLL names, comma-separated
"""
import os
import struct
import sys

# The DLLs every Windows since 95 and NT 3.1 has: COMCTL32, COMDLG32 and SHELL32 are bound at
# first use, so that attach maps nothing the terminal may never need, and no C runtime is used.
ALLOWED_IMPORTS = {"kernel32.dll", "user32.dll", "advapi32.dll"}
ALLOWED_FUNCTIONS_FILE = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                      "win95-nt4-imports.txt")
MACHINE_I386 = 0x14C
PE32_MAGIC = 0x10B
IMAGE_FILE_DLL = 0x2000
DYNAMIC_BASE = 0x40
NX_COMPAT = 0x100
EXPORT_DIRECTORY = 0
TLS_DIRECTORY = 9


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


class Image:
    def __init__(self, path):
        self.data = open(path, "rb").read()
        self.size = len(self.data)
        if self.data[:2] != b"MZ":
            raise ValueError("not an MZ image")
        pe = struct.unpack_from("<I", self.data, 0x3C)[0]
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        (self.machine, sections, self.timestamp, _, _, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", self.data, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from("<H", self.data, opt)[0]
        if self.magic != PE32_MAGIC:
            raise ValueError("not a PE32 image (optional header magic 0x%x)" % self.magic)
        self.subsystem_version = struct.unpack_from("<HH", self.data, opt + 48)
        self.image_base = struct.unpack_from("<I", self.data, opt + 28)[0]
        self.subsystem, self.dll_characteristics = struct.unpack_from("<HH", self.data, opt + 68)
        directories = struct.unpack_from("<I", self.data, opt + 92)[0]
        self.directory = [struct.unpack_from("<II", self.data, opt + 96 + 8 * i)
                          for i in range(min(directories, 16))]
        table = opt + optional_size
        self.sections = []
        for i in range(sections):
            name, vsize, vaddr, rawsize, rawptr = struct.unpack_from("<8sIIII", self.data, table + 40 * i)
            self.sections.append((vaddr, max(vsize, rawsize), rawptr))

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

    def imports(self):
        """[(dll name, [function names or '#ordinal'])] in the image's order."""
        rva, size = self.directory[1] if len(self.directory) > 1 else (0, 0)
        result = []
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
            at += 20


def faults(image):
    found = []
    if image.machine != MACHINE_I386:
        found.append("machine is 0x%x, not i386 (0x14c)" % image.machine)
    if not image.characteristics & IMAGE_FILE_DLL:
        found.append("not a DLL (characteristics 0x%x)" % image.characteristics)
    if image.subsystem_version != (4, 0):
        found.append("subsystem version is %d.%d, not 4.0" % image.subsystem_version)
    if image.timestamp != 0:
        found.append("link timestamp 0x%x: two builds would differ" % image.timestamp)
    if image.directory[EXPORT_DIRECTORY][0]:
        functions, names = image.exports()
        found.append("has an export directory (%d functions, %d by name)" % (functions, names))
    if len(image.directory) > TLS_DIRECTORY and image.directory[TLS_DIRECTORY][0]:
        found.append("has a TLS directory, which Windows 95 refuses to load")
    for flag, name in ((DYNAMIC_BASE, "DYNAMIC_BASE"), (NX_COMPAT, "NX_COMPAT")):
        if not image.dll_characteristics & flag:
            found.append("%s is off (DllCharacteristics 0x%x)" % (name, image.dll_characteristics))
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


def main(argv):
    if len(argv) != 3 or argv[1] not in ("--check", "--gate", "--report", "--imports"):
        print(__doc__, file=sys.stderr)
        return 2
    image = Image(argv[2])
    if argv[1] == "--imports":
        print(",".join(dll for dll, _ in image.imports()))
        return 0
    if argv[1] != "--gate":
        report(argv[2], image)
    if argv[1] == "--report":
        return 0
    found = faults(image)
    for fault in found:
        print("FAULT: " + fault)
    print("%s: all facts hold (%d bytes)" % (argv[2], image.size) if not found
          else "%d fault(s)" % len(found))
    if found and argv[1] == "--gate":
        os.remove(argv[2])
        print("%s removed: Windows 95 or NT 4.0 would not load it" % argv[2])
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
