#!/usr/bin/env python3
"""Endurance run of Farlink.exe under Wine: many exchanges and profile Load/Save cycles in one
run of the program, with its resource counters read before, at every step and after.

    python3 tools/endurance/endurance.py --build-dir build/win32 [--exchanges 200] [--every 50]
        [--profile-cycles 100] [--link direct|modem|both]

Each exchange is what an operator does. On the direct cable (COM1): Dial against the simulated
station (connect, login, reply, hang-up request), then OK on the callback notice. On the modem
(a line of the test telephony provider whose data channel is COM2): Dial, the call rings through
to connected, the login goes out after the modem's settle time, the station answers, the program
hangs up and the call is dropped; a modem hang-up shows no callback notice. With --link both
(the default) one run of the program does the direct series, then the modem series. Each profile
cycle saves the dialog's values over one file and loads them back through the file dialogs.

The counters come from the UI driver (handles, USER and GDI objects, private bytes, working
set, threads, CPU time) plus the number of open unix file descriptors of the program's process:
under Wine the handle and USER/GDI counts read 0 and private bytes fall back to committed
memory, and the descriptors then stand in for the kernel handles. Every count must end where
it stood after the warm-up; memory may move by no more than the tolerance. The exit status is 1
when anything grew.

Wine 8 loses a fixed amount of heap for every comm-event wait that has to wait: it runs the
wait on a thread of its own that ends without the usual thread clean-up. The serial library
waits that way a few times per exchange, so the raw memory figures grow with the exchanges
whatever the program does. The run therefore measures that amount first with a bare program
on a port of its own (tools/bench/comm_wait_growth.py), counts Wine's wait threads in the
program's trace (the `comm` channel's wait_for_event lines) and judges memory net of them; the
table shows the count (wine_waits) beside the raw figures.
"""

import argparse
import os
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "wine"))
sys.path.insert(0, str(ROOT / "tools" / "station"))
sys.path.insert(0, str(ROOT / "tools" / "bench"))

from contextlib import ExitStack  # noqa: E402

from farlink_wine import MAIN_CAPTION, WineSession, wait_for  # noqa: E402
from modem_scenario import ANSWERED, call_states, modem_line  # noqa: E402
from station_process import Station  # noqa: E402
import comm_wait_growth  # noqa: E402

DIRECT, MODEM, PORTS, LINES, DIAL, HANGUP, STATUS = 1010, 1011, 1007, 1001, 3, 6, 1008
SAVE, LOAD, CLOSE, USERNAME, DELAY = 5, 4, 2, 1004, 1012
IDOK, IDYES = 1, 6
ARGS = ["/DIAL:5551234", "/USER:endurance", "/PASS:pw"]
DIRECT_PORT, MODEM_PORT = "COM1", "COM2"
# The bare program that measures Wine's loss per wait runs here, away from both stations.
CALIBRATION_PORT = "COM3"
NOTICE_START = "The remote WinCE device will attempt to connect to this station in "
EOL = "\r\r\n"
HANGUP_LINE = "Connection Hangup."
ANSWER_LINE = "Command executed successfully."
READY_LINE = "Ready to make a call."

# Counts that must come back exactly; memory figures get a tolerance.
COUNTS = ("fds", "handles", "user", "gdi", "threads")
MEMORY = ("private", "working_set")
LINKS = ("direct", "modem", "both")
# One line per comm-event wait that Wine hands to a thread of its own.
WINE_WAIT_LINE = b"trace:comm:wait_for_event"
FARLINK_DEBUG = "-all,warn+debugstr,trace+comm"


class Grew(AssertionError):
    """A counter ended above where it stood after the warm-up."""


class WineWaits:
    """Counts the program's comm-event waits that Wine ran on threads of its own, from its
    trace, reading only what was added since the last look."""

    def __init__(self, app):
        self.path = app.stderr_path
        self.offset = 0
        self.count = 0
        self.tail = b""

    def __call__(self):
        with open(self.path, "rb") as f:
            f.seek(self.offset)
            data = self.tail + f.read()
        self.offset += len(data) - len(self.tail)
        cut = data.rfind(b"\n") + 1
        self.count += data[:cut].count(WINE_WAIT_LINE)
        self.tail = data[cut:]
        return self.count


def sample(session, app, dlg, label, wine_waits=None):
    """One row of the table: the program's counters now."""
    row = dict(label=label, **session.driver().counters(dlg.pid()))
    try:
        row["fds"] = len(os.listdir("/proc/%d/fd" % app.popen.pid))
    except OSError:
        row["fds"] = -1  # the process is gone or not ours to read
    row["wine_waits"] = wine_waits() if wine_waits else 0
    return row


def direct_exchange(dlg, station):
    """Dial, the station's answer and the hang-up request, then OK on the notice."""
    seen = len(station.events("frame"))
    dlg.click(DIAL)
    box = dlg.wait_owned(30)
    text = box.message_box()[1]
    if not text.startswith(NOTICE_START):
        raise AssertionError("not the callback notice: %r" % text)
    box.press(IDOK)
    box.wait_gone(10)
    frames = len(station.events("frame")) - seen
    if frames != 3:
        raise AssertionError("%d frames reached the station instead of 3" % frames)
    if not dlg.text(STATUS).endswith(HANGUP_LINE + EOL):
        raise AssertionError("status does not end with the hang-up line")


def modem_exchange(dlg, station):
    """Dial, the call connected, the login and the station's answer, the hang-up and the call
    dropped: the dialog is ready for the next call."""
    frames, answers = len(station.events("frame")), len(station.events("answer"))
    before = dlg.text(STATUS)
    dlg.click(DIAL)
    # The program sleeps on its UI thread before the login goes out, and text reads would wait
    # for it: the station's log tells when the answer went back, an enabled state when the call
    # is over.
    wait_for(lambda: len(station.events("answer")) > answers, 30, interval=0.2,
             what="the station's answer")
    wait_for(lambda: not dlg.enabled(HANGUP), 20, interval=0.1, what="the call dropped")
    if len(station.events("frame")) - frames != 1:
        raise AssertionError("%d logins reached the station instead of 1" %
                             (len(station.events("frame")) - frames))
    text = dlg.text(STATUS)
    # The Status box is emptied when it is full; then only the end of this exchange is there.
    new = text[len(before):] if text.startswith(before) else text
    lines = new.split(EOL)[:-1]
    if not new.endswith(READY_LINE + EOL) or HANGUP_LINE not in lines:
        raise AssertionError("status after the call: %r" % lines)
    if text.startswith(before) and ANSWER_LINE not in lines:
        raise AssertionError("no reply line: %r" % lines)


def profile_cycle(dlg, name, index):
    """Save the dialog's values over one profile, then Load it back; the values survive."""
    user = "endurance %d" % index
    dlg.set_text(USERNAME, user)
    if dlg.click(SAVE) != "modal":
        raise AssertionError("Save... opened no file dialog")
    chooser = dlg.wait_owned(10)
    chooser.file_dialog_save(name)
    chooser.wait_gone(10)
    dlg.set_text(USERNAME, "changed")
    if dlg.click(LOAD) != "modal":
        raise AssertionError("Load... opened no file dialog")
    chooser = dlg.wait_owned(10)
    chooser.file_dialog_open(name)
    chooser.wait_gone(10)
    # The file dialog's window goes before the open call returns, and a read sent meanwhile is
    # answered from the dialog's message loop: the loaded values come a moment later.
    try:
        dlg.wait_text(USERNAME, user, 10)
    except TimeoutError:
        raise AssertionError("loaded %r, saved %r" % (dlg.text(USERNAME), user)) from None


def growth(rows, memory_tolerance, bytes_per_wine_wait=0):
    """What grew from the first row (after the warm-up) to the last: {counter: (from, to)}.
    Memory is judged net of what Wine's own wait threads lost in between."""
    first, last = rows[0], rows[-1]
    grew = {k: (first[k], last[k]) for k in COUNTS if last[k] > first[k]}
    wine_loss = (last["wine_waits"] - first["wine_waits"]) * bytes_per_wine_wait
    grew.update({k: (first[k], last[k]) for k in MEMORY
                 if last[k] - first[k] - wine_loss > memory_tolerance})
    return grew


def table(title, rows):
    columns = ("label", *COUNTS, *MEMORY, "cpu_ms", "wine_waits")
    lines = [title, "  ".join("%12s" % c for c in columns)]
    for row in rows:
        lines.append("  ".join("%12s" % row[c] for c in columns))
    return "\n".join(lines)


def run_series(session, app, dlg, step, count, every, what, wine_waits=None):
    """One warm-up step, then `count` steps; rows before, every `every` and after."""
    step(-1)  # loads what a first use loads (serial code, file dialogs), once
    rows = [sample(session, app, dlg, "before", wine_waits)]
    for i in range(1, count + 1):
        step(i)
        if i % every == 0 or i == count:
            rows.append(sample(session, app, dlg, "%s %d" % (what, i), wine_waits))
    time.sleep(1.0)  # let threads and handles a step left behind end on their own
    rows.append(sample(session, app, dlg, "after", wine_waits))
    return rows


def modem_scenario(calls):
    """The provider's modem line on MODEM_PORT, its first `calls` calls ringing through."""
    return modem_line(MODEM_PORT) + call_states(ANSWERED, calls)


# link: (its type button, the list it dials from, one exchange)
LINK_SERIES = {"direct": (DIRECT, PORTS, direct_exchange), "modem": (MODEM, LINES, modem_exchange)}


def bytes_per_wine_wait(session):
    """Heap a bare program loses per pending comm-event wait on this Wine (CALIBRATION_PORT)."""
    rows = comm_wait_growth.measure(session, session.build_dir, CALIBRATION_PORT)["wait"]
    return comm_wait_growth.growth_per_wait(rows)[0]


def endurance(session, exchanges, every, profile_cycles, memory_tolerance, link="direct",
              station_args=(), done=None):
    """Runs the series in one run of the program; returns [(title, rows, growth)].

    link: "direct", "modem" or "both" (the direct series, then the modem one). The session needs
    DIRECT_PORT for the direct link, MODEM_PORT for the modem and CALIBRATION_PORT for the bare
    program that measures Wine's loss per wait. station_args go to the direct
    station. done(title, rows, growth) is called as each series ends, so that a long run that
    fails later still shows what it had measured.
    """
    links = ("direct", "modem") if link == "both" else (link,)
    results = []
    per_wait = bytes_per_wine_wait(session)
    with ExitStack() as stack:
        stations, tapi = {}, None
        if "direct" in links:
            stations["direct"] = stack.enter_context(
                Station(session, *station_args, port=DIRECT_PORT))
        if "modem" in links:
            stations["modem"] = stack.enter_context(
                Station(session, "--link", "modem", port=MODEM_PORT, name="modem-station"))
            tapi = modem_scenario(exchanges + 1)  # the warm-up is a call too
        app = session.start_farlink(ARGS, tapi=tapi, env={"WINEDEBUG": FARLINK_DEBUG})
        wine_waits = WineWaits(app)
        dlg = session.driver().find_window(MAIN_CAPTION)

        def series(title, step, count, every_rows, what):
            rows = run_series(session, app, dlg, step, count, every_rows, what, wine_waits)
            results.append(("%s (memory net of %.0f B per Wine wait thread)" % (title, per_wait),
                            rows, growth(rows, memory_tolerance, per_wait)))
            if done:
                done(*results[-1])

        for name in links:
            button, choices, exchange = LINK_SERIES[name]
            dlg.click(button)
            wait_for(lambda: dlg.enabled(choices), 10, what="the %s type" % name)
            dlg.select(choices, 0)
            if exchanges:
                series("%d %s exchanges" % (exchanges, name),
                       lambda i: exchange(dlg, stations[name]), exchanges, every, "exchange")
        if profile_cycles:
            series("%d profile Load/Save cycles" % profile_cycles,
                   lambda i: profile_cycle(dlg, "endure.cfg", i), profile_cycles,
                   max(1, profile_cycles // 4), "cycle")
        dlg.click(CLOSE)
        app.wait(30)
    return results


def main():
    p = argparse.ArgumentParser(description=__doc__,
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--build-dir", required=True)
    p.add_argument("--exchanges", type=int, default=200)
    p.add_argument("--every", type=int, default=50)
    p.add_argument("--profile-cycles", type=int, default=100)
    p.add_argument("--memory-tolerance-kib", type=int, default=512)
    p.add_argument("--link", choices=LINKS, default="both")
    args = p.parse_args()
    build = Path(args.build_dir).resolve()
    os.environ["FARLINK_EXE"] = str(build / "Farlink.exe")
    os.environ["FARLINK_DRIVER"] = str(build / "tools" / "driver" / "ui_driver.exe")

    def show(title, rows, grew):
        print(table(title, rows))
        print("  flat" if not grew else "  GREW: %s" % grew, flush=True)

    # A session's folder is wiped when it opens: runs of different links can go side by side.
    with WineSession(build, "endurance-" + args.link, com_ports=[DIRECT_PORT, MODEM_PORT, CALIBRATION_PORT]) as s:
        results = endurance(s, args.exchanges, args.every, args.profile_cycles,
                            args.memory_tolerance_kib * 1024, args.link, done=show)
    return 1 if any(grew for _, _, grew in results) else 0


if __name__ == "__main__":
    sys.exit(main())
