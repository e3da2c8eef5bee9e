#!/usr/bin/env python3
"""How a modem call of Farlink.exe ends under Wine: by the network, by line events, by the data
channel, and by the operator; checked in the Status box and in the provider's log of calls."""

import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from modem_session import (CLOSE, DIAL, DIRECT, HANGUP, HANGUP_LINE, IDLE_LINE, READY,  # noqa: E402
                           SENDING, TEARDOWN, ModemRun, answered, call_state, event)
from farlink_wine import run_cases, wait_for  # noqa: E402
from station_process import Station  # noqa: E402

DROPPED = [IDLE_LINE, READY]  # the drop's own idle event, then the end of the attempt

# ending, the call's events, Status lines after Dial
NETWORK_ENDINGS = [
    ("busy", [(100, "LINECALLSTATE_DIALTONE", "LINEDIALTONEMODE_NORMAL"),
              (300, "LINECALLSTATE_BUSY", "LINEBUSYMODE_STATION")],
     ["Dial Tone", "Line is busy"]),
    ("special info", [(100, "LINECALLSTATE_DIALTONE", "LINEDIALTONEMODE_NORMAL"),
                      (300, "LINECALLSTATE_SPECIALINFO", "LINESPECIALINFO_NOCIRCUIT")],
     ["Dial Tone", "Special Info, probably couldn't dial number"]),
    ("idle", [(100, "LINECALLSTATE_DIALING", 0), (300, "LINECALLSTATE_IDLE", 0)],
     ["Dialing Call", IDLE_LINE]),
] + [
    ("disconnect " + mode, [(100, "LINECALLSTATE_DIALING", 0),
                            (300, "LINECALLSTATE_DISCONNECTED", mode)],
     ["Dialing Call", text])
    for mode, text in [
        ("LINEDISCONNECTMODE_NORMAL", "Remote Party Disconnected"),
        ("LINEDISCONNECTMODE_UNKNOWN", "Disconnected: Unknown reason"),
        ("LINEDISCONNECTMODE_REJECT", "Remote Party rejected call"),
        ("LINEDISCONNECTMODE_PICKUP", "Disconnected: Local phone picked up"),
        ("LINEDISCONNECTMODE_FORWARDED", "Disconnected: Forwarded"),
        ("LINEDISCONNECTMODE_BUSY", "Disconnected: Busy"),
        ("LINEDISCONNECTMODE_NOANSWER", "Disconnected: No Answer"),
        ("LINEDISCONNECTMODE_BADADDRESS", "Disconnected: Bad Address"),
        ("LINEDISCONNECTMODE_UNREACHABLE", "Disconnected: Unreachable"),
        ("LINEDISCONNECTMODE_CONGESTION", "Disconnected: Congestion"),
        ("LINEDISCONNECTMODE_INCOMPATIBLE", "Disconnected: Incompatible"),
        ("LINEDISCONNECTMODE_UNAVAIL", "Disconnected: Unavail"),
        ("LINEDISCONNECTMODE_NODIALTONE", "Disconnected: No Dial Tone"),
        # Two reasons at once are no reason the table knows.
        ("LINEDISCONNECTMODE_BUSY|LINEDISCONNECTMODE_NOANSWER",
         "Disconnected: LINECALLSTATE; Bad Reason"),
    ]
]


def network_endings(args):
    """Busy, special information, idle and every disconnect mode: the line that says why, then the
    call dropped, deallocated and its line closed, and the dialog ready for the next call."""
    scenario = ""
    for n, (_, states, _) in enumerate(NETWORK_ENDINGS, 1):
        scenario += "".join(call_state(n, delay, state, mode) for delay, state, mode in states)
    with args.session(com_ports=["COM1"]) as s:
        run = ModemRun(s, scenario)
        wrong = []
        for what, _, lines in NETWORK_ENDINGS:
            run.dial()
            got = run.wait_status(READY)
            # An idle call needs no drop; the others are dropped and reach idle that way.
            want = lines + ([READY] if lines[-1] == IDLE_LINE else DROPPED)
            teardown = run.new_calls(TEARDOWN)
            want_teardown = list(TEARDOWN[1:3] if lines[-1] == IDLE_LINE else TEARDOWN[:3])
            if got != want or teardown != want_teardown:
                wrong.append((what, got, teardown))
            assert not run.call_in_progress(), what
        assert not wrong, "\n".join(map(repr, wrong))


# ending, the call's events, Status lines after Dial, box text (or None), teardown calls
LINE_ENDINGS = [
    ("line closed by the service",
     [event(0, 300, "LINE_CLOSE", "line")],
     ["Dial Tone", "Call was shut down.", READY], None, []),
    ("line disconnected",
     [event(0, 300, "LINE_LINEDEVSTATE", "line", "LINEDEVSTATE_DISCONNECTED")],
     ["Dial Tone"] + DROPPED,
     "Line selected is now disconnected.\nClosing existing call.", list(TEARDOWN[:3])),
    ("line out of service",
     [event(0, 300, "LINE_LINEDEVSTATE", "line", "LINEDEVSTATE_OUTOFSERVICE")],
     ["Dial Tone"] + DROPPED,
     "Line selected is now Out of Service.\nClosing existing call.", list(TEARDOWN[:3])),
    ("line out for maintenance",
     [event(0, 300, "LINE_LINEDEVSTATE", "line", "LINEDEVSTATE_MAINTENANCE")],
     ["Dial Tone"] + DROPPED,
     "Line selected is now out for maintenance.\nClosing existing call.", list(TEARDOWN[:3])),
    ("soft re-initialisation announcing a new line",
     [event(0, 200, "LINE_LINEDEVSTATE", "line", "LINEDEVSTATE_REINIT", "LINE_CREATE", 5),
      call_state(0, 400, "LINECALLSTATE_RINGBACK"), call_state(0, 600, "LINECALLSTATE_BUSY")],
     ["Dial Tone", "RingBack", "Line is busy"] + DROPPED, None, list(TEARDOWN[:3])),
    # The hard one shuts telephony down before it warns, so the call is gone from the warning.
    ("hard re-initialisation",
     [event(0, 300, "LINE_LINEDEVSTATE", "line", "LINEDEVSTATE_REINIT")],
     ["Dial Tone"] + DROPPED, "Tapi line configuration has changed.", list(TEARDOWN)),
    # After it the next Dial initialises again, and that call runs as usual.
    ("call after the re-initialisation",
     [call_state(0, 300, "LINECALLSTATE_BUSY")],
     ["Dial Tone", "Line is busy"] + DROPPED, None, list(TEARDOWN[:3])),
]


def numbered(text, n):
    return text.replace("makecall#0 ", "makecall#%d " % n)


def line_endings(args):
    """Line events during a call: the service closing the line (its handles are then dead, so
    nothing is dropped), the line going away with its warning, and the re-initialisations."""
    scenario = ""
    for n, (_, events, _, _, _) in enumerate(LINE_ENDINGS, 1):
        scenario += call_state(n, 100, "LINECALLSTATE_DIALTONE", "LINEDIALTONEMODE_NORMAL")
        scenario += "".join(numbered(e, n) for e in events)
    with args.session(com_ports=["COM1"]) as s:
        run = ModemRun(s, scenario)
        for what, _, lines, box_text, teardown in LINE_ENDINGS:
            inits = len(s.tapi_log.calls("lineInitialize"))
            run.dial()
            if box_text:
                box, caption, text = run.wait_box()
                assert (caption, text) == ("Warning", box_text), (what, caption, text)
                if what in ("hard re-initialisation", "line out for maintenance"):
                    s.screenshot("modemends-warning-" + what.split()[-1], box)
                run.dismiss(box)
            got = run.wait_status(lines[-1])
            assert got == lines, (what, got)
            assert run.new_calls(TEARDOWN) == teardown, (what, run.new_calls(TEARDOWN))
            assert not run.call_in_progress(), what
            if what == "call after the re-initialisation":
                assert len(s.tapi_log.calls("lineInitialize")) == inits + 1, what
        trace = run.app.trace()
        assert "Soft REINIT: LINE_CREATE." in trace, "the soft re-initialisation was not traced"


# privilege given with a call state, Status lines after Dial, trace line
PRIVILEGES = [
    ("LINECALLPRIVILEGE_MONITOR", DROPPED, "line given monitor privilege; closing"),
    # Owner: the call is stopped, and the state it came with is still shown.
    ("LINECALLPRIVILEGE_OWNER", DROPPED + ["Dial Tone"], "line given owner privilege; closing"),
    ("0x10", DROPPED, "Unknown LINECALLPRIVILEGE message: closing"),
]


def privileges(args):
    """A call state that hands the program a privilege means the call is not its own: stopped."""
    scenario = "".join(call_state(n, 100, "LINECALLSTATE_DIALTONE", 0, privilege)
                       for n, (privilege, _, _) in enumerate(PRIVILEGES, 1))
    with args.session(com_ports=["COM1"]) as s:
        run = ModemRun(s, scenario)
        for privilege, lines, trace_line in PRIVILEGES:
            run.dial()
            got = run.wait_status(READY, settle=1.0)
            assert got == lines, (privilege, got)
            assert run.new_calls(TEARDOWN) == list(TEARDOWN[:3]), privilege
            run.app.wait_trace(trace_line)


def connected_call(s, station):
    """A run whose call connects and has sent its login to the station."""
    run = ModemRun(s, answered(1))
    run.dial()
    wait_for(lambda: station.received(), 30, what="the login at the station")
    return run


def read_thread_fails(args):
    """The line under a connected call goes away: the read thread asks for the hang-up."""
    with args.session(com_ports=["COM1"]) as s, \
            Station(s, "--link", "modem", "--scenario", "silent") as station:
        run = connected_call(s, station)
        run.mark()
        s.port("COM1")._stop()  # the modem's port vanishes under the open handle
        got = run.wait_status(READY)
        assert got == [HANGUP_LINE] + DROPPED, got
        assert run.new_calls(TEARDOWN) == list(TEARDOWN[:3]), run.new_calls(TEARDOWN)


def in_dial_tone(s):
    """A run with a call that stays at its dial tone until someone ends it."""
    run = ModemRun(s, call_state(1, 100, "LINECALLSTATE_DIALTONE", "LINEDIALTONEMODE_NORMAL"))
    run.dial()
    run.wait_status("Dial Tone", settle=0.3)
    assert run.call_in_progress(), "Dial and Hangup during the call"
    return run


def close_box_during_a_call(args):
    """The caption's close box drops the call and shuts telephony down before the program ends."""
    with args.session(com_ports=["COM1"]) as s:
        run = in_dial_tone(s)
        s.screenshot("modemends-call-in-progress", run.dlg)
        run.dlg.close()
        assert run.app.wait(30) is not None
        assert run.new_calls(TEARDOWN) == list(TEARDOWN), run.new_calls(TEARDOWN)


def close_button_during_a_call(args):
    """The Close button ends the program at once: nothing is dropped, closed or shut down."""
    with args.session(com_ports=["COM1"]) as s:
        run = in_dial_tone(s)
        run.dlg.click(CLOSE)
        run.app.wait(30)
        assert run.new_calls(TEARDOWN) == [], run.new_calls(TEARDOWN)


def dial_and_hangup_during_a_call(args):
    """A Dial command during a call changes nothing; Hangup ends the call and Dial comes back."""
    with args.session(com_ports=["COM1"]) as s:
        run = in_dial_tone(s)
        run.mark()
        run.dlg.command(DIAL)  # Dial is disabled: sent as a program would
        time.sleep(1.0)
        assert run.new_status() == [], run.new_status()
        assert run.new_calls() == [], run.new_calls()
        assert run.call_in_progress()
        run.mark()
        run.dlg.click(HANGUP)
        got = run.wait_status(READY)
        assert got == [HANGUP_LINE] + DROPPED, got
        assert run.new_calls(TEARDOWN) == list(TEARDOWN[:3]), run.new_calls(TEARDOWN)
        assert run.dlg.enabled(DIAL) and not run.dlg.enabled(HANGUP)


def direct_chosen_during_a_call(args):
    """Hangup after switching to the cable hangs up the call under way, the modem's: the radio
    button chooses the link of the next Dial."""
    with args.session(com_ports=["COM1"]) as s:
        run = in_dial_tone(s)
        run.dlg.click(DIRECT)
        run.mark()
        run.dlg.click(HANGUP)
        got = run.wait_status(READY)
        assert got == [HANGUP_LINE] + DROPPED, got
        assert run.new_calls(TEARDOWN) == list(TEARDOWN[:3]), run.new_calls(TEARDOWN)
        assert not run.call_in_progress(), "the modem call is still under way"
        run.dlg.close()
        run.app.wait(30)


def exchange_ends(args):
    """The end of a whole exchange: the station's answer, the hang-up, the dialog ready again."""
    with args.session(com_ports=["COM1"]) as s, \
            Station(s, "--link", "modem", "--codes", "00,06") as station:
        run = connected_call(s, station)
        got = run.wait_status(READY, timeout=30)
        assert got[-6:] == [SENDING, "Connected to 5551234", "Command executed successfully.",
                            HANGUP_LINE] + DROPPED, got
        s.screenshot("modemends-exchange-end", run.dlg)


CASES = {
    "network_endings": network_endings,
    "line_endings": line_endings,
    "privileges": privileges,
    "read_thread_fails": read_thread_fails,
    "close_box_during_a_call": close_box_during_a_call,
    "close_button_during_a_call": close_button_during_a_call,
    "dial_and_hangup_during_a_call": dial_and_hangup_during_a_call,
    "direct_chosen_during_a_call": direct_chosen_during_a_call,
    "exchange_ends": exchange_ends,
}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))
