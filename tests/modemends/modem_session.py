"""Farlink.exe on a modem line of the test telephony provider, the simulated station on its port.

One program run can place many calls: each call's line events are keyed to its own lineMakeCall
(`makecall#N`), so a table of endings runs in one session, call after call.
"""

import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
for folder in (HERE.parent / "wine", HERE.parent / "e2e", HERE.parent / "profiles",
               HERE.parent / "unattended", HERE.parents[1] / "tools" / "station"):
    sys.path.insert(0, str(folder))

from farlink_wine import MAIN_CAPTION, wait_for  # noqa: E402
from main_dialog import READY, status_lines  # noqa: E402
from modem_scenario import ANSWERED, modem_line  # noqa: E402

DIRECT, MODEM, LINES, DIAL, HANGUP, CLOSE = 1010, 1011, 1001, 3, 6, 2
VERIFYING = "Verifying username and password..."
SENDING = "Sending username and password..."
HANGUP_LINE = "Connection Hangup."
IDLE_LINE = "Line is idle"
PASSWORD = "pw-modem-771"
VALUES = ["/DIAL:5551234", "/MYNUMBER:5550100", "/USER:operator", "/PASS:" + PASSWORD,
          "/DOMAIN:FIELD"]
# What the station gets for VALUES: the bare login of a modem call.
FRAME = b"\x105550100\x10operator\x10" + PASSWORD.encode() + b"\x10FIELD\x10"
# The calls that take a call and its line down, in the order they must come.
TEARDOWN = ("lineDrop", "lineDeallocateCall", "lineClose", "lineShutdown")


def event(call, delay, message, device, p1=0, p2=0, p3=0):
    """A scenario line: `message` `delay` ms after the reply to the `call`th lineMakeCall."""
    return "event makecall#%d %d %s %s %s %s %s\n" % (call, delay, message, device, p1, p2, p3)


def call_state(call, delay, state, mode=0, privilege=0):
    return event(call, delay, "LINE_CALLSTATE", "call", state, mode, privilege)


def answered(call):
    """The states of a call that rings through and connects."""
    return "".join(call_state(call, d, state, mode) for d, state, mode in ANSWERED)


class ModemRun:
    """Farlink.exe with the provider's line on COM1; dials and reads what each call did."""

    def __init__(self, session, scenario, args=VALUES):
        self.s = session
        self.app = session.start_farlink(list(args), tapi=modem_line("COM1") + scenario)
        self.dlg = session.driver().find_window(MAIN_CAPTION)
        self.dlg.click(MODEM)
        self._status_mark = 0
        self._log_mark = 0

    def mark(self):
        """From here on, new_status() and new_calls() show only what comes next."""
        self._status_mark = len(status_lines(self.dlg))
        self._log_mark = len(self.s.tapi_log.entries())

    def dial(self):
        self.mark()
        self.dlg.click(DIAL)

    def new_status(self):
        return status_lines(self.dlg)[self._status_mark:]

    def new_entries(self):
        return self.s.tapi_log.entries()[self._log_mark:]

    def new_calls(self, names=None):
        return [e.name for e in self.new_entries()
                if e.kind == "call" and (names is None or e.name in names)]

    def wait_status(self, line, timeout=20.0, settle=0.6):
        """Waits for `line` among the new Status lines, then lets trailing ones arrive."""
        wait_for(lambda: line in self.new_status(), timeout,
                 what="%r after %r" % (line, self.new_status()))
        time.sleep(settle)
        return self.new_status()

    def wait_box(self, timeout=20.0):
        """The box the dialog opened: (window, caption, text)."""
        box = self.dlg.wait_owned(timeout)
        caption, text, _ = box.message_box()
        return box, caption, text

    def dismiss(self, box):
        box.press(box.message_box()[2][0])
        box.wait_gone(10)

    def call_in_progress(self):
        return self.dlg.enabled(HANGUP) and not self.dlg.enabled(DIAL)
