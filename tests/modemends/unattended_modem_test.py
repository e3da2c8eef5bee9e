#!/usr/bin/env python3
"""Unattended modem runs of Farlink.exe under Wine (/PROFILE: /AUTODIAL /AUTOCLOSE /LOG:): the exit
status and the log of each way the call ends, against the provider's line and the station."""

import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from modem_session import (FRAME, IDLE_LINE, PASSWORD, READY, SENDING, VERIFYING,  # noqa: E402
                           answered, call_state)
from farlink_wine import run_cases  # noqa: E402
from modem_scenario import modem_line  # noqa: E402
from profiles_test import profile_bytes  # noqa: E402
from station_process import Station  # noqa: E402
from unattended_test import FIRST_LINE, LOG, UNATTENDED, log_lines  # noqa: E402

RANG = ["Dial Tone", "Dialing Call", "Call is Proceeding", "RingBack"]
ANSWERED = RANG + [VERIFYING, SENDING]
FIRST = FIRST_LINE + "modem line Station Modem"


def write_profile(s, cut=0):
    """site.cfg for the modem: line 0, the same values as the interactive tests."""
    folder = s.prefix / "drive_c" / "Farlink"
    folder.mkdir(parents=True, exist_ok=True)
    data = profile_bytes(0, ("5551234", "5550100", "operator", PASSWORD, "FIELD"), 0, 0, 45)
    (folder / "site.cfg").write_bytes(data[:len(data) - cut])


def run_unattended(s, scenario, extra=(), timeout=90):
    """Starts an unattended run; returns (exit status, seconds it took)."""
    start = time.monotonic()
    app = s.start_farlink([*UNATTENDED, *extra], tapi=modem_line("COM1") + scenario,
                          wait_window=False)
    code = app.wait(timeout)
    return code, time.monotonic() - start


def failed_call(states):
    return "".join(call_state(1, delay, state, mode) for delay, state, mode in states)


# station arguments, call scenario, options, exit status, Status lines after Ready,
# lines the end of the attempt may add before the program closes, last log line
RUNS = [
    ("success", [], answered(1), [], 0, ANSWERED + ["Command executed successfully."], [],
     "Exit status 0: the station executed the command"),
    ("invalid user", ["--scenario", "refuse-user"], answered(1), [], 2,
     ANSWERED + ["Invalid user"], [], "Exit status 2: the station refused the user"),
    ("invalid password", ["--scenario", "refuse-password"], answered(1), [], 2,
     ANSWERED + ["Invalid password"], [], "Exit status 2: the station refused the password"),
    ("busy", [], failed_call([(100, "LINECALLSTATE_DIALTONE", "LINEDIALTONEMODE_NORMAL"),
                              (300, "LINECALLSTATE_BUSY", "LINEBUSYMODE_STATION")]), [], 3,
     ["Dial Tone", "Line is busy"], [IDLE_LINE, READY], "Exit status 3: the line was busy"),
    ("no answer", [], failed_call([(100, "LINECALLSTATE_DIALING", 0),
                                   (300, "LINECALLSTATE_RINGBACK", 0),
                                   (600, "LINECALLSTATE_DISCONNECTED",
                                    "LINEDISCONNECTMODE_NOANSWER")]), [], 3,
     ["Dialing Call", "RingBack", "Disconnected: No Answer"], [IDLE_LINE, READY],
     "Exit status 3: the call was not answered"),
    ("station never answers", ["--scenario", "silent"], answered(1), ["/TIMEOUT:10"], 3,
     ANSWERED + ["The station did not answer within 10 seconds."],
     ["Connection Hangup.", IDLE_LINE, READY], "Exit status 3: the station did not answer in time"),
]


def outcomes(args):
    """Each way an unattended modem run ends gives its exit status, and its log tells it."""
    wrong = []
    for what, station_args, scenario, extra, status, lines, tail, last in RUNS:
        with args.session(com_ports=["COM1"]) as s, \
                Station(s, "--link", "modem", *station_args) as station:
            write_profile(s)
            code, took = run_unattended(s, scenario, extra)
            texts = log_lines(s)
            head = [FIRST, READY] + lines
            ended = texts[:len(head)] == head and texts[-1] == last and \
                all(t in tail for t in texts[len(head):-1])
            if code != status or not ended:
                wrong.append((what, code, texts))
            if station_args or what == "success":
                if station.received() != [FRAME]:
                    wrong.append((what, "frame", station.received()))
            if extra:
                # The limit runs from Dial: it ends the run near its 10 s, not at some other wait.
                if not 10 <= took <= 25:
                    wrong.append((what, "took %.1f s" % took))
            print("%s: exit %s after %.1f s" % (what, code, took))
    assert not wrong, "\n".join(map(repr, wrong))


# What a stop may meet once the time limit has passed: (what, provider statements). The station
# stays silent, so the limit ends the attempt while the login waits for its answer.
STOP_HAZARDS = [
    ("drop reply never comes", "reply-delay 600000 lineDrop\n"),
    ("drop fails, no idle", "replies lineDrop LINEERR_OPERATIONFAILED\ndrop-idle no\n"),
    ("call never goes idle", "drop-idle no\n"),
    ("hard REINIT inside the stop", "reply-delay 600000 lineDrop\n"
     "event makecall 10000 LINE_LINEDEVSTATE line LINEDEVSTATE_REINIT 0 0\n"),
]
LIMIT = 8


def time_limit_bounds_the_run(args):
    """/TIMEOUT: bounds the whole unattended run, whatever the line does in the stop: the program
    ends within the limit and 5 s from Dial, with the time-out's status, and its log's exit line."""
    wrong = []
    for what, hazard in STOP_HAZARDS:
        with args.session(com_ports=["COM1"]) as s, \
                Station(s, "--link", "modem", "--scenario", "silent"):
            write_profile(s)
            app = s.start_farlink([*UNATTENDED, "/TIMEOUT:%d" % LIMIT],
                                  tapi=modem_line("COM1") + answered(1) + hazard)
            dialled = time.monotonic()  # the dialog is up: the auto-dial comes next
            code = app.wait(60)
            took = time.monotonic() - dialled
            texts = log_lines(s)
            print("%s: exit %s %.1f s after the dialog came" % (what, code, took))
            if code != 3 or took > LIMIT + 5 or \
                    texts[-1] != "Exit status 3: the station did not answer in time":
                wrong.append((what, code, round(took, 1), texts[-3:]))
    assert not wrong, "\n".join(map(repr, wrong))


def damaged_profile(args):
    """A modem profile cut short: nothing is dialled, exit status 4, and the log says why."""
    with args.session(com_ports=["COM1"]) as s, Station(s, "--link", "modem") as station:
        write_profile(s, cut=2)
        code, _ = run_unattended(s, answered(1))
        assert code == 4, code
        assert s.tapi_log.calls("lineMakeCall") == []
        assert station.received() == [], station.received()
        assert log_lines(s)[1:] == [READY, "Exit status 4: the profile could not be used"], \
            log_lines(s)


CASES = {
    "outcomes": outcomes,
    "time_limit_bounds_the_run": time_limit_bounds_the_run,
    "damaged_profile": damaged_profile,
}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))
