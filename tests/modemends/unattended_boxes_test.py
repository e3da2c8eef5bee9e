#!/usr/bin/env python3
"""Unattended modem runs (/AUTODIAL /AUTOCLOSE /TIMEOUT: /LOG:) whose attempt opens a box nobody
answers: /TIMEOUT: ends the attempt, the box is closed with its declining answer, and the run ends
with the attempt's status; the box's text is in the log. Also a reply split past the read gap, and
/TIMEOUT: racing the station's verdict."""

import sys
import time
from datetime import datetime
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from modem_session import PASSWORD, answered, call_state, event  # noqa: E402
from farlink_wine import run_cases  # noqa: E402
from modem_scenario import modem_line  # noqa: E402
from profiles_test import profile_bytes  # noqa: E402
from station_process import Station  # noqa: E402
from unattended_test import LOG, STAMP, log_lines  # noqa: E402

TIMED_OUT = "Exit status 3: the station did not answer in time"
NO_DIALTONE = "  devcapflags LINEDEVCAPFLAGS_DIALBILLING|LINEDEVCAPFLAGS_DIALQUIET\n"
DIALTONE = call_state(1, 100, "LINECALLSTATE_DIALTONE", "LINEDIALTONEMODE_NORMAL")


def devstate(state):
    return DIALTONE + event(1, 400, "LINE_LINEDEVSTATE", "line", state)


# name, dial number, line statements, the box's line in the log
BOXES = [
    ("out of service", "5551234", devstate("LINEDEVSTATE_OUTOFSERVICE"),
     'Box "Warning": Line selected is now Out of Service. Closing existing call.'),
    ("no make-call ability", "5551234", "  features 0\n",
     'Box "Farlink To WinCE": Error on Requested line. '
     "The selected line doesn't support MAKECALL capabilities."),
    ("dialling paused", "9W5551234", NO_DIALTONE + DIALTONE,
     'Box "Farlink To WinCE": Dialing Paused Wait for the second dial tone'),
    ("channel refuses the handle", "5551234", "  commid pipe\n" + answered(1),
     'Box "Farlink To WinCE": File handle is not a comm handle.'),
]


def run(s, statements, dial="5551234", extra=(), timeout=60):
    """An unattended modem run with a profile for `dial`; returns (exit status, log lines)."""
    folder = s.prefix / "drive_c" / "Farlink"
    folder.mkdir(parents=True, exist_ok=True)
    data = profile_bytes(0, (dial, "5550100", "operator", PASSWORD, "FIELD"), 0, 0, 45)
    (folder / "site.cfg").write_bytes(data)
    app = s.start_farlink(["/PROFILE:site.cfg", "/AUTODIAL", "/AUTOCLOSE", "/LOG:" + LOG, *extra],
                          tapi=modem_line("COM1") + statements, wait_window=False)
    return app.wait(timeout), log_lines(s)


def seconds_between(s, first, last):
    """Seconds between the stamps of the log lines `first` and `last`."""
    raw = s.unix_path(LOG).read_bytes().decode("cp1252").split("\r\n")
    at = {m.group(2): datetime.strptime(m.group(1), "%Y-%m-%d %H:%M:%S.%f")
          for m in map(STAMP.match, raw) if m}
    return (at[last] - at[first]).total_seconds()


def boxes_end_with_the_attempt(args):
    """Each kind of box, never answered: the run ends by /TIMEOUT: with status 3 within 2 s."""
    wrong = []
    for name, dial, statements, box_line in BOXES:
        with args.session(com_ports=["COM1"]) as s, Station(s, "--link", "modem"):
            started = time.monotonic()
            code, texts = run(s, statements, dial, ["/TIMEOUT:6"])
            took = time.monotonic() - started
            limit = "The station did not answer within 6 seconds."
            ended = texts[-1] == TIMED_OUT and limit in texts and box_line in texts
            closing = seconds_between(s, limit, TIMED_OUT) if ended else None
            print("%s: exit %s after %.1f s, %s s from the limit to the end"
                  % (name, code, took, closing))
            if code != 3 or not ended or closing > 2.0:
                wrong.append((name, code, closing, texts))
    assert not wrong, "\n".join(map(repr, wrong))


def split_reply_without_verdict(args):
    """A reply whose pieces come further apart than the read gap: the first piece ends the
    exchange without a verdict, and the log says the login went out."""
    with args.session(com_ports=["COM1"]) as s, \
            Station(s, "--link", "modem", "--scenario", "split", "--split-gap-ms", "900"):
        code, texts = run(s, answered(1))
        assert code == 3, (code, texts)
        assert texts[-1] == ("Exit status 3: the login was sent, but the station's answer held "
                             "no verdict"), texts


def time_limit_racing_the_verdict(args):
    """The station's verdict and /TIMEOUT: come close together: whichever the log shows decides,
    and a verdict that arrives during the hang-up counts."""
    with args.session(com_ports=["COM1"]) as s, \
            Station(s, "--link", "modem", "--scenario", "late", "--late-s", "0.6"):
        code, texts = run(s, answered(1), extra=["/TIMEOUT:7"])
        print("exit %s, log %r" % (code, texts))
        if "Command executed successfully." in texts:
            assert code == 0 and texts[-1] == "Exit status 0: the station executed the command", \
                texts
        else:
            assert code == 3 and texts[-1] == TIMED_OUT, texts


CASES = {
    "boxes_end_with_the_attempt": boxes_end_with_the_attempt,
    "split_reply_without_verdict": split_reply_without_verdict,
    "time_limit_racing_the_verdict": time_limit_racing_the_verdict,
}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))
