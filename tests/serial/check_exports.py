#!/usr/bin/env python3
"""Reads the export table of a PE file and compares it with the serial library's names."""
import struct
import sys

SC_NAMES = """SCPortOpen SCPortClose SCIsPortFree SCInstallUserRoutine SCSetDtr SCSetRts SCAlloc
SCFree SCClearTxBuffer SCClearRxBuffer SCSpaceUsedInRxBuffer SCSpaceFreeInRxBuffer SCIsTxEmpty
SCIsRxEmpty SCIsRxFull SCPeekChar SCPeekLastChar SCReadChar SCReadBuffer SCResetSerial SCBreak
SCSendTxBuf SCWaitTxEmpty SCVerifyTimeout SCWaitMessage SCUserAbort SCWindowsExecute
SCFormatErrorMessage SCUserRoutineDefault SCCapture SCRelease SCSetYieldRx SCSetYieldTx
SCTrace""".split()
EMPTY_ROUTINE = ["SCUserRoutineDefault", "SCCapture", "SCRelease", "SCSetYieldRx",
                 "SCSetYieldTx", "SCTrace"]
HANDINTS = {0x14C: "?HandInts@@YAXPAUgeneric_port@@@Z",
            0x8664: "?HandInts@@YAXPEAUgeneric_port@@@Z"}


class Pe:
    """The headers of a PE file and reads of its data by RVA."""

    def __init__(self, path):
        self.data = data = open(path, "rb").read()
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        assert data[pe:pe + 4] == b"PE\0\0", "not a PE file"
        self.machine, sections, _, _, _, optional_size, self.characteristics = \
            struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        self.pe64 = struct.unpack_from("<H", data, optional)[0] == 0x20B
        self.image_base = struct.unpack_from("<Q", data, optional + 24)[0] if self.pe64 \
            else struct.unpack_from("<I", data, optional + 28)[0]
        self.dll_characteristics = struct.unpack_from("<H", data, optional + 70)[0]
        # The oldest Windows the file says it runs on, and the one its subsystem needs.
        self.os_version = struct.unpack_from("<HH", data, optional + 40)
        self.subsystem_version = struct.unpack_from("<HH", data, optional + 48)
        self.directories = optional + (112 if self.pe64 else 96)
        self.time_stamp, symbols, count = struct.unpack_from("<III", data, pe + 8)
        table = optional + optional_size
        self.spans = [struct.unpack_from("<IIII", data, table + 40 * i + 8)
                      for i in range(sections)]
        # COFF symbols (18 bytes each) and the string table after them, which also holds
        # section names longer than eight characters ("/4" is at offset 4).
        self.strings = symbols + 18 * count if symbols else None
        self.symbol_table = (symbols, count)
        self.sections = {}
        for i in range(sections):
            raw_name = data[table + 40 * i:table + 40 * i + 8].rstrip(b"\0").decode()
            if raw_name.startswith("/") and self.strings is not None:
                at = self.strings + int(raw_name[1:])
                raw_name = data[at:data.index(b"\0", at)].decode()
            self.sections[raw_name] = (self.spans[i], struct.unpack_from(
                "<I", data, table + 40 * i + 36)[0])

    def directory(self, index):
        """(rva, size) of a data directory."""
        return struct.unpack_from("<II", self.data, self.directories + 8 * index)

    def offset(self, rva):
        for size, address, _, raw in self.spans:
            if address <= rva < address + max(size, 1):
                return raw + rva - address
        raise ValueError("rva %#x outside every section" % rva)

    def unpack(self, fmt, rva):
        return struct.unpack_from(fmt, self.data, self.offset(rva))

    def text(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode()


def exports(path):
    """(machine, {name: rva}) of the file's export directory."""
    pe = Pe(path)
    machine = pe.machine
    export_rva, _ = pe.directory(0)
    offset = pe.offset
    data = pe.data
    if export_rva == 0:
        return machine, {}
    d = offset(export_rva)
    (count_functions, count_names, functions, names, ordinals) = struct.unpack_from(
        "<IIIII", data, d + 20)
    result = {}
    for i in range(count_names):
        name_rva = struct.unpack_from("<I", data, offset(names) + 4 * i)[0]
        end = data.index(b"\0", offset(name_rva))
        name = data[offset(name_rva):end].decode()
        ordinal = struct.unpack_from("<H", data, offset(ordinals) + 2 * i)[0]
        result[name] = struct.unpack_from("<I", data, offset(functions) + 4 * ordinal)[0]
    return machine, result


def main(path):
    machine, table = exports(path)
    expected = set(SC_NAMES) | {HANDINTS[machine]}
    problems = []
    if set(table) != expected:
        problems.append("missing %s, unexpected %s" % (sorted(expected - set(table)),
                                                       sorted(set(table) - expected)))
    if len(table) != 35:
        problems.append("%d exported names, not 35" % len(table))
    if len({table.get(n) for n in EMPTY_ROUTINE}) != 1:
        problems.append("the six empty-routine names are not one routine")
    if len({table[n] for n in table if n not in EMPTY_ROUTINE}) != 29:
        problems.append("some other names share a routine")
    for p in problems:
        print("FAIL %s: %s" % (path, p))
    print("%s: %d exports, machine %#x" % (path, len(table), machine))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
