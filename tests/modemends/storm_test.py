#!/usr/bin/env python3
"""Seeded storms on a modem call of Farlink.exe under Wine.

Each seed draws a schedule: line events the service can deliver at random times within each call
(every call state, repeated CONNECTED, BUSY, DISCONNECTED in any mode, IDLE, states before their
reply, LINE_CLOSE, hard and soft REINIT, the line out of service, in maintenance or gone),
replies that fail, come late or never, events due at the same moment and events inside a drop;
and the operator's Dial, Hangup, Close and close box at random times, boxes answered, sometimes a
/TIMEOUT:, sometimes an unattended run. After the run the invariants are checked:

1. no login reaches the station after its call began to be taken down;
2. once "Ready to make a call." shows and no box is open, the port is free again;
3. at lineShutdown every line the program opened is closed and every call deallocated;
4. an /AUTODIAL /AUTOCLOSE run ends within its limit and a fixed bound, with the exit status
   its Status lines imply;
5. the dialog answers within 2 s while no box is open, and nothing crashes.

    python3 tests/modemends/storm_test.py --build-dir build/win64 --exe build/win64/Farlink.exe \\
        --driver build/win64/tools/driver/ui_driver.exe --case seeds  (FARLINK_STORM_SEEDS=1-500)

Every run prints its seed; FARLINK_STORM_SEEDS=N replays one.
"""

import os
import random
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tapi"))
from modem_session import (DIAL, FRAME, HANGUP, MODEM, READY, VALUES,  # noqa: E402
                           status_lines)
from farlink_driver import DriverError, Window  # noqa: E402
from farlink_wine import MAIN_CAPTION, run_cases  # noqa: E402
from modem_scenario import modem_line  # noqa: E402
from startup_test import main_dialog  # noqa: E402
from station_process import Station  # noqa: E402
from unattended_modem_test import write_profile  # noqa: E402
from unattended_test import UNATTENDED, log_lines  # noqa: E402

CLOSE = 2
# Seeds that once broke an invariant: they run first, every time.
# (generator, seed); generator 1 had no calm calls and the operator acted within 4 s.
REGRESSIONS = [
    (1, 1),  # LINE_CLOSE inside a stop (the checker now ends the line's calls with it)
    (1, 2),  # a hard REINIT inside a stop shut telephony down with the call still open
    (2, 1303),  # Close inside a dial's wait, pressed by another program: the dialog never ended
    (2, 433),  # the checker: an unattended run whose call failed at once ended before it looked
]
GENERATOR = 2
CI_SEEDS = "3-4"
CALLS = 4
STATES = ["LINECALLSTATE_DIALTONE", "LINECALLSTATE_DIALING", "LINECALLSTATE_PROCEEDING",
          "LINECALLSTATE_RINGBACK", "LINECALLSTATE_CONNECTED", "LINECALLSTATE_CONNECTED",
          "LINECALLSTATE_CONNECTED", "LINECALLSTATE_BUSY", "LINECALLSTATE_IDLE",
          "LINECALLSTATE_SPECIALINFO", "LINECALLSTATE_DISCONNECTED",
          "LINECALLSTATE_DISCONNECTED"]
MODES = ["LINEDISCONNECTMODE_NORMAL", "LINEDISCONNECTMODE_BUSY", "LINEDISCONNECTMODE_NOANSWER",
         "LINEDISCONNECTMODE_UNKNOWN", "LINEDISCONNECTMODE_REJECT", "LINEDISCONNECTMODE_UNAVAIL"]
LINE_EVENTS = [("LINE_CLOSE", "line", 0, 0),
               ("LINE_LINEDEVSTATE", "line", "LINEDEVSTATE_REINIT", 0),
               ("LINE_LINEDEVSTATE", "line", "LINEDEVSTATE_REINIT", "LINE_CREATE"),
               ("LINE_LINEDEVSTATE", "line", "LINEDEVSTATE_OUTOFSERVICE", 0),
               ("LINE_LINEDEVSTATE", "line", "LINEDEVSTATE_MAINTENANCE", 0),
               ("LINE_LINEDEVSTATE", "line", "LINEDEVSTATE_DISCONNECTED", 0)]
REPLY_FAILURES = ["LINEERR_OPERATIONFAILED", "LINEERR_CALLUNAVAIL", "LINEERR_INVALCALLSTATE"]


def schedule(rng, generator=GENERATOR):
    """The scenario (provider statements) and the plan of the run drawn from rng."""
    lines = ["reply-delay %d" % rng.choice([5, 10, 50, 300, 900])]
    if rng.random() < 0.3:
        lines.append("drop-idle no")
    for function in ("lineMakeCall", "lineDrop"):
        if rng.random() < 0.25:
            # 0 = the normal reply; a long delay stands for a reply that never comes
            lines.append("replies %s %s" % (function, " ".join(
                rng.choice(["0", "0"] + REPLY_FAILURES) for _ in range(CALLS))))
    for n in range(1, CALLS + 1):
        anchor = "makecall#%d" % n
        due = 0
        calm = generator >= 2 and rng.random() < 0.5
        if calm:
            # A call that connects and gets to its login, with at most one event about the
            # time the login goes out (the modem settles 5 s first).
            lines.append("event %s 100 LINE_CALLSTATE call LINECALLSTATE_DIALTONE 0 0" % anchor)
            lines.append("event %s 400 LINE_CALLSTATE call LINECALLSTATE_CONNECTED 0 0" % anchor)
            due = rng.choice([4800, 5200, 5400, 5600, 6000])
        for _ in range(rng.randint(0, 1) if calm else rng.randint(1, 6)):
            due += rng.choice([0, 0, 50, 200, 700, 1500])  # 0: due with the one before
            if rng.random() < 0.8:
                state = rng.choice(STATES)
                mode = rng.choice(MODES) if state.endswith("DISCONNECTED") else 0
                lines.append("event %s %d LINE_CALLSTATE call %s %s 0" % (anchor, due, state, mode))
            else:
                message, device, p1, p2 = rng.choice(LINE_EVENTS)
                lines.append("event %s %d %s %s %s %s 0" % (anchor, due, message, device, p1, p2))
        if rng.random() < 0.4:
            # inside the drop: after its reply, before or with its IDLE
            state = rng.choice(["LINECALLSTATE_CONNECTED", "LINECALLSTATE_BUSY",
                                "LINECALLSTATE_IDLE"])
            lines.append("event drop#%d 0 LINE_CALLSTATE call %s 0 0" % (n, state))
        if rng.random() < 0.15:
            lines.append("event drop#%d 0 LINE_CLOSE line 0 0 0" % n)
    unattended = rng.random() < 0.25
    plan = {
        "unattended": unattended,
        "timeout": rng.choice([0, 0, 0, 3, 8]) if not unattended else rng.choice([0, 5, 10]),
        "actions": [(rng.uniform(0.2, 8.0 if generator >= 2 else 4.0), rng.choice(["dial", "dial", "hangup", "wait"]))
                    for _ in range(rng.randint(3, 8))],
        "ending": rng.choice(["close box", "close box", "close button", "close in a box"]),
        "station": rng.choice(["00,06", "silent", "04"]),
        "buttons": rng.random(),
    }
    return "\n".join(lines) + "\n", plan


class Watch:
    """Acts on the dialog and notes what invariants 2 and 5 need while the run goes on."""

    def __init__(self, s, app, rng, plan):
        self.s, self.app, self.rng, self.plan = s, app, rng, plan
        self.ui = s.driver()
        self.dlg = None
        self.problems = []
        self.status = []

    def box(self):
        """An open box of the program (any caption but the main dialog's own window)."""
        for handle, pid, cls, title in self.ui.windows():
            if cls != "#32770" or str(pid) != str(self.dlg.pid()):
                continue
            window = Window(self.ui, handle)
            if title == MAIN_CAPTION and any(c["id"] == 1001 for c in window.controls()):
                continue
            return window
        return None

    def answer_boxes(self):
        while self.app.alive():
            box = self.box()
            if box is None:
                return
            try:
                _, text, buttons = box.message_box()
                if "Already have a comm file open" in text:
                    self.problems.append("2: a channel of an earlier call still held the port")
                box.press(self.rng.choice(buttons) if self.plan["buttons"] < 0.5 else buttons[0])
                box.wait_gone(10)
            except Exception:  # noqa: BLE001  (the box went by itself, or the program ended)
                time.sleep(0.1)

    def responsive(self):
        """Invariant 5, and a look at the Status lines."""
        if not self.app.alive() or self.box() is not None:
            return
        began = time.monotonic()
        try:
            self.status = status_lines(self.dlg)
        except DriverError:
            return
        took = time.monotonic() - began
        if took > 2.0 and self.box() is None:
            self.problems.append("5: the dialog took %.1f s to answer" % took)

    def port_free(self, tty):
        """Invariant 2: no handle of the program on the modem's port while it is ready."""
        if not self.app.alive() or self.box() is not None or not self.status or \
                self.status[-1] != READY or self.dlg.enabled(HANGUP):
            return
        time.sleep(0.3)
        if tty_holders(tty) and self.box() is None and status_lines(self.dlg)[-1] == READY:
            self.problems.append("2: the port is still open while the dialog is ready")

    def act(self, what):
        try:
            if what == "dial" and self.dlg.enabled(DIAL):
                self.dlg.click(DIAL)
            elif what == "hangup" and self.dlg.enabled(HANGUP):
                self.dlg.click(HANGUP)
        except DriverError:
            pass  # a box came first: it is answered next


def tty_holders(tty):
    """Processes with the program's end of the pty open, but for the pty's own maker. Wine's
    server keeps a descriptor for as long as any handle of the program is open on the port."""
    holders = []
    for folder in Path("/proc").glob("[0-9]*"):
        try:
            if (folder / "cmdline").read_bytes().startswith(b"socat"):
                continue
            if any(os.path.realpath(fd) == tty for fd in (folder / "fd").iterdir()):
                holders.append(folder.name)
        except OSError:
            continue
    return holders


def stop_markers(entries):
    """(tick, call) of every step that takes a call down, and the calls placed with their tick."""
    made, stops, requests = [], [], {}
    for e in entries:
        if e.call("lineMakeCall") and e.get("call") not in (None, "null", "0x0"):
            made.append((e.num("tick"), e.get("call")))
        if e.call("lineDrop") or e.call("lineDeallocateCall"):
            stops.append((e.num("tick"), e.get("call")))
        if e.call("lineClose") or e.call("lineShutdown"):
            stops.append((e.num("tick"), None))
        if e.callback("LINE_REPLY"):
            requests[e.get("p1")] = e.get("p2")
    return made, stops


def check_login_after_stop(s, station, wall_minus_raw):
    """Invariant 1: a frame at the station after the call it went out on began to be stopped."""
    made, stops = stop_markers(s.tapi_log.entries())
    problems = []
    for record in station.events("frame"):
        # Wine's tick count is the raw monotonic clock in ms: the provider's clock.
        at = int((record["wall"] - wall_minus_raw) * 1000) % 2 ** 32
        before = [m for m in made if m[0] <= at]
        if not before:
            continue
        placed, call = before[-1]
        began = [t for t, c in stops if placed <= t and c in (None, call)]
        if began and min(began) < at - 150:
            problems.append("1: a login came %d ms after its call began to stop" %
                            (at - min(began)))
    return problems


def check_shutdowns(s):
    """Invariant 3: nothing the program opened is left open at lineShutdown."""
    lines, calls, replies, pending, line_of = set(), set(), {}, {}, {}
    problems = []
    for e in s.tapi_log.entries():
        if e.call("lineOpen") and e.get("result") == "0":
            lines.add(e.get("line"))
        elif e.call("lineClose") and e.get("result") == "0":
            lines.discard(e.get("line"))
        elif e.call("lineMakeCall") and e.get("result", "").isdigit():
            pending[e.get("result")] = e.get("call")
            line_of[e.get("call")] = e.get("line")
        elif e.callback("LINE_REPLY"):
            request = str(int(e.get("p1"), 0))
            if request in pending and int(e.get("p2"), 0) == 0 and pending[request]:
                calls.add(pending.pop(request))
        elif e.call("lineDeallocateCall") and e.get("result") == "0":
            calls.discard(e.get("call"))
        elif e.callback("LINE_CLOSE"):
            # The service ends the line's calls with it.
            closed = "0x%x" % int(e.get("device"), 0)
            lines.discard(closed)
            calls -= {c for c in calls if line_of.get(c) == closed}
        elif e.call("lineShutdown"):
            if lines or calls:
                problems.append("3: at lineShutdown lines %s and calls %s were still open" %
                                (sorted(lines), sorted(calls)))
            lines, calls, pending = set(), set(), {}
    return problems


def implied_exit(status):
    if "Command executed successfully." in status:
        return 0
    if "Invalid user" in status or "Invalid password" in status:
        return 2
    return 3


def exit_problems(s, code):
    """Invariant 4 for an unattended run that has ended with `code`."""
    try:
        texts = log_lines(s)
    except (OSError, AssertionError) as error:
        texts = ["(no log: %r)" % error]
    if code == implied_exit(texts):
        return []
    return ["4: exit %s, but the Status lines imply %s (%s)" % (code, implied_exit(texts),
                                                                texts[-4:])]


def run_seed(args, seed, generator=GENERATOR):
    rng = random.Random(seed)
    scenario, plan = schedule(rng, generator)
    extra = list(UNATTENDED) if plan["unattended"] else list(VALUES)
    if plan["timeout"]:
        extra.append("/TIMEOUT:%d" % plan["timeout"])
    problems = []
    with args.session(com_ports=["COM1"]) as s, \
            Station(s, "--link", "modem", *(["--scenario", "silent"]
                                            if plan["station"] == "silent"
                                            else ["--codes", plan["station"]])) as station:
        wall_minus_raw = time.time() - time.clock_gettime(time.CLOCK_MONOTONIC_RAW)
        if plan["unattended"]:
            write_profile(s)
        app = s.start_farlink(extra, tapi=modem_line("COM1") + scenario, wait_window=False)
        watch = Watch(s, app, rng, plan)
        began = time.monotonic()
        while watch.dlg is None and app.alive() and time.monotonic() - began < 30:
            try:
                watch.dlg = main_dialog(s, timeout=1.0)
            except TimeoutError:
                pass
        if watch.dlg is None:
            if app.alive() or not plan["unattended"]:
                problems.append("5: no main dialog within 30 s")
                app.wait(5)
                return problems, 0
            # An unattended run whose call failed at once may be over before its dialog is seen.
            return exit_problems(s, app.wait(5)), 0
        tty = s.port("COM1").tty()
        if not plan["unattended"]:
            try:
                watch.dlg.click(MODEM)
            except DriverError:
                pass
        for delay, what in plan["actions"]:
            end = time.monotonic() + delay
            while time.monotonic() < end and app.alive():
                watch.answer_boxes()
                watch.responsive()
                time.sleep(0.1)
            if not app.alive():
                break
            if not plan["unattended"]:
                watch.act(what)
        # Let the last call run its course, then check the port once the dialog is ready.
        settle = time.monotonic() + (plan["timeout"] or 0) + 8
        while time.monotonic() < settle and app.alive():
            watch.answer_boxes()
            watch.responsive()
            time.sleep(0.2)
        watch.port_free(tty)
        if plan["unattended"]:
            # With a limit: the limit, then the 30-60 s waits of a provider gone quiet. Without
            # one, a call the far end never ends is the operator's to end.
            bound = plan["timeout"] + 90 if plan["timeout"] else 30
            while app.alive() and time.monotonic() - began < bound:
                watch.answer_boxes()
                watch.responsive()
                time.sleep(0.2)
            if app.alive() and plan["timeout"]:
                problems.append("4: the unattended run did not end within %d s" % bound)
            elif app.alive():
                try:
                    watch.dlg.close()
                except DriverError:
                    watch.dlg.command(CLOSE)
        else:
            ending = plan["ending"]
            try:
                if ending == "close button":
                    watch.dlg.click(CLOSE)
                elif ending == "close in a box" and watch.box() is not None:
                    watch.dlg.command(CLOSE)
                else:
                    watch.dlg.close()
            except DriverError:
                watch.dlg.command(CLOSE)
        deadline = time.monotonic() + 40
        while app.alive() and time.monotonic() < deadline:
            watch.answer_boxes()
            time.sleep(0.2)
        code = app.wait(5) if not app.alive() else None
        if code is None:
            problems.append("5: the program did not end after Close")
            if os.environ.get("FARLINK_STORM_VERBOSE"):
                print(plan, watch.ui.windows(), app.trace()[-int(os.environ.get("FARLINK_STORM_VERBOSE")):], watch.status[-6:])
        elif code not in (0, 1, 2, 3):
            problems.append("5: exit code %s (a crash?)" % code)
        elif plan["unattended"]:
            problems += exit_problems(s, code)
        problems += watch.problems + check_shutdowns(s) + \
            check_login_after_stop(s, station, wall_minus_raw)
        logins = len([f for f in station.received() if f == FRAME])
    return problems, logins


def parse_seeds(text):
    seeds = []
    for part in text.split(","):
        low, _, high = part.partition("-")
        seeds += range(int(low), int(high or low) + 1)
    return seeds


def seeds(args):
    """The kept failing seeds, then the seeds of FARLINK_STORM_SEEDS (a few by default)."""
    chosen = REGRESSIONS + [(GENERATOR, seed) for seed in
                            parse_seeds(os.environ.get("FARLINK_STORM_SEEDS", CI_SEEDS))]
    failed = []
    for generator, seed in chosen:
        began = time.monotonic()
        problems, logins = run_seed(args, seed, generator)
        print("seed %d (generator %d): %s (%d logins, %.0f s)" % (
            seed, generator, "; ".join(problems) or "ok", logins, time.monotonic() - began),
            flush=True)
        if problems:
            failed.append(seed)
    print("storm: %d runs, %d with violations %s" % (len(chosen), len(failed), failed))
    assert not failed, "failing seeds (replay with FARLINK_STORM_SEEDS=N): %s" % failed


CASES = {"seeds": seeds}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))
