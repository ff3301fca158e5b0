#!/usr/bin/env python3
"""Writes a copy of a good image with one header fault planted, as a linker or a later tool could
leave it. Usage: plant_header.py IMAGE FAULT COPY"""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import pe_facts as pe  # noqa: E402

image = pe.Image(sys.argv[1])
code, resources, imports = (image.section_at(rva) for rva in (
    image.entry, image.directory[pe.RESOURCE_DIRECTORY][0], image.address_tables()[0]))
data = next(s for s in image.section_list if s.characteristics & pe.SCN_WRITE and s.rawsize)  # not .bss
blocks = image.offset(image.directory[pe.RELOCATION_DIRECTORY][0])
flags = lambda s, set=0, clear=0: (s.header + 36, "<I", s.characteristics & ~clear | set)  # noqa
directory = lambda index, rva=image.entry, size=28: (image.opt + 96 + 8 * index, "<II", rva, size)  # noqa
faults = {  # fault: (file offset, struct format, values...)
    "relocations-stripped": (image.pe + 22, "<H", image.characteristics | pe.IMAGE_FILE_RELOCS_STRIPPED),
    "relocations-missing": directory(pe.RELOCATION_DIRECTORY, 0, 0),
    "relocation-block": (blocks + 4, "<I", 6),
    "relocation-type": (blocks + 8, "<H", struct.unpack_from("<H", image.data, blocks + 8)[0] & 0xFFF | 0xA000),
    "writable-code": flags(code, pe.SCN_WRITE), "executable-data": flags(data, pe.SCN_EXECUTE),
    "shared-data": flags(data, pe.SCN_SHARED), "writable-resources": flags(resources, pe.SCN_WRITE),
    "read-only-imports": flags(imports, clear=pe.SCN_WRITE),
    "image-base": (image.opt + 28, "<I", 0x10000000), "entry-outside-code": (image.opt + 16, "<I", resources.vaddr),
    "console": (image.opt + 68, "<H", 3), "os-version": (image.opt + 40, "<HH", 6, 0),
    "debug": directory(6), "load-configuration": directory(10), "bound-import": directory(11),
    "delay-import": directory(13), "com": directory(14),
}
copy = bytearray(image.data)
if sys.argv[2] == "truncated":
    del copy[len(copy) // 2:]
else:
    at, layout, *values = faults[sys.argv[2]]
    struct.pack_into(layout, copy, at, *values)
with open(sys.argv[3], "wb") as f:
    f.write(copy)
