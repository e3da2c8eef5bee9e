#!/usr/bin/env python3
"""Timing and CPU time of a modem call under Wine (numbers for docs/benchmarks.md, no
assertions).

    python3 tests/modemcall/call_timing.py --build-dir build/win32 \\
        --exe build/win32/Farlink.exe --driver build/win32/tools/driver/ui_driver.exe

exchange: Dial to the frame at the station (the program waits 5000 ms after the connect
before it writes) and Dial to the reply line, several rounds.
connected_cpu: CPU time (user + kernel, /proc) of the program while a connected call waits
30 s for the station's answer.
idle_cpu: the same for the idle dialog, as a baseline.
dial_wait_cpu: the same while dialling waits to be enabled after a pause character (from the
first trace line of the wait to its time-out).
bare_wait_cpu: the platform's own cost beside connected_cpu: tools/bench/comm_wait.exe holds
COM1 as the data channel does (a read, an event wait, or both pending) for 30 s.
"""

import statistics
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parents[0] / "tapi"))

from modemcall import (ARGS, CONNECTS, DIAL_NUMBER, LINE, REPLY, read_frame,  # noqa: E402
                       start_call, wait_ready_again, wait_status)
from startup_test import cpu_seconds  # noqa: E402
from farlink_wine import run_cases  # noqa: E402

ROUNDS = 5


def exchange(args):
    frames, replies = [], []
    for _ in range(ROUNDS):
        with args.session(com_ports=["COM1"]) as s:
            app, dlg, pressed = start_call(s, LINE + CONNECTS)
            _, frame_at = read_frame(s.port("COM1"))
            s.port("COM1").write(REPLY)
            wait_status(dlg, lambda l: "Connected to " + DIAL_NUMBER in l, 20)
            replies.append(time.monotonic() - pressed)
            frames.append(frame_at - pressed)
            wait_ready_again(dlg)
            dlg.close()
            app.wait(30)
    for name, times in (("Dial to frame at the station", frames),
                        ("Dial to reply line", replies)):
        print("BENCH %s: median %.0f ms, min %.0f ms, max %.0f ms (%d runs)" % (
            name, statistics.median(times) * 1000, min(times) * 1000, max(times) * 1000,
            len(times)))


def connected_cpu(args):
    with args.session(com_ports=["COM1"]) as s:
        app, dlg, _ = start_call(s, LINE + CONNECTS)
        read_frame(s.port("COM1"))
        before, began = cpu_seconds(app.popen.pid), time.monotonic()
        time.sleep(30)
        cpu, took = cpu_seconds(app.popen.pid) - before, time.monotonic() - began
        s.port("COM1").write(REPLY)
        wait_ready_again(dlg)
        dlg.close()
        app.wait(30)
    print("BENCH connected call waiting %.1f s for the station: program CPU %.2f s" % (took, cpu))


def idle_cpu(args):
    with args.session(com_ports=["COM1"]) as s:
        app = s.start_farlink(list(ARGS), tapi=LINE)
        time.sleep(2)
        before, began = cpu_seconds(app.popen.pid), time.monotonic()
        time.sleep(30)
        cpu, took = cpu_seconds(app.popen.pid) - before, time.monotonic() - began
    print("BENCH idle dialog for %.1f s, no call: program CPU %.2f s" % (took, cpu))


def dial_wait_cpu(args):
    with args.session(com_ports=["COM1"]) as s:
        app, dlg, _ = start_call(s, LINE + "  callfeatures LINECALLFEATURE_DROP\n",
                                 ["/DIAL:555?1234"] + ARGS[1:])
        app.wait_trace(lambda t: "Waiting for dialing to be enabled." in t)
        before, began = cpu_seconds(app.popen.pid), time.monotonic()
        app.wait_trace(lambda t: "WAITTIMEDOUT" in t, timeout=60)
        cpu, took = cpu_seconds(app.popen.pid) - before, time.monotonic() - began
        wait_ready_again(dlg)
        dlg.close()
        app.wait(30)
    print("BENCH dialling waiting %.1f s to be enabled: program CPU %.2f s" % (took, cpu))


def bare_wait_cpu(args):
    bare = args.build_dir / "tools" / "bench" / "comm_wait.exe"
    with args.session(com_ports=["COM1"]) as s:
        program = s.install(bare, folder="bench")
        for mode in ("read", "event", "both"):
            proc = s.start(program, [mode, "33"], trace=False)
            time.sleep(2)  # the port opened and its requests pending
            before, began = cpu_seconds(proc.popen.pid), time.monotonic()
            time.sleep(30)
            cpu, took = cpu_seconds(proc.popen.pid) - before, time.monotonic() - began
            proc.wait(30)
            assert "done" in proc.stderr_text(), proc.stderr_text()
            print("BENCH bare port, %s pending for %.1f s: CPU %.2f s" % (mode, took, cpu))


CASES = {"exchange": exchange, "bare_wait_cpu": bare_wait_cpu, "idle_cpu": idle_cpu, "connected_cpu": connected_cpu,
         "dial_wait_cpu": dial_wait_cpu}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))
