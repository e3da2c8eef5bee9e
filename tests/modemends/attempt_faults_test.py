#!/usr/bin/env python3
"""A modem call attempt under Wine when line events, replies, boxes and the operator's commands
come in awkward orders: whatever runs inside a wait or a box, a call that was stopped is neither
dialled, connected nor logged in, and every attempt ends once, with its outcome."""

import sys
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from modem_session import (CLOSE, FRAME, HANGUP, READY, SENDING, VERIFYING,  # noqa: E402
                           ModemRun, answered, call_state, event)
from farlink_driver import Window  # noqa: E402
from farlink_wine import run_cases, wait_for  # noqa: E402
from modem_scenario import modem_line  # noqa: E402
from station_process import Station  # noqa: E402
from unattended_modem_test import write_profile  # noqa: E402
from unattended_test import UNATTENDED, log_lines  # noqa: E402

IDOK, IDRETRY = 1, 4
TOO_LONG = "Username, password, domain and My Number are too long to send."


def no_login(run, station, what):
    lines = run.new_status()
    assert VERIFYING not in lines and SENDING not in lines, (what, lines)
    assert station.received() == [], (what, station.received())


def connects_and_logs_in(run, station, what):
    """The next call (the run's second) connects and its login reaches the station."""
    run.dial()
    wait_for(lambda: station.received() == [FRAME], 30, what="%s: the next login" % what)
    assert VERIFYING in run.new_status(), (what, run.new_status())


def connected_inside_the_drop(s, station):
    """BUSY and CONNECTED due together: the CONNECTED served inside the drop starts nothing, and
    the next call finds the port free (no "Already have a comm file open")."""
    scenario = call_state(1, 300, "LINECALLSTATE_BUSY", "LINEBUSYMODE_STATION") + \
        call_state(1, 300, "LINECALLSTATE_CONNECTED") + answered(2)
    run = ModemRun(s, scenario)
    run.dial()
    run.wait_status(READY, settle=6.0)  # longer than the modem's settling time
    no_login(run, station, "busy")
    connects_and_logs_in(run, station, "after busy")


def queued_login_step(s, station):
    """CONNECTED then DISCONNECTED at once: the login step already queued for the call is dropped."""
    scenario = call_state(1, 300, "LINECALLSTATE_CONNECTED") + \
        call_state(1, 300, "LINECALLSTATE_DISCONNECTED", "LINEDISCONNECTMODE_NORMAL")
    run = ModemRun(s, scenario)
    run.dial()
    got = run.wait_status(READY, settle=6.0)
    assert SENDING not in got, got
    assert station.received() == [], station.received()


def connected_with_owner_privilege(s, station):
    """A CONNECTED that hands over the call stops it; the next call still logs in."""
    scenario = call_state(1, 200, "LINECALLSTATE_CONNECTED", 0, "LINECALLPRIVILEGE_OWNER") + \
        answered(2)
    run = ModemRun(s, scenario)
    run.dial()
    run.wait_status(READY, settle=1.0)
    no_login(run, station, "owner")
    connects_and_logs_in(run, station, "after the owner privilege")


def stopped_in_the_retry_box(s, station):
    """/TIMEOUT: runs out while lineOpen's Retry box is open: Retry opens and dials nothing."""
    run = ModemRun(s, "results lineOpen 0 LINEERR_RESOURCEUNAVAIL\n" + answered(1),
                   args=["/DIAL:5551234", "/TIMEOUT:2"])
    run.dial()
    box, caption, _ = run.wait_box()
    assert caption == "Warning", caption
    wait_for(lambda: READY in run.new_status(), 20, what="the time limit's stop")
    box.press(IDRETRY)
    box.wait_gone(10)
    time.sleep(2.0)
    opened = [e for e in run.new_entries() if e.call("lineOpen") and e["result"] == "0"]
    assert opened == [] and s.tapi_log.calls("lineMakeCall") == [], (opened, run.new_calls())
    assert run.dlg.enabled(3) and not run.dlg.enabled(HANGUP)


def line_closed_inside_the_drop(s, station):
    """LINE_CLOSE right after the drop's reply: Hangup is over at once, nothing is deallocated."""
    scenario = call_state(1, 100, "LINECALLSTATE_DIALTONE", "LINEDIALTONEMODE_NORMAL") + \
        "event drop 0 LINE_CLOSE line 0 0 0\n"
    run = ModemRun(s, scenario)
    run.dial()
    run.wait_status("Dial Tone", settle=0.3)
    run.mark()
    run.dlg.click(HANGUP)
    run.wait_status(READY, timeout=10)
    assert run.new_calls(["lineDeallocateCall"]) == [], run.new_calls()


def previous_idle_is_no_answer(s, station):
    """Hangup before a second call's first state: the drop still waits for this call's IDLE."""
    scenario = call_state(1, 200, "LINECALLSTATE_BUSY", "LINEBUSYMODE_STATION") + \
        "reply-delay 300\n"
    run = ModemRun(s, scenario)
    run.dial()
    run.wait_status(READY, settle=0.5)
    run.dial()
    s.tapi_log.wait(lambda e: e.call("lineMakeCall") and len(s.tapi_log.calls("lineMakeCall")) == 2)
    time.sleep(0.6)  # its reply has come
    run.dlg.click(HANGUP)
    run.wait_status(READY, timeout=15)
    entries = run.new_entries()
    dealloc = [i for i, e in enumerate(entries) if e.call("lineDeallocateCall")]
    idle = [i for i, e in enumerate(entries)
            if e.callback("LINE_CALLSTATE") and e.get("p1") in ("0x1", "1")]
    assert dealloc and idle and idle[0] < dealloc[0], entries


def frame_too_long_hangs_up(s, station):
    """A login that does not fit one frame is not sent, and the call it was for is hung up."""
    run = ModemRun(s, answered(1), args=["/DIAL:5551234", "/USER:" + "u" * 2100])
    run.dial()
    got = run.wait_status(READY, timeout=30)
    assert got[-4:] == [SENDING, TOO_LONG, "Line is idle", READY], got
    assert station.received() == [], station.received()


def early_bytes_are_no_answer(s, station):
    """An answer left on the line before the call is not taken for the station's verdict: the
    login still goes out, and the station's own answer decides."""
    run = ModemRun(s, answered(1))
    run.dial()
    got = run.wait_status(READY, timeout=30)
    assert station.received() == [FRAME], station.received()
    assert "Invalid user" in got and "Command executed successfully." not in got, got


def closed_while_dialling(s, station):
    """The Close button while a Dial pressed by another program waits for the call's reply: the
    dialog's loop sees the end although the wait took its wake-up, and the program ends."""
    run = ModemRun(s, "reply-delay 60000\n")  # the reply would come after the test
    clicker = threading.Thread(target=Window(s.second_driver(), run.dlg.handle).click,
                               args=(3,))
    clicker.start()
    s.tapi_log.wait_call("lineMakeCall")
    run.dlg.click(CLOSE)
    clicker.join(30)
    try:
        run.app.wait(15)
    except TimeoutError:
        raise AssertionError(("still running after Close", run.app.trace()[-12:]))


# case, what it does (session, station), the station's scenario
INTERACTIVE = [
    ("frame_too_long_hangs_up", frame_too_long_hangs_up),
    ("connected_inside_the_drop", connected_inside_the_drop),
    ("queued_login_step", queued_login_step),
    ("connected_with_owner_privilege", connected_with_owner_privilege),
    ("stopped_in_the_retry_box", stopped_in_the_retry_box),
    ("line_closed_inside_the_drop", line_closed_inside_the_drop),
    ("previous_idle_is_no_answer", previous_idle_is_no_answer),
    ("closed_while_dialling", closed_while_dialling),
    ("early_bytes_are_no_answer", early_bytes_are_no_answer, ["--codes", "01", "--early", "1006"]),
]


def interleavings(args):
    """Each ordering in INTERACTIVE, in a session of its own; all are tried, then reported."""
    wrong = []
    only = [c for c in __import__("os").environ.get("FARLINK_ONLY", "").split(",") if c]
    for name, case, *station_args in INTERACTIVE:
        if only and name not in only:
            continue
        with args.session(com_ports=["COM1"]) as s, \
                Station(s, "--link", "modem",
                        *(station_args[0] if station_args else ["--scenario", "silent"])) as station:
            try:
                case(s, station)
                print("%s: ok" % name)
            except Exception as error:  # noqa: BLE001  (every case is reported)
                print("%s: FAILED %r" % (name, error))
                wrong.append((name, repr(error)[:600]))
    assert not wrong, "\n".join(map(repr, wrong))


def reinit_ends_unattended_run(args):
    """A hard re-initialisation under a connected /AUTODIAL /AUTOCLOSE call ends the attempt: the
    run ends with exit status 3, the call dropped, its warning in the log."""
    scenario = answered(1) + event(1, 3000, "LINE_LINEDEVSTATE", "line", "LINEDEVSTATE_REINIT")
    with args.session(com_ports=["COM1"]) as s, \
            Station(s, "--link", "modem", "--scenario", "silent"):
        write_profile(s)
        app = s.start_farlink(UNATTENDED, tapi=modem_line("COM1") + scenario, wait_window=False)
        code = app.wait(40)
        texts = log_lines(s)
        assert code == 3, (code, texts)
        assert 'Box "Warning": Tapi line configuration has changed.' in texts, texts
        assert texts[-1] == "Exit status 3: the call was dropped", texts


def refused_login_ends_unattended_run(args):
    """The port refuses the login's bytes under a connected /AUTODIAL /AUTOCLOSE call: the attempt
    ends (status 3, the login not taken) and the call is hung up, not left up for good."""
    with args.session(com_ports=["COM1"]) as s, \
            Station(s, "--link", "modem", "--scenario", "silent") as station:
        write_profile(s)
        app = s.start_farlink(UNATTENDED, tapi=modem_line("COM1") + answered(1),
                              env={"FARLINK_SHIM_REFUSE_WRITES": "1"}, wait_window=False)
        code = app.wait(40)
        texts = log_lines(s)
        assert code == 3, (code, texts)
        assert any(t.startswith("Error writing bytes = ") for t in texts), texts
        assert texts[-1] == "Exit status 3: the station did not take the login", texts
        assert s.tapi_log.calls("lineDrop") and station.received() == [], texts


def find_box(s, caption):
    for handle, _pid, cls, title in s.driver().windows():
        if title == caption and cls == "#32770":
            return Window(s.driver(), handle)
    return None


def closed_in_the_reinit_wait(args):
    """The close box while a Dial's initialisation waits out a REINIT: no line, no call after."""
    scenario = "results lineInitialize 0 LINEERR_REINIT\n" \
        "event init 300 LINE_LINEDEVSTATE 0x77 LINEDEVSTATE_REINIT 0 0\n"
    with args.session(com_ports=["COM1"]) as s:
        run = ModemRun(s, scenario)
        box = wait_for(lambda: find_box(s, "Warning"), 30, what="the warning")
        box.press(IDOK)
        s.tapi_log.wait_call("lineShutdown")
        clicker = threading.Thread(target=Window(s.second_driver(), run.dlg.handle).click,
                                   args=(3,))
        clicker.start()
        s.tapi_log.wait(lambda e: e.call("lineInitialize") and e["result"] == "LINEERR_REINIT")
        run.dlg.close()
        clicker.join(30)
        time.sleep(7.0)  # past the 5 s wait, and the dialling that used to follow it
        calls = s.tapi_log.calls()
        waited = [i for i, e in enumerate(calls) if e.call("lineInitialize")][-1]
        after = [e.name for e in calls[waited:]]
        assert after == ["lineInitialize"], after  # the REINIT one, and nothing after it


def closed_in_the_pause_box(args):
    """Close while the pause box is open: the rest of the number is not dialled."""
    scenario = "devcapflags 0\n" + call_state(1, 100, "LINECALLSTATE_DIALTONE",
                                              "LINEDIALTONEMODE_NORMAL")
    with args.session(com_ports=["COM1"]) as s:
        run = ModemRun(s, scenario, args=["/DIAL:1W2345"])
        run.dial()
        box, _, text = run.wait_box()
        assert text.startswith("Dialing Paused"), text
        run.dlg.command(CLOSE)
        box.press(box.message_box()[2][0])
        try:
            run.app.wait(30)
        except TimeoutError:
            raise AssertionError(("still running after the box", run.app.trace()[-30:]))
        assert s.tapi_log.calls("lineDial") == [], s.tapi_log.calls("lineDial")


CASES = {
    "interleavings": interleavings,
    "reinit_ends_unattended_run": reinit_ends_unattended_run,
    "refused_login_ends_unattended_run": refused_login_ends_unattended_run,
    "closed_in_the_reinit_wait": closed_in_the_reinit_wait,
    "closed_in_the_pause_box": closed_in_the_pause_box,
}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))
