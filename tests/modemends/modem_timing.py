#!/usr/bin/env python3
"""Timing of a modem call under Wine (numbers for the notes, no assertions).

    python3 tests/modemends/modem_timing.py --build-dir build/win32 \\
        --exe build/win32/Farlink.exe --driver build/win32/tools/driver/ui_driver.exe

exchange: from Dial to the login at the station (against the 5000 ms pause before it is written,
after a call that connects 1400 ms after lineMakeCall) and to the station's answer, several rounds.
call_cpu: CPU time (user + kernel, from /proc) of the program during 30 s of a call at its dial
tone, and during the 30 s that Hangup waits for a call that never goes idle.
"""

import statistics
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parent / "tapi"))

from modem_session import CLOSE, HANGUP, READY, ModemRun, answered, call_state  # noqa: E402
from farlink_wine import run_cases  # noqa: E402
from startup_test import cpu_seconds  # noqa: E402
from station_process import Station  # noqa: E402

ROUNDS = 5
PAUSE_MS, CONNECT_MS = 5000, 1400


def exchange(args):
    to_frame, to_answer = [], []
    scenario = "".join(answered(n) for n in range(1, ROUNDS + 1))
    with args.session(com_ports=["COM1"]) as s, Station(s, "--link", "modem") as station:
        run = ModemRun(s, scenario)
        for _ in range(ROUNDS):
            seen = len(station.events())
            clicked = time.time()
            run.dial()
            run.wait_status(READY, timeout=40, settle=0.2)
            events = station.events()[seen:]
            frame = [e for e in events if e["event"] == "frame"][0]
            answer = [e for e in events if e["event"] == "answer"][0]
            to_frame.append(frame["wall"] - clicked)
            to_answer.append(answer["wall"] - clicked)
    floor = (PAUSE_MS + CONNECT_MS) / 1000.0
    for name, times in (("Dial to the login at the station", to_frame),
                        ("Dial to the station's answer", to_answer)):
        print("BENCH %s: median %.0f ms, min %.0f ms, max %.0f ms (%d calls; floor %.0f ms)" % (
            name, statistics.median(times) * 1000, min(times) * 1000, max(times) * 1000,
            len(times), floor * 1000))


def call_cpu(args):
    with args.session(com_ports=["COM1"]) as s:
        scenario = "drop-idle no\n" + call_state(1, 100, "LINECALLSTATE_DIALTONE",
                                                  "LINEDIALTONEMODE_NORMAL")
        run = ModemRun(s, scenario)
        pid = run.app.popen.pid
        run.dial()
        run.wait_status("Dial Tone", settle=0)
        before = cpu_seconds(pid)
        time.sleep(30)
        during = cpu_seconds(pid) - before
        run.mark()
        before, began = cpu_seconds(pid), time.monotonic()
        run.dlg.click(HANGUP)
        run.wait_status(READY, timeout=60, settle=0)
        waited, stopping = time.monotonic() - began, cpu_seconds(pid) - before
        run.dlg.click(CLOSE)
        run.app.wait(30)
    print("BENCH program CPU time: %.2f s in 30 s of a call at its dial tone; %.2f s in the %.1f s"
          " Hangup waited for a call that never went idle" % (during, stopping, waited))


CASES = {"exchange": exchange, "call_cpu": call_cpu}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))
