#!/usr/bin/env python3
"""Unattended runs of Farlink.exe under Wine: the exit status a script gets, the /LOG: file,
/TIMEOUT:, and the /? box, against the simulated station on COM1."""

import re
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parents[0] / "wine"))
sys.path.insert(0, str(HERE.parents[0] / "e2e"))
sys.path.insert(0, str(HERE.parents[0] / "profiles"))
sys.path.insert(0, str(HERE.parents[0] / "language"))
sys.path.insert(0, str(HERE.parents[1] / "tools" / "station"))

from farlink_driver import Window  # noqa: E402
from farlink_wine import MAIN_CAPTION, run_cases, wait_for  # noqa: E402
from main_dialog import READY, status_lines  # noqa: E402
from profiles_test import profile_bytes  # noqa: E402
from station_process import Station  # noqa: E402

CONNECTED = "Connected with WinCE remote station."
CONNECT_ERROR = "Error connecting with WinCE remote station."
SENDING = "Sending username and password..."
EXECUTED = "Command executed successfully."
HANGUP_LINE = "Connection Hangup."
TIMEOUT_REFUSED = ("/TIMEOUT: takes a number of seconds from 1 to 3600. "
                   "Nothing is dialled automatically.")
LOG_UNAVAILABLE = "The log file %s cannot be opened; the run goes on without it."
PROFILE_EMPTY = "/PROFILE: names no file. Nothing is dialled automatically."
FIRST_LINE = "Farlink To WinCE 1.0.0.1, link: "
STAMP = re.compile(r"^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}) (.*)$")

LOG = "C:\\Farlink\\run.log"
UNATTENDED = ["/PROFILE:site.cfg", "/AUTODIAL", "/AUTOCLOSE", "/LOG:" + LOG]


def write_profile(s, password="s3cret-pw", dial="5551234", name="site.cfg", cut=0):
    folder = s.prefix / "drive_c" / "Farlink"
    folder.mkdir(parents=True, exist_ok=True)
    data = profile_bytes(-1, (dial, "5550100", "operator", password, "FIELD"), 1, 0, 45)
    (folder / name).write_bytes(data[:len(data) - cut])


def log_lines(s):
    """The texts of the log's lines, after checking that each one carries a stamp, in time
    order."""
    path = s.unix_path(LOG)
    raw = path.read_bytes().decode("cp1252")
    assert raw.endswith("\r\n"), repr(raw[-40:])
    texts, stamps = [], []
    for line in raw[:-2].split("\r\n"):
        match = STAMP.match(line)
        assert match, "line without its stamp: %r" % line
        stamps.append(match.group(1))
        texts.append(match.group(2))
    assert stamps == sorted(stamps), "lines out of time order: %r" % raw
    return texts


def run_unattended(s, extra=(), timeout=60):
    """Starts an unattended run; returns (exit status, seconds it took)."""
    start = time.monotonic()
    app = s.start_farlink([*UNATTENDED, *extra], wait_window=False)
    code = app.wait(timeout)
    return code, time.monotonic() - start


# station arguments, extra options, exit status, Status lines after the first, last log line
DIRECT_RUNS = [
    ("success", [], [], 0, [CONNECTED, SENDING, EXECUTED],
     "Exit status 0: the station executed the command"),
    ("invalid user", ["--codes", "01"], [], 2, [CONNECTED, SENDING, "Invalid user"],
     "Exit status 2: the station refused the user"),
    ("invalid password", ["--codes", "02"], [], 2, [CONNECTED, SENDING, "Invalid password"],
     "Exit status 2: the station refused the password"),
    ("silent station", ["--scenario", "silent", "--on", "connect"], ["/TIMEOUT:10"], 3,
     [CONNECT_ERROR], "Exit status 3: no connection with the station"),
    ("login not taken", ["--scenario", "refuse"], [], 3, [CONNECTED, SENDING,
     "Error sending username and password."], "Exit status 3: the station did not take the login"),
]


def direct_outcomes(args):
    """Each way a direct exchange ends gives its exit status and a log that tells it."""
    for what, station_args, extra, status, lines, last in DIRECT_RUNS:
        with args.session(com_ports=["COM1"]) as s, Station(s, *station_args):
            write_profile(s)
            code, took = run_unattended(s, extra)
            assert code == status, (what, code)
            texts = log_lines(s)
            assert texts == [FIRST_LINE + "direct cable on COM1", READY, *lines, last], \
                (what, texts)
            print("%s: exit %d after %.1f s" % (what, code, took))


def password_kept_out_of_the_log(args):
    """A Status line that happens to hold the password shows a mask in the log."""
    with args.session(com_ports=["COM1"]) as s, Station(s, "--codes", "00,06"):
        write_profile(s, password="77123", dial="77123")
        code, _ = run_unattended(s, ["/PASS:other-secret"])
        assert code == 0, code
        texts = log_lines(s)
        assert "Connected to ********" in texts, texts
        # The harness fails the session if either password shows anywhere.


def damaged_profile(args):
    """A profile cut short: no dial, exit status 4, and the log says why."""
    with args.session(com_ports=["COM1"]) as s, Station(s) as station:
        write_profile(s, cut=2)
        code, _ = run_unattended(s)
        assert code == 4, code
        assert station.received() == [], station.received()
        assert log_lines(s)[1:] == [READY, "Exit status 4: the profile could not be used"], \
            log_lines(s)


def refused_timeouts(args):
    """Values outside 1..3600 are refused with one Status line; nothing is dialled."""
    for value in ("0", "3601", "10s", ""):
        with args.session(com_ports=["COM1"]) as s, Station(s) as station:
            write_profile(s)
            code, _ = run_unattended(s, ["/TIMEOUT:" + value])
            assert code == 4, (value, code)
            assert station.received() == [], (value, station.received())
            assert log_lines(s)[1:] == [READY, TIMEOUT_REFUSED,
                                        "Exit status 4: the command line could not be used"], \
                (value, log_lines(s))


def modem_without_lines_ends(args):
    """Today no modem line exists: an unattended modem run still ends, with exit status 3."""
    with args.session(com_ports=["COM1"]) as s:
        start = time.monotonic()
        app = s.start_farlink(["/AUTODIAL", "/AUTOCLOSE", "/LOG:" + LOG, "/TIMEOUT:30"],
                              wait_window=False)
        code, took = app.wait(60), time.monotonic() - start
        assert code == 3, code
        assert took < 30, took
        assert log_lines(s) == [FIRST_LINE + "modem, no line chosen", READY,
                                "Exit status 3: no line or port to dial on"], log_lines(s)


def empty_profile(args):
    """"/PROFILE:" without a path (a batch file's %1 left out): nothing dialled, exit status 4."""
    with args.session(com_ports=["COM1"]) as s, Station(s) as station:
        code, _ = run_unattended(s, ["/PROFILE:", "/DIAL:5551234"])
        assert code == 4, code
        assert station.received() == [], station.received()
        assert log_lines(s)[1:] == [READY, PROFILE_EMPTY,
                                    "Exit status 4: the profile could not be used"], log_lines(s)


def log_written_while_profile_box_waits(args):
    """A profile that is not found: its box waits for a person, and the log already holds the
    run's first lines and the box, in the order they came."""
    with args.session(com_ports=["COM1"]) as s:
        app = s.start_farlink(["/PROFILE:gone.cfg", "/AUTODIAL", "/AUTOCLOSE", "/LOG:" + LOG],
                              wait_window=False)
        ui = s.driver()
        box = wait_for(lambda: find_box(ui, "gone.cfg was not found."), 30, what="profile box")
        texts = log_lines(s)
        assert texts == [FIRST_LINE + "modem, no line chosen", READY,
                         'Box "Farlink To WinCE": gone.cfg was not found.'], texts
        box.press(box.message_box()[2][0])
        assert app.wait(15) == 4
        assert log_lines(s)[3:] == ["Exit status 4: the profile could not be used"], log_lines(s)


def closed_without_dialling(args):
    """An operator who closes without dialling gets exit status 1; a second run appends."""
    with args.session(com_ports=["COM1"]) as s:
        for run in range(2):
            app = s.start_farlink(["/LOG:" + LOG])
            dlg = s.driver().find_window(MAIN_CAPTION)
            dlg.set_text(1005, "typed-secret")
            assert status_lines(dlg) == [READY], status_lines(dlg)
            dlg.click(2)
            assert app.wait(15) == 1
        texts = log_lines(s)
        run_lines = [FIRST_LINE + "modem, no line chosen", READY,
                     "Exit status 1: nothing was dialled"]
        assert texts == run_lines * 2, texts


def unwritable_log_still_dials(args):
    """A log that cannot be opened: one Status line, and the exchange goes on as usual."""
    bad = "C:\\no\\such\\folder\\run.log"
    with args.session(com_ports=["COM1"]) as s, Station(s):
        write_profile(s)
        app = s.start_farlink(["/PROFILE:site.cfg", "/AUTODIAL", "/LOG:" + bad])
        dlg = s.driver().find_window(MAIN_CAPTION)
        box = dlg.wait_owned(30)  # the callback notice after the station's answer
        assert status_lines(dlg) == [READY, LOG_UNAVAILABLE % bad, CONNECTED, SENDING,
                                     EXECUTED, HANGUP_LINE], \
            status_lines(dlg)
        s.screenshot("unattended-log-unavailable", dlg)
        box.press(1)
        box.wait_gone(5)
        dlg.click(2)
        assert app.wait(15) == 0


def find_box(ui, text_part):
    for handle, _pid, cls, caption in ui.windows():
        if cls == "#32770" and caption == MAIN_CAPTION:
            box = Window(ui, handle)
            if text_part in box.message_box()[1]:
                return box
    return None


def usage_box(args):
    """/? and /HELP show the options and exit codes in an application-titled box, and dial nothing."""
    for option in ("/?", "/help"):
        with args.session(com_ports=["COM1"]) as s:
            app = s.start_farlink([option, "/AUTODIAL"], wait_window=False)
            ui = s.driver()
            box = wait_for(lambda: find_box(ui, "/TIMEOUT:seconds"), 30, what="usage box")
            text = box.message_box()[1]
            for part in ("/DIAL:number", "/LOG:path", "/? or /HELP", "Exit status:",
                         "0 - the station executed the command", "4 - the profile"):
                assert part in text, (part, text)
            if option == "/?":
                s.screenshot("unattended-usage-box", box)
            box.press(box.message_box()[2][0])
            assert app.wait(15) == 1
            assert not ui.try_find_window(MAIN_CAPTION)


def german_usage_box(args):
    """The German module translates the usage text."""
    from language_test import install, ini, user_settings
    with args.session(com_ports=()) as s:
        exe = install(s, args, modules=["de/Farlink-EXE-mui.dll"])
        ini(exe.parent / "Program Settings.ini",
            {"OEM": {"CompanyID": "7", "ProductName": "Farlink"}, "Install": {"Version": "2.5"}})
        user_settings(s, "Farlink v2.5", "de-DE")
        app = s.start(exe, ["/?"], name="Farlink")
        ui = s.driver()
        box = wait_for(lambda: find_box(ui, "Exitcode:"), 30, what="German usage box")
        assert "/TIMEOUT:Sekunden" in box.message_box()[1], box.message_box()
        s.screenshot("unattended-usage-box-german", box)
        box.press(box.message_box()[2][0])
        assert app.wait(15) == 1


CASES = {
    "direct_outcomes": direct_outcomes,
    "password_kept_out_of_the_log": password_kept_out_of_the_log,
    "damaged_profile": damaged_profile,
    "refused_timeouts": refused_timeouts,
    "modem_without_lines_ends": modem_without_lines_ends,
    "empty_profile": empty_profile,
    "log_written_while_profile_box_waits": log_written_while_profile_box_waits,
    "closed_without_dialling": closed_without_dialling,
    "unwritable_log_still_dials": unwritable_log_still_dials,
    "usage_box": usage_box,
    "german_usage_box": german_usage_box,
}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))
