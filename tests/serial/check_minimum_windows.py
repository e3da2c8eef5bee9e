#!/usr/bin/env python3
"""Holds each Windows image to the oldest Windows its build promises, without running it.

The i686 build runs on Windows XP SP3 and later, the x86_64 build on Vista and later. The
image header must name that version (as OS and subsystem version), and every function the
image imports must be in windows_minimums.txt with a documented minimum no newer than it.
Usage: check_minimum_windows.py IMAGE...
"""
import sys
from pathlib import Path

from check_exports import Pe
from check_imports import imports

VERSIONS = {"2000": (5, 0), "XP": (5, 1), "Vista": (6, 0), "7": (6, 1)}
PROMISED = {0x14C: "XP", 0x8664: "Vista"}
ALLOWLIST = Path(__file__).resolve().with_name("windows_minimums.txt")


def allowlist():
    """{(library, function): minimum version name} from the table file."""
    table = {}
    for line in ALLOWLIST.read_text().splitlines():
        fields = line.split()
        if not fields or fields[0].startswith("#"):
            continue
        library, function, minimum = fields[:3]
        if minimum not in VERSIONS:
            raise ValueError("%s: unknown version %r for %s" % (ALLOWLIST.name, minimum, function))
        table[(library.lower(), function)] = minimum
    return table


def problems_of(path, table):
    pe = Pe(path)
    promised = PROMISED.get(pe.machine)
    if promised is None:
        return ["machine %#x has no promised minimum" % pe.machine]
    want = VERSIONS[promised]
    problems = []
    for what, version in (("OS version", pe.os_version), ("subsystem version", pe.subsystem_version)):
        if version != want:
            problems.append("header %s %d.%d, not %d.%d (Windows %s)" % (what, *version, *want,
                                                                       promised))
    for library, functions in sorted(imports(pe).items()):
        for function in functions:
            minimum = table.get((library.lower(), function))
            if minimum is None:
                problems.append("%s!%s is not in %s" % (library, function, ALLOWLIST.name))
            elif VERSIONS[minimum] > want:
                problems.append("%s!%s needs Windows %s; this build promises %s" % (
                    library, function, minimum, promised))
    return problems


def main(paths):
    table = allowlist()
    failed = 0
    for path in paths:
        problems = problems_of(path, table)
        for p in problems:
            print("FAIL %s: %s" % (path, p))
        if problems:
            failed += 1
        else:
            print("%s: every import and the header within Windows %s" % (
                path, PROMISED[Pe(path).machine]))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
