#!/usr/bin/env python3
"""Reads the import table and load facts of Farlink.exe without running it.

The exe runs with nothing beside it, so it may import only system libraries the loader never
looks for beside the exe, each function by name. The 32-bit build must sit at its documented address, away from a client's own image,
and stay movable (DYNAMIC_BASE, a relocation table) for when that address is taken.
"""
import sys

from check_exports import Pe

# Libraries the loader always takes from the system: the known DLLs, and comctl32, which the
# exe's manifest names as a side-by-side assembly. Any other library (tapi32, for one) would be
# taken from beside the exe first, so the program loads it itself (shell/SystemLibrary.h).
SYSTEM = {"kernel32.dll", "user32.dll", "gdi32.dll", "comdlg32.dll", "comctl32.dll",
          "shell32.dll", "ole32.dll", "advapi32.dll", "msvcrt.dll"}
I686_BASE = 0x30000000
DYNAMIC_BASE = 0x40
RELOCS_STRIPPED = 0x1


def imports(pe):
    """{library: [function names]}; raises on an entry by ordinal or a table cut short."""
    width, fmt = (8, "<Q") if pe.pe64 else (4, "<I")
    by_ordinal = 1 << (width * 8 - 1)
    table, _ = pe.directory(1)
    found = {}
    for d in range(table, table + 20 * 4096, 20):
        names, _, _, name, slots = pe.unpack("<IIIII", d)
        if name == 0:
            return found
        library = pe.text(name)
        functions = found.setdefault(library, [])
        at = names or slots
        while True:
            entry = pe.unpack(fmt, at)[0]
            if entry == 0:
                break
            if entry & by_ordinal:
                raise ValueError("%s imported by ordinal %d" % (library, entry & 0xFFFF))
            functions.append(pe.text(entry + 2))
            at += width
    raise ValueError("import table without an end")


def main(path):
    pe = Pe(path)
    problems = []
    found = imports(pe)
    foreign = sorted(name for name in found if name.lower() not in SYSTEM)
    if foreign:
        problems.append("imports from libraries that are not the system's: %s" % foreign)
    if not any(name.lower() == "kernel32.dll" for name in found):
        problems.append("no imports from kernel32.dll: the table was not read")
    if pe.machine == 0x14C:
        if pe.image_base != I686_BASE:
            problems.append("image base %#x, not %#x" % (pe.image_base, I686_BASE))
        if not pe.dll_characteristics & DYNAMIC_BASE or pe.characteristics & RELOCS_STRIPPED \
                or pe.directory(5)[1] == 0:
            problems.append("not movable: no DYNAMIC_BASE or no relocation table")
    for p in problems:
        print("FAIL %s: %s" % (path, p))
    print("%s: base %#x, %d functions from %s" % (
        path, pe.image_base, sum(map(len, found.values())), ", ".join(sorted(found))))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
