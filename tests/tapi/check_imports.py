#!/usr/bin/env python3
"""Every telephony function a program imports must be exported by the test provider:
Wine refuses to start a program with an import it cannot bind.

    check_imports.py OBJDUMP PROVIDER.dll PROGRAM.exe...
"""
import re
import subprocess
import sys


def dll_section(objdump, path, dll):
    """Names imported from `dll` (case-insensitive) by the PE file at `path`."""
    text = subprocess.run([objdump, "-p", path], capture_output=True, text=True,
                          check=True).stdout
    names, inside = set(), False
    for line in text.splitlines():
        match = re.match(r"\s*DLL Name: (\S+)", line)
        if match:
            inside = match.group(1).lower() == dll
            continue
        entry = re.match(r"\s*[0-9a-f]+\s+\d+\s+(\w+)$", line)
        if inside and entry:
            names.add(entry.group(1))
        elif inside and not line.strip():
            inside = False
    return names


def exported(objdump, path):
    text = subprocess.run([objdump, "-p", path], capture_output=True, text=True,
                          check=True).stdout
    table = text.split("[Ordinal/Name Pointer] Table", 1)[-1]
    return set(re.findall(r"^\s*\[\s*\d+\]\s+(\w+)$", table, re.M))


def main(objdump, provider, programs):
    offered = exported(objdump, provider)
    failed = 0
    for program in programs:
        wanted = dll_section(objdump, program, "tapi32.dll")
        missing = sorted(wanted - offered)
        print("%s: %d telephony imports%s" % (program, len(wanted),
                                              ", missing %s" % missing if missing else ""))
        failed += bool(missing)
    return 1 if failed or not offered else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2], sys.argv[3:]))
