#!/usr/bin/env python3
"""Writes a copy of a good image with one fault planted in its headers, as a linker or a tool
after it could leave it. Usage: plant_header.py IMAGE FAULT COPY"""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import pe_facts as pe  # noqa: E402


def plant(image, fault):
    """(file offset, struct format, value) of each fault."""
    code = image.section_at(image.entry)
    data = next(s for s in image.section_list if s.characteristics & pe.SCN_WRITE)
    resources = image.section_at(image.directory[pe.RESOURCE_DIRECTORY][0])
    relocations = image.offset(image.directory[pe.RELOCATION_DIRECTORY][0])
    first = struct.unpack_from("<H", image.data, relocations + 8)[0]
    image.imports()
    imports = image.section_at(image.address_tables[0])
    flags = lambda section, bit: (section.header + 36, "<I", section.characteristics | bit)  # noqa: E731
    directory = lambda index: (image.opt + 96 + 8 * index, "<II", image.entry, 28)  # noqa: E731
    return {
        "relocations-stripped": (image.pe + 22, "<H", image.characteristics | pe.IMAGE_FILE_RELOCS_STRIPPED),
        "relocations-missing": (image.opt + 96 + 8 * pe.RELOCATION_DIRECTORY, "<II", 0, 0),
        "relocation-block": (relocations + 4, "<I", 6),
        "relocation-type": (relocations + 8, "<H", first & 0xFFF | 0xA000),
        "writable-code": flags(code, pe.SCN_WRITE),
        "executable-data": flags(data, pe.SCN_EXECUTE),
        "shared-data": flags(data, pe.SCN_SHARED),
        "writable-resources": flags(resources, pe.SCN_WRITE),
        "read-only-imports": (imports.header + 36, "<I", imports.characteristics & ~pe.SCN_WRITE),
        "image-base": (image.opt + 28, "<I", 0x10000000),
        "entry-outside-code": (image.opt + 16, "<I", resources.vaddr),
        "console": (image.opt + 68, "<H", 3),
        "os-version": (image.opt + 40, "<HH", 6, 0),
        "debug": directory(6), "load-configuration": directory(10), "bound-import": directory(11),
        "delay-import": directory(13), "com": directory(14),
    }[fault]


def main(source, fault, copy):
    image = pe.Image(source)
    data = bytearray(image.data)
    if fault == "truncated":
        data = data[:len(data) // 2]
    else:
        at, layout, *values = plant(image, fault)
        struct.pack_into(layout, data, at, *values)
    with open(copy, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main(*sys.argv[1:])
