#!/usr/bin/env python3
"""Start-up and idle cost of Farlink.exe under Wine, each beside the smallest dialog program
(tools/bench/bare_dialog.c) measured in the same run.

Start-up: from starting the program to its dialog showing "Ready to make a call." (the bare
dialog shows the same text). Idle: the program's CPU time (user + kernel, from the UI driver)
over a minute with the dialog open and nothing happening.

    python3 tools/bench/startup_idle.py --build-dir build/win32 [--starts 5] [--idle-seconds 60]
"""

import argparse
import os
import statistics
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "wine"))

from farlink_driver import DriverError  # noqa: E402
from farlink_wine import MAIN_CAPTION, WineSession  # noqa: E402

READY = "Ready to make a call."
STATUS, BARE_TEXT = 1008, 100


def shows_ready(ui, caption, control):
    def ready():
        window = ui.try_find_window(caption)
        try:
            return window if window and READY in window.text(control) else None
        except DriverError:
            return None  # the dialog is still being built
    return ready


def timed_start(session, program, caption, control):
    """(milliseconds to the ready text, process, window)."""
    ui = session.driver()
    ready = shows_ready(ui, caption, control)
    start = time.monotonic()
    proc = session.start(program, env=None, trace=False, ready=ready, ready_timeout=60)
    took = (time.monotonic() - start) * 1000
    return took, proc, ready()


def idle_cpu_ms(session, window, seconds):
    before = session.driver().counters(window.pid())["cpu_ms"]
    time.sleep(seconds)
    return session.driver().counters(window.pid())["cpu_ms"] - before


def close(proc, window):
    window.close()
    proc.wait(30)


def main():
    p = argparse.ArgumentParser(description=__doc__,
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--build-dir", required=True)
    p.add_argument("--starts", type=int, default=5)
    p.add_argument("--idle-seconds", type=float, default=60)
    args = p.parse_args()
    build = Path(args.build_dir).resolve()
    os.environ["FARLINK_DRIVER"] = str(build / "tools" / "driver" / "ui_driver.exe")
    programs = {"Farlink": (build / "Farlink.exe", MAIN_CAPTION, STATUS),
                "bare dialog": (build / "tools" / "bench" / "bare_dialog.exe", "Bare Dialog",
                                BARE_TEXT)}
    starts = {name: [] for name in programs}
    idle = {}
    with WineSession(build, "startup-idle", com_ports=["COM1"]) as s:
        installed = {name: (s.install(exe, folder=name.replace(" ", "")), caption, control)
                     for name, (exe, caption, control) in programs.items()}
        for round in range(args.starts + 1):  # round 0 warms Wine's caches up, not counted
            for name, (exe, caption, control) in installed.items():
                took, proc, window = timed_start(s, exe, caption, control)
                if round:
                    starts[name].append(took)
                if round == args.starts:
                    idle[name] = idle_cpu_ms(s, window, args.idle_seconds)
                close(proc, window)
    farlink, bare = (statistics.median(starts[n]) for n in programs)
    print("Start-up to %r, median of %d starts after one warm-up:" % (READY, args.starts))
    for name in programs:
        print("  %-12s median %7.1f ms  min %7.1f  max %7.1f" % (
            name, statistics.median(starts[name]), min(starts[name]), max(starts[name])))
    print("  ratio Farlink / bare dialog: %.2f" % (farlink / bare))
    print("CPU time over %.0f s idle with the dialog open:" % args.idle_seconds)
    for name in programs:
        print("  %-12s %6d ms" % (name, idle[name]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
