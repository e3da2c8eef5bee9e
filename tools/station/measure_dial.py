#!/usr/bin/env python3
"""Measures a direct-cable dial under Wine: from pressing Dial to the reply, against its floor.

The floor is the program's fixed 1000 ms pause before the connection request plus the time the
exchange's bytes take on a 19200 baud 8N1 line (10 bits a byte); the simulated station adds its
own answer delay, reported separately. A pty moves bytes at once, so the wire time is only counted
in the floor, not in what is measured.

    python3 tools/station/measure_dial.py --build-dir build/win64 [--runs 5]
        [--compare-exe OTHER/Farlink.exe] [--rounds 1]

With --compare-exe the other program (an earlier build, say) dials in the same session, round by
round in turn with this build's, so both meet the same moments of a shared machine.
"""

import argparse
import os
import statistics
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "wine"))
sys.path.insert(0, str(Path(__file__).resolve().parent))

from farlink_wine import MAIN_CAPTION, WineSession, wait_for  # noqa: E402
from station_process import Station  # noqa: E402

DIRECT, PORTS, DIAL, IDOK = 1010, 1007, 3, 1
PAUSE_MS = 1000
BYTE_MS = 10 * 1000.0 / 19200


def one_dial(dlg, station):
    seen = len(station.events())
    clicked = time.time()
    dlg.click(DIAL)
    box = dlg.wait_owned(30)
    noticed = time.time()
    events = station.events()[seen:]
    box.press(IDOK)
    box.wait_gone(10)
    frames = [e for e in events if e["event"] == "frame"]
    answers = [e for e in events if e["event"] == "answer"]
    wire = sum(len(e["raw"]) // 2 for e in frames + answers[:2])  # up to the reply
    return {
        "connect request": (frames[0]["wall"] - clicked) * 1000,
        "reply sent": (answers[1]["wall"] - clicked) * 1000,
        # The reply lines are written, then the hang-up request goes out at once.
        "reply shown (hang-up request seen)": (frames[2]["wall"] - clicked) * 1000,
        "notice box": (noticed - clicked) * 1000,
        "wire bytes": wire,
    }


def dial_series(s, station, exe, runs):
    """One run of `exe`: a warm-up dial (Wine loads the serial code on first use), then `runs`."""
    app = s.start_farlink(["/DIAL:1", "/USER:operator", "/PASS:secret", "/DOMAIN:FIELD"], exe=exe)
    dlg = s.driver().find_window(MAIN_CAPTION)
    dlg.click(DIRECT)
    wait_for(lambda: dlg.enabled(PORTS), 10, what="Direct type")
    one_dial(dlg, station)
    measured = [one_dial(dlg, station) for _ in range(runs)]
    dlg.close()
    app.wait(30)
    return measured


def report(title, runs, station_delay_ms):
    """Prints the medians and returns the reply-shown median above the floor and delays."""
    wire = runs[0]["wire bytes"]
    floor = PAUSE_MS + wire * BYTE_MS
    print("%s: %d dials after one warm-up a run; milliseconds from pressing Dial:"
          % (title, len(runs)))
    for key in ("connect request", "reply sent", "reply shown (hang-up request seen)", "notice box"):
        values = [r[key] for r in runs]
        print("  %-36s median %7.1f  min %7.1f  max %7.1f" % (
            key, statistics.median(values), min(values), max(values)))
    print("Floor: %d ms pause + %d bytes at 19200 baud (%.1f ms) = %.1f ms;"
          " the station adds 2 x %.0f ms before its answers."
          % (PAUSE_MS, wire, wire * BYTE_MS, floor, station_delay_ms))
    shown = statistics.median(r["reply shown (hang-up request seen)"] for r in runs)
    print("Reply shown, median: %.1f ms = floor + station delays + %.1f ms"
          % (shown, shown - floor - 2 * station_delay_ms))
    # A pty moves the bytes at once, so what the program itself adds is the time above the
    # pause and the station's delays alone.
    ours = shown - PAUSE_MS - 2 * station_delay_ms
    print("Above the pause and the station delays (a pty has no wire time): %.1f ms" % ours)
    return ours


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--build-dir", required=True)
    p.add_argument("--runs", type=int, default=5, help="dials per run of the program")
    p.add_argument("--rounds", type=int, default=1, help="runs of each program, in turn")
    p.add_argument("--compare-exe", help="another Farlink.exe to dial beside this build's")
    p.add_argument("--station-delay-ms", type=float, default=20.0)
    args = p.parse_args()
    build = Path(args.build_dir).resolve()
    exes = {"this build": str(build / "Farlink.exe")}
    if args.compare_exe:
        exes["compared"] = str(Path(args.compare_exe).resolve())
    os.environ["FARLINK_DRIVER"] = str(build / "tools" / "driver" / "ui_driver.exe")
    runs = {title: [] for title in exes}
    with WineSession(build, "measure-dial", com_ports=["COM1"]) as s, \
            Station(s, "--delay-ms", str(args.station_delay_ms)) as station:
        for _ in range(args.rounds):
            for title, exe in exes.items():
                runs[title] += dial_series(s, station, exe, args.runs)
    above = {title: report(title, measured, args.station_delay_ms)
             for title, measured in runs.items()}
    if args.compare_exe:
        print("Above the pause and the station delays: this build %.1f ms, compared %.1f ms"
              % (above["this build"], above["compared"]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
