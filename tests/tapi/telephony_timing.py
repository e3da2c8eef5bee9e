#!/usr/bin/env python3
"""Timing of the telephony start-up under Wine (numbers for docs/benchmarks.md, no assertions).

    python3 tests/tapi/telephony_timing.py --build-dir build/win32 \\
        --exe build/win32/Farlink.exe --driver build/win32/tools/driver/ui_driver.exe

startup: time from starting Farlink.exe to its main dialog, with the test provider
(two data-modem lines) and with Wine's own tapi32 stub, several rounds each.
reinit_cpu: CPU time (user + kernel, from /proc) of the program during the 5 s
wait after a first LINEERR_REINIT.
"""

import statistics
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parents[0] / "wine"))

import startup_test as st  # noqa: E402
from farlink_wine import run_cases  # noqa: E402

ROUNDS = 7


def one_start(s, tapi):
    began = time.monotonic()
    app = s.start_farlink([], tapi=tapi, wait_window=False)
    dlg = st.main_dialog(s)
    took = time.monotonic() - began
    st.close_through_close_box(s, app, dlg)
    return took


def startup(args):
    with args.session(com_ports=[]) as s:
        one_start(s, None)  # Wine's own boot at the first program is not the program's
        stub = [one_start(s, None) for _ in range(ROUNDS)]
    with args.session(com_ports=[]) as s:
        one_start(s, st.TWO_MODEMS)
        provider = [one_start(s, st.TWO_MODEMS) for _ in range(ROUNDS)]
    for name, times in (("Wine's stub", stub), ("test provider", provider)):
        print("BENCH start-up to dialog, %s: median %.0f ms, min %.0f ms, max %.0f ms (%d runs)" % (
            name, statistics.median(times) * 1000, min(times) * 1000, max(times) * 1000,
            len(times)))


def reinit_cpu(args):
    scenario = st.TWO_MODEMS + "results lineInitialize LINEERR_REINIT\n"
    samples = []
    for _ in range(3):
        with args.session(com_ports=[]) as s:
            app = s.start_farlink([], tapi=scenario, wait_window=False)
            log = s.tapi_log
            log.wait_call("lineInitialize")
            before = st.cpu_seconds(app.popen.pid)
            log.wait(lambda e: e.call("lineInitialize") and e["result"] == "0", timeout=30)
            after = st.cpu_seconds(app.popen.pid)
            first, second = log.calls("lineInitialize")[:2]
            samples.append((second.num("tick") - first.num("tick"), after - before))
            st.close_through_close_box(s, app, st.main_dialog(s))
    for waited, cpu in samples:
        print("BENCH REINIT wait %d ms, program CPU time meanwhile %.2f s" % (waited, cpu))


CASES = {"startup": startup, "reinit_cpu": reinit_cpu}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))
