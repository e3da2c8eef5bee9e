"""What the modem-call tests share: scenarios, the dialog's Status lines, boxes, the station."""

import re
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "wine"))
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tapi"))
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "profiles"))
from farlink_driver import Window  # noqa: E402
from farlink_wine import MAIN_CAPTION, WineUnavailable, wait_for  # noqa: E402
from startup_test import main_dialog  # noqa: E402,F401  (the main dialog among the boxes)

DIAL, HANGUP, LINE_LIST, STATUS = 3, 6, 1001, 1008
READY = "Ready to make a call."

DIAL_NUMBER = "5551234"
ARGS = ["/DIAL:" + DIAL_NUMBER, "/MYNUMBER:5550000", "/USER:alice", "/PASS:s3cret-pw",
        "/DOMAIN:OFFICE"]
# The modem form of the login frame for ARGS: each field after a separator, one at the end.
FRAME = b"\x10" + b"\x10".join([b"5550000", b"alice", b"s3cret-pw", b"OFFICE"]) + b"\x10"
# The station's answer: "Connected to <number>", "Command executed successfully."
REPLY = b"\x10\x00\x06"

LINE = 'line "Modem One"\n  comm COM1\n'
# A call that goes through every progress state and connects.
PROGRESS = """
event makecall 50 LINE_CALLSTATE call LINECALLSTATE_DIALTONE LINEDIALTONEMODE_NORMAL 0
event makecall 100 LINE_CALLSTATE call LINECALLSTATE_DIALING 0 0
event makecall 150 LINE_CALLSTATE call LINECALLSTATE_PROCEEDING 0 0
event makecall 200 LINE_CALLSTATE call LINECALLSTATE_RINGBACK 0 0
"""
CONNECTS = PROGRESS + "event makecall 300 LINE_CALLSTATE call LINECALLSTATE_CONNECTED 0 0\n"


def require_calls(args):
    """Skips while the exe under test places no calls."""
    if b"lineMakeCall" not in Path(args.exe).read_bytes():
        raise WineUnavailable("%s does not place calls" % Path(args.exe).name)


def status_lines(dlg):
    return [line for line in re.split(r"[\r\n]+", dlg.text(STATUS)) if line]


def wait_status(dlg, predicate, timeout=20.0, what="status lines"):
    """Waits until predicate(lines) holds; returns the lines."""
    def ready():
        lines = status_lines(dlg)
        return lines if predicate(lines) else None
    return wait_for(ready, timeout, what=what)


def wait_ready_again(dlg, timeout=20.0):
    """Waits for the "Ready to make a call." that ends an attempt (the first is the start's)."""
    return wait_status(dlg, lambda lines: lines.count(READY) >= 2, timeout,
                       what="the attempt's end")


def find_box(s, caption=MAIN_CAPTION):
    """An open message box with this caption: (window, text) or None."""
    ui = s.driver()
    for handle, _pid, cls, title in ui.windows():
        if title == caption and cls == "#32770":
            window = Window(ui, handle)
            if any(c["id"] == LINE_LIST for c in window.controls()):
                continue
            _, text, _buttons = window.message_box()
            return window, text.replace("\r\n", "\n")
    return None


def wait_box(s, caption=MAIN_CAPTION, timeout=20.0):
    return wait_for(lambda: find_box(s, caption), timeout, what="a box captioned %r" % caption)


def dismiss_box(s, expected_text, caption=MAIN_CAPTION, timeout=20.0):
    window, text = wait_box(s, caption, timeout)
    assert text == expected_text, repr(text)
    window.press(1)  # OK
    window.wait_gone()


def start_call(s, scenario, args=ARGS, delay=0.0):
    """Starts the program on the scenario, presses Dial (after `delay` s, for events the
    scenario sends at start); returns (app, dialog, press time)."""
    app = s.start_farlink(list(args), tapi=scenario)
    dlg = main_dialog(s)
    wait_status(dlg, lambda lines: lines == [READY], what="the start's ready line")
    time.sleep(delay)
    pressed = time.monotonic()
    dlg.click(DIAL)
    return app, dlg, pressed


def read_frame(port, timeout=30.0):
    """The bytes the station gets up to the frame's last separator, and when they came."""
    data = port.read_until(lambda b: len(b) >= len(FRAME), timeout)
    return data, time.monotonic()


def names(log, *functions):
    """The calls of these functions in the provider log, in order."""
    return [e.name for e in log.calls() if e.name in functions]


def call_ending(log):
    """Drop, deallocate and close of the attempt, in order (the line list's probe opened and
    closed the line once before: only what follows the last lineOpen counts)."""
    calls = log.calls()
    opened = max((i for i, e in enumerate(calls) if e.name == "lineOpen"), default=-1)
    return [e.name for e in calls[opened + 1:]
            if e.name in ("lineDrop", "lineDeallocateCall", "lineClose")]
