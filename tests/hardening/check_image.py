#!/usr/bin/env python3
"""Reads the hardening and the reproducibility facts of Farlink's images from the files.

    check_image.py --source SOURCE_DIR FILE...

For every image: movable (DYNAMIC_BASE, relocation table, relocations not stripped), data
not executable (NX_COMPAT), on x86_64 the high-entropy address space, no section both
writable and executable, the last commit's time (or SOURCE_DATE_EPOCH) as its time stamp,
and no path of the source folder inside. For a program also: a manifest asking for
asInvoker, stack canaries (read from the debug file's symbols) and a debug link whose
checksum is that of the debug file beside it. A language module has no code, so it needs no
canaries; and no manifest, which only a program's own takes effect for.
"""
import argparse
import os
import struct
import subprocess
import sys
import zlib
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "serial"))
from check_exports import Pe  # noqa: E402

HIGH_ENTROPY_VA, DYNAMIC_BASE, NX_COMPAT = 0x20, 0x40, 0x100
RELOCS_STRIPPED, IS_DLL = 0x1, 0x2000
MEM_EXECUTE, MEM_WRITE = 0x20000000, 0x80000000
RT_MANIFEST = 24


def commit_time(source):
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return int(os.environ["SOURCE_DATE_EPOCH"])
    done = subprocess.run(["git", "-C", str(source), "log", "-1", "--format=%ct"],
                          capture_output=True, text=True)
    if done.returncode != 0:
        print("SKIP: %s is not a git checkout and SOURCE_DATE_EPOCH is not set" % source)
        sys.exit(77)
    return int(done.stdout)


def resources(pe, kind):
    """The data of every resource of type `kind`."""
    root, _ = pe.directory(2)
    if root == 0:
        return []

    def entries(rva):
        named, numbered = pe.unpack("<HH", rva + 12)
        return [pe.unpack("<II", rva + 16 + 8 * i) for i in range(named + numbered)]

    found = []
    for ident, offset in entries(root):
        if ident != kind or not offset & 0x80000000:
            continue
        for _, names in entries(root + (offset & 0x7FFFFFFF)):
            for _, leaf in entries(root + (names & 0x7FFFFFFF)):
                data, size = pe.unpack("<II", root + leaf)
                start = pe.offset(data)
                found.append(pe.data[start:start + size])
    return found


def symbol_names(pe):
    """Names of the COFF symbol table (a debug file keeps it; the shipped image has none)."""
    start, count = pe.symbol_table
    names, index = set(), 0
    while index < count:
        entry = pe.data[start + 18 * index:start + 18 * index + 18]
        if entry[:4] == b"\0\0\0\0":
            at = pe.strings + struct.unpack_from("<I", entry, 4)[0]
            names.add(pe.data[at:pe.data.index(b"\0", at)].decode(errors="replace"))
        else:
            names.add(entry[:8].rstrip(b"\0").decode(errors="replace"))
        index += 1 + entry[17]  # auxiliary records
    return names


def debug_link(pe):
    """(file name, CRC-32) of the .gnu_debuglink section, or None."""
    if ".gnu_debuglink" not in pe.sections:
        return None
    (_, _, size, raw), _ = pe.sections[".gnu_debuglink"]
    body = pe.data[raw:raw + size]
    name = body[:body.index(b"\0")]
    crc_at = (len(name) + 1 + 3) & ~3
    return name.decode(), struct.unpack_from("<I", body, crc_at)[0]


def problems_of(path, source, stamp):
    pe, path = Pe(path), Path(path)
    program = not pe.characteristics & IS_DLL
    flags = pe.dll_characteristics
    found = []
    if not flags & DYNAMIC_BASE or pe.characteristics & RELOCS_STRIPPED or pe.directory(5)[1] == 0:
        found.append("not movable (DYNAMIC_BASE, relocation table)")
    if not flags & NX_COMPAT:
        found.append("no NX_COMPAT")
    if pe.pe64 and not flags & HIGH_ENTROPY_VA:
        found.append("no HIGH_ENTROPY_VA")
    both = [name for name, (_, traits) in pe.sections.items()
            if traits & MEM_WRITE and traits & MEM_EXECUTE]
    if both:
        found.append("sections both writable and executable: %s" % both)
    if pe.time_stamp != stamp:
        found.append("time stamp %d, not the commit's %d (relink: cmake --build)"
                     % (pe.time_stamp, stamp))
    if str(Path(source).resolve()).encode() in pe.data:
        found.append("holds the source folder's path")
    if program:
        manifests = resources(pe, RT_MANIFEST)
        if not any(b'level="asInvoker"' in m for m in manifests):
            found.append("no manifest asking for asInvoker")
        link = debug_link(pe)
        debug = path.with_name(path.name + ".debug")
        if link is None or link[0] != debug.name:
            found.append("no debug link to %s" % debug.name)
        elif not debug.exists() or zlib.crc32(debug.read_bytes()) != link[1]:
            found.append("debug link checksum is not that of %s" % debug)
        else:
            if not any(n.endswith("__stack_chk_fail") for n in symbol_names(Pe(debug))):
                found.append("no stack protector (__stack_chk_fail absent)")
            if str(Path(source).resolve()).encode() in debug.read_bytes():
                found.append("its debug file holds the source folder's path")
    return found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True)
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    stamp = commit_time(args.source)
    failed = 0
    for path in args.files:
        problems = problems_of(path, args.source, stamp)
        for p in problems:
            print("FAIL %s: %s" % (path, p))
        if not problems:
            print("%s: hardened, stamped %d" % (path, stamp))
        failed += bool(problems)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
