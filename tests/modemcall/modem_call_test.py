#!/usr/bin/env python3
"""A modem call of the real Farlink.exe under Wine, from Dial to "Ready to make a call.":
the test telephony provider places the call and hands over COM1, whose far end plays the
station. Also each check that stops a call before it is made, and dialling in parts."""

import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from modemcall import (ARGS, CONNECTS, DIAL, DIAL_NUMBER, FRAME, HANGUP, LINE,  # noqa: E402
                       READY, REPLY, dismiss_box, find_box, names, read_frame,
                       require_calls, start_call, status_lines, wait_box, wait_ready_again,
                       wait_status)
from farlink_wine import run_cases, wait_for  # noqa: E402


def whole_exchange(args):
    """Dial to the frame at the station, its answer, the drop, and the dialog's states."""
    require_calls(args)
    with args.session(com_ports=["COM1"]) as s:
        s.secret("s3cret-pw")
        app, dlg, pressed = start_call(s, LINE + CONNECTS)
        wait_status(dlg, lambda lines: "Dial Tone" in lines, what="the dial tone line")
        assert dlg.enabled(HANGUP) and not dlg.enabled(DIAL), "controls during the call"
        port = s.port("COM1")
        # The provider's log is read from outside: the dialog itself is busy while the
        # modem settles.
        s.tapi_log.wait(lambda e: e.call("lineGetID") and e["call"] != "0x0", 20.0)
        connected_at = time.monotonic()
        data, frame_at = read_frame(port)
        assert data == FRAME, data
        # The modem is given five seconds to settle before the frame goes out.
        assert frame_at - connected_at >= 4.5, frame_at - connected_at
        s.screenshot("modemcall-in-progress", dlg)
        port.write(REPLY)
        lines = wait_ready_again(dlg)
        reply_at = time.monotonic()
        assert lines == [READY, "Dial Tone", "Dialing Call", "Call is Proceeding", "RingBack",
                         "Verifying username and password...",
                         "Sending username and password...", "Connected to " + DIAL_NUMBER,
                         "Command executed successfully.", "Connection Hangup.",
                         # the idle state that the drop brings, reported as every idle is
                         "Line is idle", READY], lines
        assert dlg.enabled(DIAL) and not dlg.enabled(HANGUP), "controls after the call"
        s.screenshot("modemcall-exchange-done", dlg)

        log = s.tapi_log
        makes = log.calls("lineMakeCall")
        assert len(makes) == 1, makes
        make = makes[0]
        assert (make["destination"], make["country"], make["total"], make["bearer"],
                make["media"], make["flags"], make["addressmode"], make["addressid"],
                make["noanswer"], make["orig"], make["displayable"]) == (
            DIAL_NUMBER, "0", str(176 + len(DIAL_NUMBER) + 1), "0x1", "0x10", "0x2", "0x1",
            "0", "0", "none", DIAL_NUMBER), make
        opens = log.calls("lineOpen")
        assert [(e["privileges"], e["media"], e["params"]) for e in opens][-1] == (
            "0x1", "0x10", "null"), opens
        ids = [e for e in log.calls("lineGetID") if e["call"] != "0x0"]
        assert [(e["class"], e["select"], e["total"]) for e in ids] == [
            ("comm/datamodem", "0x4", "1048")], ids
        ending = names(log, "lineDrop", "lineDeallocateCall", "lineClose")
        assert ending[-3:] == ["lineDrop", "lineDeallocateCall", "lineClose"], ending
        trace = app.trace()
        for line in ("DialCallInParts succeeded.", "Connected!  Starting communications!",
                     "Stopping Call in progress", "Call Dropped.", "Call Deallocated.",
                     "Line Closed.", "Call stopped"):
            assert any(line in t for t in trace), (line, trace)
        print("timing: dial->frame %.2f s, connect->frame %.2f s, dial->reply line %.2f s"
              % (frame_at - pressed, frame_at - connected_at, reply_at - pressed))
        dlg.close()
        app.wait(20)
        assert names(log, "lineShutdown"), "telephony shut down by the close box"



UNAVAIL = "LINEERR_OPERATIONUNAVAIL"  # an error HandleLineError leaves alone, without a box
# Each check of Dial that can fail, in order: (name, line statements, box text, box first).
# The line list and its probe read the line before Dial, so scripted results skip those calls.
CHECKS = [
    ("version", "  versions 0x10003 0x10003\n", "Line Version unsupported by this program", True),
    ("capabilities", "results lineGetDevCaps 0 0 %s\n" % UNAVAIL, "Error on Requested line",
     False),
    ("voice", "  bearer LINEBEARERMODE_DATA\n",
     "Error on Requested line.\nThe selected line doesn't support VOICE capabilities.", False),
    # Listed as a data modem, then no longer one when Dial reads the line again.
    ("data modem", "event init 300 set-media 0 LINEMEDIAMODE_INTERACTIVEVOICE 0 0\n",
     "Error on Requested line.\nThe selected line doesn't support DATAMODEM capabilities.",
     False),
    ("make-call", "  features 0\n",
     "Error on Requested line.\nThe selected line doesn't support MAKECALL capabilities.", False),
    ("allocated", "results lineOpen 0 LINEERR_ALLOCATED\n",
     "Line is already in use by a non-TAPI application or by another TAPI Service Provider.",
     False),
    ("open", "results lineOpen 0 %s\n" % UNAVAIL, "Error on Requested line.\nUnable to Use Line.",
     True),
    ("address status", "results lineGetAddressStatus 0 %s\n" % UNAVAIL,
     "Error on Requested line.\nUnable to Use Line.", False),
    ("address features", "  addrfeatures 0\n",
     "Requested line is already in use.\nUnable to Use Line.", False),
]


def each_check_failing(args):
    """Every check of Dial failing in turn: its box, no call made, and ready again."""
    require_calls(args)
    for name, statements, text, box_first in CHECKS:
        with args.session(com_ports=["COM1"]) as s:
            app, dlg, _ = start_call(s, LINE + statements, delay=0.5)
            box, shown = wait_box(s)
            assert shown == text, (name, shown)
            lines = status_lines(dlg)
            # Most checks stop the attempt first; the version's box and an open that fails
            # come before the stop.
            assert lines == ([READY] if box_first else [READY, READY]), (name, lines)
            box.press(1)
            box.wait_gone()
            assert wait_ready_again(dlg) == [READY, READY], name
            assert dlg.enabled(DIAL) and not dlg.enabled(HANGUP), name
            assert not s.tapi_log.calls("lineMakeCall"), name
            opened = [e for e in s.tapi_log.calls("lineOpen") if e["result"] == "0"]
            assert len(s.tapi_log.calls("lineClose")) == len(opened), (name, opened)
            if name == "open":
                assert any("lineOpen unhandled error: " in t for t in app.trace()), name
            dlg.close()
            app.wait(20)


NO_DIALTONE = "  devcapflags LINEDEVCAPFLAGS_DIALBILLING|LINEDEVCAPFLAGS_DIALQUIET\n"
PAUSED = "Dialing Paused\n"
TONE = PAUSED + "Wait for the second dial tone"
PROMPT = PAUSED + "Press OK when you are ready to continue dialing"
# (name, dial number, line statements, [(function, part sent)...], pause boxes, trace line)
PARTS = [
    ("W handled by the modem", "9W5551234", "", [("lineMakeCall", "9W5551234")], [], None),
    ("W not handled", "9W5551234", NO_DIALTONE,
     [("lineMakeCall", "9;"), ("lineDial", "5551234")], [TONE], None),
    ("W declared but refused", "9W5551234", "replies lineMakeCall LINEERR_DIALDIALTONE\n",
     [("lineMakeCall", "9W5551234"), ("lineMakeCall", "9;"), ("lineDial", "5551234")], [TONE],
     "Service Provider incorrectly sets dwDevCapFlags"),
    ("? always", "555?1234", "", [("lineMakeCall", "555;"), ("lineDial", "1234")], [PROMPT],
     None),
    ("trailing pause", "5551234?", "", [("lineMakeCall", "5551234;")], [PROMPT],
     "DialCallInParts succeeded."),
    ("$ and @", "1$2@3", "  devcapflags LINEDEVCAPFLAGS_DIALDIALTONE\n",
     [("lineMakeCall", "1;"), ("lineDial", "2;"), ("lineDial", "3")],
     [PAUSED + "Wait for the credit card bong tone", PAUSED + "Wait for the remote end to answer"],
     None),
    ("dialling enabled later", "555?1234",
     "  callfeatures LINECALLFEATURE_DROP\n"
     "event makecall 300 set-callfeatures call LINECALLFEATURE_DIAL|LINECALLFEATURE_DROP 0 0\n"
     "event makecall 400 LINE_CALLSTATE call LINECALLSTATE_DIALING 0 0\n",
     [("lineMakeCall", "555;"), ("lineDial", "1234")], [PROMPT], "Ok to continue dialing."),
    ("repeating dial error", "5551234", "replies lineMakeCall LINEERR_DIALDIALTONE *\n",
     [("lineMakeCall", "5551234"), ("lineMakeCall", "5551234")], [],
     "LINEERR_DIALDIALTONE repeated with no pause character left to add; dialing ends."),
]


def partial_dialling(args):
    """Numbers with pause characters go out in parts, with the pause box between them."""
    require_calls(args)
    for name, number, statements, sent, boxes, trace_line in PARTS:
        with args.session(com_ports=["COM1"]) as s:
            app, dlg, _ = start_call(s, LINE + statements, ["/DIAL:" + number] + ARGS[1:])
            for expected in boxes:
                box, text = wait_box(s)
                assert text == expected, (name, text)
                if name == "W not handled":
                    s.screenshot("modemcall-pause-box")
                box.press(1)
                box.wait_gone()
            log = s.tapi_log
            wait_for(lambda: len(names(log, "lineMakeCall", "lineDial")) >= len(sent), 10,
                     what="the parts of %s" % name)
            time.sleep(0.3)
            parts = [(e.name, e["destination"]) for e in log.calls()
                     if e.name in ("lineMakeCall", "lineDial")]
            assert parts == sent, (name, parts)
            assert find_box(s) is None, name
            if trace_line:
                app.wait_trace(lambda t: trace_line in t)
            if name == "repeating dial error":
                assert wait_ready_again(dlg)[-1] == READY
            else:
                assert dlg.enabled(HANGUP), name
                dlg.click(HANGUP)
                lines = wait_ready_again(dlg)
                assert lines[-3:] == ["Connection Hangup.", "Line is idle", READY], (name, lines)
            dlg.close()
            app.wait(20)


def no_partial_dialling(args):
    """A pause character on a line that cannot dial in parts: box 127, nothing dialled."""
    require_calls(args)
    with args.session(com_ports=["COM1"]) as s:
        app, dlg, _ = start_call(s, LINE + "  addrcapflags 0\n", ["/DIAL:555?1234"] + ARGS[1:])
        dismiss_box(s, "This line doesn't support partial dialing.")
        assert wait_ready_again(dlg) == [READY, READY]
        assert not s.tapi_log.calls("lineMakeCall")
        # A number without pause characters needs no partial dialling.
        dlg.set_text(1002, "5551234")
        dlg.click(DIAL)
        s.tapi_log.wait_call("lineMakeCall")
        assert [e["destination"] for e in s.tapi_log.calls("lineMakeCall")] == ["5551234"]
        dlg.click(HANGUP)
        wait_status(dlg, lambda lines: lines.count(READY) >= 3)
        dlg.close()
        app.wait(20)


CASES = {
    "whole_exchange": whole_exchange,
    "each_check_failing": each_check_failing,
    "partial_dialling": partial_dialling,
    "no_partial_dialling": no_partial_dialling,
}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))
