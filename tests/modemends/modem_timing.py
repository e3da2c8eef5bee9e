#!/usr/bin/env python3
"""CPU time of Hangup's wait for a call that never goes idle, under Wine (a number for the notes,
no assertions; the other modem call figures come from tests/modemcall/call_timing.py).

    python3 tests/modemends/modem_timing.py --build-dir build/win32 \\
        --exe build/win32/Farlink.exe --driver build/win32/tools/driver/ui_driver.exe
"""

import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parent / "tapi"))

from modem_session import CLOSE, HANGUP, READY, ModemRun, call_state  # noqa: E402
from farlink_wine import run_cases  # noqa: E402
from startup_test import cpu_seconds  # noqa: E402


def never_idle_wait(args):
    with args.session(com_ports=["COM1"]) as s:
        scenario = "drop-idle no\n" + call_state(1, 100, "LINECALLSTATE_DIALTONE",
                                                 "LINEDIALTONEMODE_NORMAL")
        run = ModemRun(s, scenario)
        pid = run.app.popen.pid
        run.dial()
        run.wait_status("Dial Tone", settle=0)
        run.mark()
        before, began = cpu_seconds(pid), time.monotonic()
        run.dlg.click(HANGUP)
        run.wait_status(READY, timeout=60, settle=0)
        waited, cpu = time.monotonic() - began, cpu_seconds(pid) - before
        run.dlg.click(CLOSE)
        run.app.wait(30)
    print("BENCH Hangup of a call that never goes idle: %.1f s, program CPU time %.2f s"
          % (waited, cpu))


CASES = {"never_idle_wait": never_idle_wait}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))
