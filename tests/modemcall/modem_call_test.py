#!/usr/bin/env python3
"""A modem call of the real Farlink.exe under Wine, from Dial to "Ready to make a call.":
the test telephony provider places the call and hands over COM1, whose far end plays the
station. Also each check that stops a call before it is made, and dialling in parts."""

import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from modemcall import (ARGS, CONNECTS, DIAL, DIAL_NUMBER, FRAME, HANGUP, LINE, MAIN_CAPTION,  # noqa: E402,E501
                       PROGRESS, READY, REPLY, dismiss_box, find_box, names, read_frame,
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


CASES = {
    "whole_exchange": whole_exchange,
}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))
