#!/usr/bin/env python3
"""The operator and the provider ending a modem call of the real Farlink.exe under Wine at
awkward moments: Hangup while a request is pending and while dialling waits to be enabled, a
call that never goes idle, a repeated CONNECTED, and a data channel that refuses the handle."""

import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from modemcall import (ARGS, CONNECTS, DIAL, FRAME, HANGUP, LINE, READY, REPLY,  # noqa: E402
                       call_ending, read_frame, require_calls, start_call, wait_box,
                       wait_ready_again, wait_status)
from farlink_wine import run_cases, wait_for  # noqa: E402


def hangup(dlg):
    """Clicks Hangup; the dialog may still be inside Dial (the driver then reports "pending")."""
    wait_for(lambda: dlg.enabled(HANGUP), 20, what="Hangup enabled")
    dlg.click(HANGUP)


def hangup_while_a_request_is_pending(args):
    """Hangup while lineMakeCall waits for its reply: the wait ends and the line is closed."""
    require_calls(args)
    with args.session(com_ports=["COM1"]) as s:
        app, dlg, _ = start_call(s, LINE + "reply-delay 15000\n")  # Dial is still busy here
        hangup(dlg)
        lines = wait_ready_again(dlg)
        assert lines == [READY, "Connection Hangup.", READY], lines
        app.wait_trace(lambda t: "While Dialing, WaitForReply aborted." in t)
        log = s.tapi_log
        ending = call_ending(log)
        assert ending == ["lineClose"], ending
        assert dlg.enabled(DIAL) and not dlg.enabled(HANGUP)
        dlg.close()
        app.wait(30)


def hangup_while_dialling_waits(args):
    """Hangup while the call waits for dialling to be enabled after a pause character."""
    require_calls(args)
    with args.session(com_ports=["COM1"]) as s:
        app, dlg, _ = start_call(s, LINE + "  callfeatures LINECALLFEATURE_DROP\n",
                                 ["/DIAL:555?1234"] + ARGS[1:])
        app.wait_trace(lambda t: "Waiting for dialing to be enabled." in t)
        hangup(dlg)
        lines = wait_ready_again(dlg)
        assert lines[-2:] == ["Line is idle", READY] and "Connection Hangup." in lines, lines
        trace = app.trace()
        assert "WAITABORTED" in trace and "Ok to continue dialing." not in trace, trace
        log = s.tapi_log
        assert [e["destination"] for e in log.calls("lineMakeCall")] == ["555;"]
        assert not log.calls("lineDial")
        assert call_ending(log) == [
            "lineDrop", "lineDeallocateCall", "lineClose"]
        dlg.close()
        app.wait(30)


def call_that_never_goes_idle(args):
    """The drop brings no idle state: after about 30 s the call is deallocated all the same."""
    require_calls(args)
    with args.session(com_ports=["COM1"]) as s:
        app, dlg, _ = start_call(s, LINE + "drop-idle no\n")
        s.tapi_log.wait_call("lineMakeCall")
        hangup(dlg)
        lines = wait_ready_again(dlg, timeout=60)
        assert lines == [READY, "Connection Hangup.", READY], lines
        log = s.tapi_log
        drop, free = log.calls("lineDrop")[0], log.calls("lineDeallocateCall")[0]
        waited = free.num("tick") - drop.num("tick")
        assert 29000 <= waited <= 45000, waited
        ending = call_ending(log)
        assert ending == ["lineDrop", "lineDeallocateCall", "lineClose"], ending
        assert "Call timed out waiting for IDLE state." in app.trace()
        dlg.close()
        app.wait(30)


def repeated_connected_starts_once(args):
    """A second CONNECTED for the same call neither asks for a handle nor starts a channel."""
    require_calls(args)
    scenario = LINE + CONNECTS + (
        "event makecall 600 LINE_CALLSTATE call LINECALLSTATE_CONNECTED 0 0\n")
    with args.session(com_ports=["COM1"]) as s:
        app, dlg, _ = start_call(s, scenario)
        port = s.port("COM1")
        data, _ = read_frame(port)
        assert data == FRAME, data
        port.write(REPLY)
        lines = wait_ready_again(dlg)
        assert lines.count("Verifying username and password...") == 1, lines
        assert lines.count("Sending username and password...") == 1, lines
        ids = [e for e in s.tapi_log.calls("lineGetID") if e["call"] != "0x0"]
        assert len(ids) == 1, ids
        assert app.trace().count("Connected!  Starting communications!") == 1
        dlg.close()
        app.wait(30)


def provider_that_never_replies(args):
    """A request whose reply never comes ends the attempt after a minute, not never."""
    require_calls(args)
    with args.session(com_ports=["COM1"]) as s:
        app, dlg, pressed = start_call(s, LINE + "reply-delay 600000\n")
        lines = wait_ready_again(dlg, timeout=120)
        took = time.monotonic() - pressed
        assert lines == [READY, READY], lines
        assert 55 <= took <= 110, took
        trace = app.trace()
        assert "Call timed out in WaitForReply." in trace and "DialCallInParts failed." in trace
        assert call_ending(s.tapi_log) == ["lineClose"]
        assert dlg.enabled(DIAL) and not dlg.enabled(HANGUP)
        dlg.close()
        app.wait(30)


LONG_NUMBER = "5" * 400
# (name, commid form, dial number, box the data channel shows or None)
REFUSALS = [
    ("no comm device", "pipe", "5551234", "File handle is not a comm handle."),
    ("handle outside the block", "offset-out", "5551234", None),
    ("overlong number", "offset-out", LONG_NUMBER, None),
]


def channel_refuses_the_handle(args):
    """No usable handle: the call is stopped and "Failed to Connect to '...'" ends the attempt."""
    require_calls(args)
    for name, form, number, box_text in REFUSALS:
        with args.session(com_ports=["COM1"]) as s:
            app, dlg, _ = start_call(s, LINE + "  commid %s\n" % form + CONNECTS,
                                     ["/DIAL:" + number] + ARGS[1:])
            if box_text:
                box, text = wait_box(s)
                assert text == box_text, (name, text)
                box.press(1)
                box.wait_gone()
            lines = wait_status(dlg, lambda l: l and l[-1].startswith("Failed to Connect"),
                                what="the failed connect")
            failed = "Failed to Connect to '%s'" % number
            if len(failed) > 299:
                failed = failed[:298] + "'"
            assert lines[-2:] == [READY, failed], (name, lines)
            assert "Verifying username and password..." not in lines, name
            ending = call_ending(s.tapi_log)
            assert ending == ["lineDrop", "lineDeallocateCall", "lineClose"], (name, ending)
            assert s.port("COM1").read(1.0) == b"", name  # nothing was sent
            assert dlg.enabled(DIAL) and not dlg.enabled(HANGUP), name
            dlg.close()
            app.wait(30)


# (name, scenario after the line, exit status, end of the log's last line)
UNATTENDED = [
    ("executed", CONNECTS, 0, "the station executed the command"),
    ("busy", "event makecall 100 LINE_CALLSTATE call LINECALLSTATE_BUSY 0 0\n", 3,
     "the line was busy"),
    ("disconnected busy", "event makecall 100 LINE_CALLSTATE call LINECALLSTATE_DISCONNECTED "
     "LINEDISCONNECTMODE_BUSY 0\n", 3, "the line was busy"),
    ("no answer", "event makecall 100 LINE_CALLSTATE call LINECALLSTATE_DISCONNECTED "
     "LINEDISCONNECTMODE_NOANSWER 0\n", 3, "the call was not answered"),
    ("dropped", "event makecall 100 LINE_CALLSTATE call LINECALLSTATE_DISCONNECTED "
     "LINEDISCONNECTMODE_NORMAL 0\n", 3, "the call was dropped"),
    ("went idle", "event makecall 100 LINE_CALLSTATE call LINECALLSTATE_IDLE 0 0\n", 3,
     "the call was dropped"),
    ("line closed", "event makecall 100 LINE_CLOSE line 0 0 0\n", 3, "the call was dropped"),
    ("no handle", "  commid offset-out\n" + CONNECTS, 3, "the call could not be made"),
    ("no line", "results lineOpen 0 LINEERR_ALLOCATED\n", 3, "the call could not be made"),
]


def unattended_endings(args):
    """/AUTODIAL /AUTOCLOSE: each way a modem call ends closes the program with its status."""
    require_calls(args)
    for name, scenario, status, last in UNATTENDED:
        with args.session(com_ports=["COM1"]) as s:
            log_file = s.prefix / "drive_c" / "Farlink" / "run.log"
            app = s.start_farlink(ARGS + ["/AUTODIAL", "/AUTOCLOSE", "/LOG:C:\\Farlink\\run.log"],
                                  tapi=LINE + scenario, wait_window=False)
            if name == "executed":
                data, _ = read_frame(s.port("COM1"))
                assert data == FRAME, data
                s.port("COM1").write(REPLY)
            if name == "no line":
                box, text = wait_box(s)
                box.press(1)
            code = app.wait(60)
            lines = log_file.read_text(errors="replace").splitlines()
            assert code == status, (name, code, lines)
            assert lines[-1].endswith("Exit status %d: %s" % (status, last)), (name, lines)


CASES = {
    "hangup_while_a_request_is_pending": hangup_while_a_request_is_pending,
    "hangup_while_dialling_waits": hangup_while_dialling_waits,
    "call_that_never_goes_idle": call_that_never_goes_idle,
    "repeated_connected_starts_once": repeated_connected_starts_once,
    "provider_that_never_replies": provider_that_never_replies,
    "unattended_endings": unattended_endings,
    "channel_refuses_the_handle": channel_refuses_the_handle,
}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))
