#!/usr/bin/env python3
"""Endurance run of Farlink.exe under Wine: many exchanges and profile Load/Save cycles in one
run of the program, with its resource counters read before, at every step and after.

    python3 tools/endurance/endurance.py --build-dir build/win32 [--exchanges 200] [--every 50]
        [--profile-cycles 100] [--link direct]

Each exchange is what an operator does: Dial on the direct cable against the simulated station
(connect, login, reply, hang-up request), then OK on the callback notice. Each profile cycle
saves the dialog's values over one file and loads them back through the file dialogs.

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
on a second port (tools/bench/comm_wait_growth.py), counts Wine's wait threads in the
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

from farlink_wine import MAIN_CAPTION, WineSession, wait_for  # noqa: E402
from station_process import Station  # noqa: E402
import comm_wait_growth  # noqa: E402

DIRECT, PORTS, DIAL, STATUS, SAVE, LOAD, CLOSE = 1010, 1007, 3, 1008, 5, 4, 2
USERNAME, DELAY = 1004, 1012
IDOK, IDYES = 1, 6
# The bare program that measures Wine's loss per wait runs here, away from the station's COM1.
CALIBRATION_PORT = "COM2"
NOTICE_START = "The remote WinCE device will attempt to connect to this station in "
HANGUP_LINE = "Connection Hangup."

# Counts that must come back exactly; memory figures get a tolerance.
COUNTS = ("fds", "handles", "user", "gdi", "threads")
MEMORY = ("private", "working_set")
LINKS = ("direct", "modem")
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


def exchange(dlg, station):
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
    if not dlg.text(STATUS).endswith(HANGUP_LINE + "\r\r\n"):
        raise AssertionError("status does not end with the hang-up line")


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
    if dlg.text(USERNAME) != user:
        raise AssertionError("loaded %r, saved %r" % (dlg.text(USERNAME), user))


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


def bytes_per_wine_wait(session):
    """Heap a bare program loses per pending comm-event wait on this Wine (CALIBRATION_PORT)."""
    rows = comm_wait_growth.measure(session, session.build_dir, CALIBRATION_PORT)["wait"]
    return comm_wait_growth.growth_per_wait(rows)[0]


def endurance(session, exchanges, every, profile_cycles, memory_tolerance, link="direct",
              station_args=()):
    """Runs both series in one run of the program; returns [(title, rows, growth)]."""
    if link != "direct":
        raise ValueError("the %s link has no endurance series yet; use --link direct" % link)
    results = []
    per_wait = bytes_per_wine_wait(session)
    with Station(session, *station_args) as station:
        app = session.start_farlink(["/DIAL:5551234", "/USER:endurance", "/PASS:pw"],
                                    env={"WINEDEBUG": FARLINK_DEBUG})
        wine_waits = WineWaits(app)
        dlg = session.driver().find_window(MAIN_CAPTION)
        dlg.click(DIRECT)
        wait_for(lambda: dlg.enabled(PORTS), 10, what="Direct type")
        dlg.select(PORTS, 0)
        if exchanges:
            rows = run_series(session, app, dlg, lambda i: exchange(dlg, station), exchanges,
                              every, "exchange", wine_waits)
            results.append(("%d direct exchanges (memory net of %.0f B per Wine wait thread)"
                            % (exchanges, per_wait), rows,
                            growth(rows, memory_tolerance, per_wait)))
        if profile_cycles:
            rows = run_series(session, app, dlg, lambda i: profile_cycle(dlg, "endure.cfg", i),
                              profile_cycles, max(1, profile_cycles // 4), "cycle", wine_waits)
            results.append(("%d profile Load/Save cycles" % profile_cycles, rows,
                            growth(rows, memory_tolerance, per_wait)))
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
    p.add_argument("--link", choices=LINKS, default="direct")
    args = p.parse_args()
    if args.link == "modem":
        p.error("--link modem: the modem series needs the modem call, which this tool does not"
                " drive yet; run --link direct")
    build = Path(args.build_dir).resolve()
    os.environ["FARLINK_EXE"] = str(build / "Farlink.exe")
    os.environ["FARLINK_DRIVER"] = str(build / "tools" / "driver" / "ui_driver.exe")
    with WineSession(build, "endurance", com_ports=["COM1", CALIBRATION_PORT]) as s:
        results = endurance(s, args.exchanges, args.every, args.profile_cycles,
                            args.memory_tolerance_kib * 1024, args.link)
    failed = False
    for title, rows, grew in results:
        print(table(title, rows))
        print("  flat" if not grew else "  GREW: %s" % grew)
        failed |= bool(grew)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
