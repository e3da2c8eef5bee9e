#!/usr/bin/env python3
"""What one overlapped comm-event wait costs a process under Wine, measured with a bare Win32
program (tools/bench/comm_wait_growth.c) that shares no code with Farlink.

    python3 tools/bench/comm_wait_growth.py --build-dir build/win32 [--cycles 420]

It runs the program twice on a COM port wired to a pty: `wait` starts a WaitCommEvent for
EV_TXEMPTY before each one-byte send, as the serial library's receive thread does; `plain`
sends the same bytes with no comm-event wait. For each it prints the process heap's bytes in
use and the committed memory after the warm-up and at the end, and the growth per wait that
was pending. Under Wine 8 every pending wait runs on a thread of Wine's own that ends without
the usual thread clean-up, so `wait` grows by a fixed amount per wait and `plain` stays flat.
The endurance run (tools/endurance/endurance.py) calls measure() to take that amount off the
program's memory figures.
"""

import argparse
import re
import sys
import threading
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "wine"))

from farlink_wine import HarnessError, WineSession  # noqa: E402

_LINE = re.compile(r"cycles (\d+) waits (\d+) busy (\d+) blocks (\d+) committed (\d+)")


def _drain(port, stop):
    while not stop.is_set():
        port.read(0.2)


def run_mode(session, exe, port_name, cycles, mode):
    """Rows [(cycles, waits, busy, blocks, committed)] of one run of the program."""
    installed = session.install(exe, folder="bench")
    stop = threading.Event()
    drain = threading.Thread(target=_drain, args=(session.port(port_name), stop), daemon=True)
    drain.start()
    try:
        proc = session.start(installed, [port_name, str(cycles), mode], trace=False)
        code = proc.wait(120)
    finally:
        stop.set()
        drain.join(2)
    output = proc.stderr_text()
    rows = [tuple(int(g) for g in m.groups()) for m in _LINE.finditer(output)]
    if code != 0 or len(rows) < 2:
        raise HarnessError("comm_wait_growth %s: exit %s\n%s" % (mode, code, output[-2000:]))
    return rows


def growth_per_wait(rows):
    """(heap bytes, committed bytes) gained per pending wait from the first row to the last."""
    first, last = rows[0], rows[-1]
    waits = last[1] - first[1]
    if waits <= 0:
        return 0.0, 0.0
    return (last[2] - first[2]) / waits, (last[4] - first[4]) / waits


def measure(session, build_dir, port_name, cycles=420):
    """{mode: rows} for both modes, run in `session` on `port_name`."""
    exe = Path(build_dir) / "tools" / "bench" / "comm_wait_growth.exe"
    return {mode: run_mode(session, exe, port_name, cycles, mode) for mode in ("wait", "plain")}


def main():
    p = argparse.ArgumentParser(description=__doc__,
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--build-dir", required=True)
    p.add_argument("--cycles", type=int, default=420)
    args = p.parse_args()
    build = Path(args.build_dir).resolve()
    with WineSession(build, "comm-wait-growth", com_ports=["COM1"]) as s:
        results = measure(s, build, "COM1", args.cycles)
    for mode, rows in results.items():
        first, last = rows[0], rows[-1]
        heap, committed = growth_per_wait(rows)
        print("%-5s cycles %d-%d, pending waits %d: heap in use %d -> %d bytes (%d -> %d blocks),"
              " committed %d -> %d; per pending wait: heap %+.0f B, committed %+.0f B"
              % (mode, first[0], last[0], last[1] - first[1], first[2], last[2], first[3],
                 last[3], first[4], last[4], heap, committed))
        if mode == "plain":
            print("       plain: heap in use %+d bytes over %d sends with no wait"
                  % (last[2] - first[2], last[0] - first[0]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
