#!/usr/bin/env python3
"""A modem call under Wine while something outside the attempt's own steps acts on the dialog:
a hang-up request the data channel left behind, a Load or a field changed during the call, the
Direct type chosen during it, a Dial inside a stop's or a shutdown's box, line noise while the
modem settles. Each case acts once, at the awkward moment, and checks what must hold whatever
the order: a call is hung up only for its own reasons, its login is the one on screen when Dial
was pressed, Hangup drops the call under way, an accepted Dial dials, handles go before the
telephony usage does, and the station's answer is what decides."""

import sys
import threading
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parent / "direct"))
from modem_session import (CLOSE, DIAL, DIRECT, FRAME, HANGUP, HANGUP_LINE, LINES,  # noqa: E402
                           READY, VALUES, VERIFYING, ModemRun, answered, call_state, event)
from attempt_faults_test import IDRETRY  # noqa: E402
from direct_exchange import EXECUTED, stays_without_box  # noqa: E402
from farlink_driver import IDCANCEL, IDOK, Window  # noqa: E402
from farlink_wine import run_cases, wait_for  # noqa: E402
from main_dialog import DELAY, LOAD  # noqa: E402
from profiles_test import profile_bytes  # noqa: E402
from station_process import Station  # noqa: E402
from unattended_test import LOG, log_lines  # noqa: E402

INVALID_USER = "Invalid user"
REINIT_TEXT = "Tapi line configuration has changed."
COULD_NOT_BE_MADE = "Exit status 3: the call could not be made"
# A second modem on the same port, listed beside the station's.
OTHER_LINE = 'line "Zeta Modem"\n  comm COM1\n'
# What a profile loaded during the call would send instead of the Dial-time login.
OTHER_TEXTS = ("5559999", "5550200", "intruder", "pw-other-93", "ELSEWHERE")
DIALTONE = call_state(1, 100, "LINECALLSTATE_DIALTONE", "LINEDIALTONEMODE_NORMAL")
REINIT = "LINE_LINEDEVSTATE line LINEDEVSTATE_REINIT 0 0"


def boxes(s, dlg):
    """The boxes open beside the main dialog: {handle: (caption, text)}."""
    ui = s.driver()
    return {handle: Window(ui, handle).message_box()[:2]
            for handle, _pid, cls, _title in ui.windows()
            if cls == "#32770" and handle != dlg.handle}


def box_saying(s, dlg, words, timeout=15):
    """The box whose text holds `words`, once it is open."""
    def found():
        hits = [h for h, (_, text) in boxes(s, dlg).items() if words in text]
        return hits[0] if hits else None
    return Window(s.driver(), wait_for(found, timeout, what="a box saying %r" % words))


def in_background(action, *args):
    """Runs a driver action that may only return once the dialog is done with it."""
    worker = threading.Thread(target=action, args=args, daemon=True)
    worker.start()
    return worker


def line_index(dlg, name):
    return next(i for i, item in enumerate(dlg.combo(LINES)[1]) if name in item)


# -- a hang-up request the failed data channel left behind


def stale_hangup_request(s, station):
    """The data channel fails while the modem settles; the call's LINE_CLOSE is served first
    and another program's Dial right after it, before the channel's hang-up request. That
    request was the first call's: the second call is not hung up by it, its login goes out and
    the station's verdict shows."""
    failure = "".join(event(1, 2500, message, device, p1) for message, device, p1 in (
        ("close-comm", "call", 0),   # the service takes the port back: the reads fail
        ("stall", "call", 2000),     # the request is posted meanwhile, after the LINE_CLOSE
        ("LINE_CLOSE", "line", 0)))
    run = ModemRun(s, answered(1) + failure + answered(2))
    other = Window(s.second_driver(), run.dlg.handle)
    run.dial()
    run.wait_status(VERIFYING, settle=0)
    run.mark()
    # Nothing may read the dialog now: the Dial must be the first thing sent to it.
    s.tapi_log.wait(lambda e: e.kind == "stall", 15, what="the stalled provider")
    in_background(other.command, DIAL)  # waits in the queue until the stall is over
    try:
        wait_for(lambda: run.new_status().count(READY) >= 2, 40, what="both calls' ends")
    except TimeoutError:
        pass  # the lines so far say what happened
    got = run.new_status()
    assert EXECUTED in got and station.received() == [FRAME], (got, station.received())


# -- fields that change while the call is under way


def load_while_ringing(s, run):
    run.wait_status("RingBack", settle=0.2)
    assert run.dlg.click(LOAD) == "modal"
    dialog = s.driver().find_window("Load Configuration")
    dialog.file_dialog_open("other.cfg")
    dialog.wait_gone()


def load_in_the_retry_box(s, run):
    box = run.dlg.wait_owned(15)
    assert box.caption() == "Warning", box.message_box()
    # The dialog is disabled under the box: another program sends Load.
    in_background(Window(s.second_driver(), run.dlg.handle).command, LOAD)
    dialog = s.driver().find_window("Load Configuration")
    dialog.file_dialog_open("other.cfg")
    dialog.wait_gone()
    box.press(IDRETRY)


def delay_not_a_number(s, run):
    wait_for(lambda: run.call_in_progress(), 10, what="the call under way")
    run.dlg.put_text(DELAY, "4x5")  # disabled for the Modem type: another program writes it


RINGING = "".join(call_state(1, delay, state) for delay, state in (
    (100, "LINECALLSTATE_DIALTONE"), (300, "LINECALLSTATE_RINGBACK"),
    (7000, "LINECALLSTATE_CONNECTED")))

# name, the provider's scenario, what is done during the call
FIELD_CHANGES = [
    ("load_while_ringing", RINGING, load_while_ringing),
    ("load_in_the_line_retry_box",
     "results lineOpen@0 0 LINEERR_RESOURCEUNAVAIL\n" + answered(1), load_in_the_retry_box),
    ("delay_not_a_number", answered(1), delay_not_a_number),
]


def fields_changed_during_the_call(row):
    """The call goes on with what was on screen when Dial was pressed: its line (every line
    function it calls names the Dial-time line) and its login; nothing in the login step reads
    the fields, so no box about them opens during the call."""
    _, scenario, change = row

    def case(s, station):
        run = ModemRun(s, OTHER_LINE + scenario)
        station_line = line_index(run.dlg, "Station Modem")
        run.dlg.select(LINES, station_line)
        (s.prefix / "drive_c" / "Farlink" / "other.cfg").write_bytes(
            profile_bytes(line_index(run.dlg, "Zeta Modem"), OTHER_TEXTS, 0, 0, 30))
        run.dial()
        change(s, run)
        wait_for(lambda: station.received() or boxes(s, run.dlg), 30,
                 what="the login or a box: %r" % run.new_status())
        assert not boxes(s, run.dlg), ("a box opened during the call", boxes(s, run.dlg))
        devices = [(e.name, e.get("device")) for e in run.new_entries() if e.kind == "call" and
                   e.name in ("lineNegotiateAPIVersion", "lineGetDevCaps", "lineOpen",
                              "lineGetAddressCaps")]
        assert devices and all(d == "0" for _, d in devices), ("not the Dial-time line", devices)
        time.sleep(1.0)  # the rest of a login frame
        assert station.received() == [FRAME], ("not the Dial-time login", station.received())
    return case


# -- the Direct type chosen during a modem call


def hangup_after_direct_chosen(s, station):
    """After a completed exchange, a later modem call during which Direct is chosen: Hangup
    drops that modem call, and no callback step (notice box or program) runs for it."""
    second = "".join(call_state(2, delay, state) for delay, state in (
        (100, "LINECALLSTATE_DIALTONE"), (300, "LINECALLSTATE_RINGBACK")))
    run = ModemRun(s, answered(1) + second)
    run.dial()
    run.wait_status(EXECUTED, timeout=30)
    wait_for(lambda: READY in run.new_status(), 15, what="the first call's end")
    run.dial()
    run.wait_status("RingBack", settle=0.2)
    run.mark()
    run.dlg.click(DIRECT)
    if run.dlg.click(HANGUP) == "modal":
        raise AssertionError(("a box at Hangup", boxes(s, run.dlg), run.new_calls()))
    stays_without_box(run.dlg, 1)
    wait_for(lambda: set(run.new_calls()) >= {"lineDrop", "lineDeallocateCall", "lineClose"},
             10, what="the modem call dropped: %r" % run.new_calls())


# -- a Dial served inside a box that a stop or a shutdown opened


def dial_inside_the_stops_box(s, station):
    """Hangup's stop opens lineDeallocateCall's Retry box; inside it telephony re-initialises
    (the call's attempt ends) and another program sends Dial. An accepted Dial is dialled:
    the run does not end with an attempt that could not be made while nothing was dialled."""
    scenario = DIALTONE + "results lineDeallocateCall LINEERR_RESOURCEUNAVAIL\n" + \
        "event drop 800 %s\n" % REINIT
    run = ModemRun(s, scenario, args=VALUES + ["/LOG:" + LOG])
    other = Window(s.second_driver(), run.dlg.handle)
    run.dial()
    run.wait_status("Dial Tone", settle=0.3)
    assert run.dlg.click(HANGUP) == "modal"
    reinit = box_saying(s, run.dlg, REINIT_TEXT)
    run.mark()
    in_background(other.command, DIAL).join(20)
    reinit.press(IDOK)
    reinit.wait_gone()
    retry = box_saying(s, run.dlg, "temporarily")
    retry.press(IDCANCEL)
    retry.wait_gone()
    time.sleep(1.0)
    made = run.new_calls(["lineMakeCall"])
    run.dlg.click(CLOSE)
    run.app.wait(20)
    texts = log_lines(s)
    assert made or texts[-1] != COULD_NOT_BE_MADE, (texts[-8:], run.new_calls())


def dial_inside_the_shutdown_box(s, station):
    """Telephony re-initialises with no call; lineShutdown's Retry box opens and another
    program's Dial makes a call inside it. Before the usage handle goes, that call is
    deallocated and its line closed; none of its events is left for nobody."""
    scenario = "results lineShutdown LINEERR_RESOURCEUNAVAIL\n" + \
        "event init 2500 %s\n" % REINIT + DIALTONE
    run = ModemRun(s, scenario)
    other = Window(s.second_driver(), run.dlg.handle)
    retry = box_saying(s, run.dlg, "temporarily")
    in_background(other.command, DIAL).join(20)  # back once the call is made, if it is
    time.sleep(0.5)
    retry.press(IDRETRY)
    box_saying(s, run.dlg, REINIT_TEXT).press(IDOK)
    calls = s.tapi_log.calls()
    end = next(i for i, e in enumerate(calls) if e.call("lineShutdown") and e["result"] == "0")
    before = calls[:end]
    made = {e["call"] for e in before if e.call("lineMakeCall") and "call" in e}
    freed = {e["call"] for e in before if e.call("lineDeallocateCall") and e["result"] == "0"}
    opened = {e["line"] for e in before if e.call("lineOpen") and e["result"] == "0"}
    closed = {e["line"] for e in before if e.call("lineClose") and e["result"] == "0"}
    assert made <= freed and opened <= closed, \
        ("left at lineShutdown", sorted(made - freed), sorted(opened - closed))
    unknown = [line for line in run.app.trace() if "Unknown device" in line]
    assert not unknown, unknown


# -- noise on the line while the modem settles


def noise_until_the_login(s, station):
    """The station's line is noisy until the login arrives and answers it late: the noise read
    as the login goes out is no answer, and the station's own answer gives the verdict."""
    run = ModemRun(s, answered(1))
    run.dial()
    got = run.wait_status(READY, timeout=30)
    assert station.received() == [FRAME], station.received()
    assert VERIFYING in got and INVALID_USER in got and \
        got.index(INVALID_USER) < got.index(HANGUP_LINE), got


SILENT = ["--scenario", "silent"]
# case name, what it does (session, station), the station's arguments
CASES_TABLE = [
    ("stale_hangup_request", stale_hangup_request, []),
    *((row[0], fields_changed_during_the_call(row), []) for row in FIELD_CHANGES),
    ("hangup_after_direct_chosen", hangup_after_direct_chosen, []),
    ("dial_inside_the_stops_box", dial_inside_the_stops_box, SILENT),
    ("dial_inside_the_shutdown_box", dial_inside_the_shutdown_box, SILENT),
    ("noise_until_the_login", noise_until_the_login,
     ["--settle-noise-ms", "100", "--delay-ms", "700", "--codes", "01"]),
]


def session_case(case, station_args):
    def run(args):
        with args.session(com_ports=["COM1"]) as s, \
                Station(s, "--link", "modem", *station_args) as station:
            case(s, station)
    return run


CASES = {name: session_case(case, station_args) for name, case, station_args in CASES_TABLE}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))
