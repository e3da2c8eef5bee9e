#!/usr/bin/env python3
"""Seeded storms on a modem call of Farlink.exe under Wine.

Each seed draws a schedule: line events the service can deliver at random times within each call
(every call state, repeated CONNECTED, BUSY, DISCONNECTED in any mode, IDLE, states before their
reply, LINE_CLOSE, hard and soft REINIT, the line out of service, in maintenance or gone),
replies that fail, come late or never, events due at the same moment and events inside a drop,
the port failing for a while; and the operator's Dial, Hangup, Load..., Save..., the two link
type buttons, Close and close box at random times, boxes and file dialogs answered, sometimes a
/TIMEOUT:, sometimes an unattended run. After the run the invariants are checked:

1. no login reaches the station after its call began to be taken down;
2. once "Ready to make a call." shows and no box is open, the port is free again;
3. at lineShutdown every line the program opened is closed and every call deallocated;
4. an /AUTODIAL /AUTOCLOSE run ends within its limit and 5 s of its Dial, with the exit status
   its Status lines imply;
5. the dialog answers within 2 s while no box is open, and nothing crashes;
6. each call dials the number on the line, and sends the login (My Number, user, password,
   domain), that were on screen when its Dial was pressed, whatever was loaded after it.

    python3 tests/modemends/storm_test.py --build-dir build/win64 --exe build/win64/Farlink.exe \\
        --driver build/win64/tools/driver/ui_driver.exe --case seeds  (FARLINK_STORM_SEEDS=1-500)

Every run prints its seed; FARLINK_STORM_SEEDS=N replays one.
"""

import contextlib
import os
import random
import subprocess
import sys
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tapi"))
from modem_session import (DIAL, HANGUP, LINES, MODEM, READY, VALUES,  # noqa: E402
                           status_lines)
from farlink_driver import DriverError, Window  # noqa: E402
from farlink_tapi import comm_fault_env  # noqa: E402
from farlink_wine import MAIN_CAPTION, WineSession, WineUnavailable, run_cases  # noqa: E402
from modem_scenario import modem_line  # noqa: E402
from profiles_test import (DIRECT_RADIO, DIAL_NUMBER, DOMAIN, LOAD, MY_NUMBER,  # noqa: E402
                           PASSWORD, SAVE, USERNAME, profile_bytes, profile_folder, unwritable)
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
    (3, 11),  # a Load after Dial changed the login the station got
    (3, 948),  # the checker: a close box clicked as a box opened did nothing, as for a person
]
# Generator 3: a second modem line on the same port, the port failing for a while, and the
# operator's Load..., Save... and link type buttons; more of its moves follow the last closely.
GENERATOR = 3
CI_SEEDS = "113,1307"
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
LINE_NAMES = ["Station Modem", "Depot Modem"]
# Profiles in the program's folder: line, (dial number, My Number, user, password, domain), type.
HOME = (0, tuple(value.split(":", 1)[1] for value in VALUES), 0)  # what VALUES set
PROFILES = {
    "home.cfg": HOME,
    "depot.cfg": (1, ("5557788", "5550222", "night-shift", "pw-depot-35", "DEPOT"), 0),
    "yard.cfg": (0, ("5553300", "5550333", "yard", "pw-yard-9", "YARD"), 0),
    "cable.cfg": (1, ("5554400", "5550444", "cable", "pw-cable-2", "CABLE"), 1),
}
# A file cut after its line (that alone is taken), one Save writes, one none can (an error box).
LOADS = sorted(PROFILES) + ["cut.cfg", "saved.cfg"]
SAVES = ["saved.cfg", "saved.cfg", "locked.cfg"]
FILE_NAME_FIELDS = (0x47C, 0x480)  # cmb13, edt1: what makes a box a file dialog


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
        connected = 0
        if calm:
            # A call that connects and gets to its login, with at most one event about the
            # time the login goes out (the modem settles 5 s first).
            connected = 400 if generator < 3 else rng.choice([400, 1400, 3000])
            lines.append("event %s 100 LINE_CALLSTATE call LINECALLSTATE_DIALTONE 0 0" % anchor)
            lines.append("event %s %d LINE_CALLSTATE call LINECALLSTATE_CONNECTED 0 0" % (
                anchor, connected))
            due = connected - 400 + rng.choice([4800, 5200, 5400, 5600, 6000])
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
        if generator >= 3 and rng.random() < 0.3:
            # The port fails for a while: in a calm call about when the login goes out or its
            # answer comes, otherwise at any time.
            at = connected + (rng.choice([4300, 4900, 5050, 5200]) if calm else
                              rng.randint(0, 9000))
            lines.append("event %s %d comm-fault 0 %d 0 0" % (anchor, at,
                                                             rng.choice([150, 1500, 8000])))
    unattended = rng.random() < 0.25
    plan = {
        "unattended": unattended,
        "timeout": rng.choice([0, 0, 0, 3, 8]) if not unattended else rng.choice([0, 5, 10]),
        "actions": moves(rng, generator),
        "ending": rng.choice(["close box", "close box", "close button", "close in a box"]),
        "station": rng.choice(["00,06", "silent", "04"]),
        "buttons": rng.random(),
    }
    return "\n".join(lines) + "\n", plan


def moves(rng, generator):
    """The operator's moves: (seconds after the last one, move, file dialog plan)."""
    if generator < 3:
        return [(rng.uniform(0.2, 8.0 if generator >= 2 else 4.0),
                 rng.choice(["dial", "dial", "hangup", "wait"]), None)
                for _ in range(rng.randint(3, 8))]
    plan = []
    for _ in range(rng.randint(3, 9)):
        # Half soon after the last move: a Load while the call it follows is being set up.
        delay = rng.choice([rng.uniform(0.1, 1.5), rng.uniform(0.2, 8.0)])
        what = rng.choice(["dial", "dial", "dial", "hangup", "wait", "load", "load", "load",
                           "save", "direct", "modem"])
        dialog = None
        if what in ("load", "save"):
            # file, seconds the dialog stays open, cancelled
            dialog = (rng.choice(LOADS if what == "load" else SAVES),
                      rng.choice([0, 0, 0.3, 1.0, 3.0]), rng.random() < 0.15)
        plan.append((delay, what, dialog))
    return plan


def put_profiles(s):
    """The profiles the operator loads, in the folder the file dialogs start in."""
    folder = profile_folder(s)
    folder.mkdir(parents=True, exist_ok=True)
    for name, (line, texts, kind) in PROFILES.items():
        (folder / name).write_bytes(profile_bytes(line, texts, kind, 0, 45))
    (folder / "cut.cfg").write_bytes(profile_bytes(1, ("5",) * 5, 0, 0, 45)[:10])
    (folder / "locked.cfg").write_bytes(b"")
    return folder / "locked.cfg"


class Watch:
    """Acts on the dialog and notes what invariants 2, 5 and 6 need while the run goes on."""

    def __init__(self, s, app, rng, plan):
        self.s, self.app, self.rng, self.plan = s, app, rng, plan
        self.ui = s.driver()
        self.dlg = None
        self.problems = []
        self.status = []
        self.dials = []  # (time.time() just before Dial, what was on screen)
        self.file_dialog = None  # (when to answer it, move, file, cancel)
        self.files = 0  # files chosen in a file dialog

    def boxes(self):
        """Open boxes of the program (any caption but the main dialog's own window), with
        whether each is a file dialog."""
        found = []
        for handle, pid, cls, title in self.ui.windows():
            if cls != "#32770" or str(pid) != str(self.dlg.pid()):
                continue
            window = Window(self.ui, handle)
            ids = [c["id"] for c in window.controls()]
            if title == MAIN_CAPTION and 1001 in ids:
                continue
            found.append((window, any(i in ids for i in FILE_NAME_FIELDS)))
        return found

    def box(self):
        boxes = self.boxes()
        return boxes[0][0] if boxes else None

    def answer_boxes(self):
        while self.app.alive():
            try:
                boxes = self.boxes()
            except DriverError:
                time.sleep(0.1)  # a box went while it was looked at
                continue
            # Message boxes first; a file dialog once it has stayed open as long as planned.
            boxes = sorted((f, i, b) for i, (b, f) in enumerate(boxes)
                           if not f or self.file_dialog_due())
            if not boxes:
                return
            is_file_dialog, _, box = boxes[0]
            try:
                if is_file_dialog:
                    self.answer_file_dialog(box)
                    continue
                _, text, buttons = box.message_box()
                if "Already have a comm file open" in text:
                    self.problems.append("2: a channel of an earlier call still held the port")
                box.press(self.rng.choice(buttons) if self.plan["buttons"] < 0.5 else buttons[0])
                box.wait_gone(10)
            except Exception:  # noqa: BLE001  (the box went by itself, or the program ended)
                time.sleep(0.1)

    def file_dialog_due(self):
        return self.file_dialog is None or time.monotonic() >= self.file_dialog[0]

    def answer_file_dialog(self, box):
        """Chooses the planned file (one the operator did not open is cancelled)."""
        _, what, name, cancel = self.file_dialog or (0, None, None, True)
        self.file_dialog = None
        if cancel:
            box.file_dialog_cancel()
        elif what == "load":
            box.file_dialog_open(name)
            self.files += 1
        else:
            box.file_dialog_save(name)
            self.files += 1
        try:
            box.wait_gone(2)
        except TimeoutError:
            box.file_dialog_cancel()  # it refused the name (saved.cfg not there yet)
            box.wait_gone(10)

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

    def on_screen(self):
        """What a Dial pressed now must use: the number, the line (its device), the login."""
        texts = [self.dlg.text(i) for i in (DIAL_NUMBER, MY_NUMBER, USERNAME, PASSWORD, DOMAIN)]
        index, items = self.dlg.combo(LINES)
        name = items[index] if 0 <= index < len(items) else None
        device = LINE_NAMES.index(name) if name in LINE_NAMES else None
        return dict(number=texts[0], device=device, login=texts[1:])

    def act(self, what, dialog):
        try:
            if what == "dial" and self.dlg.enabled(DIAL):
                # The station plays a modem call's far end: the operator dials modem calls.
                if self.dlg.checked(DIRECT_RADIO):
                    self.dlg.click(MODEM)
                screen = self.on_screen()
                pressed = time.time()
                self.dlg.click(DIAL)
                self.dials.append((pressed, screen))
            elif what == "hangup" and self.dlg.enabled(HANGUP):
                self.dlg.click(HANGUP)
            elif what in ("direct", "modem"):
                self.dlg.click(DIRECT_RADIO if what == "direct" else MODEM)
            elif what in ("load", "save") and \
                    self.dlg.click(LOAD if what == "load" else SAVE) == "modal":
                name, stays, cancel = dialog
                self.file_dialog = (time.monotonic() + stays, what, name, cancel)
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


def shown(login, other):
    """A login for a message: all but the password, which is only compared."""
    texts = list(login) + [""] * (4 - len(login))
    same = len(login) > 2 and len(other) > 2 and login[2] == other[2]
    return "My Number %r, user %r, domain %r%s" % (texts[0], texts[1], texts[3],
                                                   "" if same else " (another password)")


def check_as_dialled(s, station, dials, wall_minus_raw):
    """Invariant 6: a call's number, line and login are those on screen when its Dial was
    pressed. The login is read back with the station's decoder, not the program's."""
    def tick(wall):  # the provider's clock, as in check_login_after_stop()
        return int((wall - wall_minus_raw) * 1000) % 2 ** 32
    pressed = [(tick(wall), screen) for wall, screen in dials]
    devices, made, problems = {}, [], []
    for e in s.tapi_log.entries():
        if e.call("lineOpen") and e.get("result") == "0":
            devices[e.get("line")] = int(e.get("device"), 0)
        elif e.call("lineMakeCall") and e.get("result", "").isdigit():
            screens = [screen for t, screen in pressed if t <= e.num("tick")]
            if not screens:
                continue
            screen = screens[-1]
            made.append((e.num("tick"), screen))
            dialled = (e.get("destination"), devices.get(e.get("line")))
            wanted = (screen["number"], dialled[1] if screen["device"] is None
                      else screen["device"])
            if dialled != wanted:
                problems.append("6: call %d dialled %r on line %s, but %r on line %s was on "
                                "screen at its Dial" % ((len(made),) + dialled + wanted))
    for record in station.events("frame"):
        at = tick(record["wall"])
        screens = [screen for t, screen in made if t <= at]
        if not screens:
            continue
        got = [bytes.fromhex(text).decode("cp1252") for text in record["fields"]]
        wanted = screens[-1]["login"]
        if got != wanted:
            problems.append("6: the station got the login of %s; on screen at Dial: %s" % (
                shown(got, wanted), shown(wanted, wanted)))
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
    lines = modem_line("COM1")
    if generator >= 3:
        lines += modem_line("COM1", LINE_NAMES[1])
    problems = []
    with args.session(com_ports=["COM1"]) as s, \
            Station(s, "--link", "modem", *(["--scenario", "silent"]
                                            if plan["station"] == "silent"
                                            else ["--codes", plan["station"]])) as station, \
            contextlib.ExitStack() as held:
        wall_minus_raw = time.time() - time.clock_gettime(time.CLOCK_MONOTONIC_RAW)
        if plan["unattended"]:
            write_profile(s)
        if generator >= 3:
            locked = put_profiles(s)
            try:
                held.enter_context(unwritable(locked))  # a Save to it gets an error box
            except WineUnavailable:
                pass
        app = s.start_farlink(extra, tapi=lines + scenario, wait_window=False,
                              env=comm_fault_env(s))
        watch = Watch(s, app, rng, plan)
        if plan["unattended"]:
            line, texts, _ = HOME  # what write_profile() puts in the profile
            watch.dials.append((time.time(), dict(number=texts[0], device=line,
                                                  login=list(texts[1:]))))
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
                return problems, "no dialog"
            # An unattended run whose call failed at once may be over before its dialog is seen.
            return exit_problems(s, app.wait(5)), "ended before its dialog was seen"
        shown = time.monotonic()  # the dialog is up: an unattended run dials now
        tty = s.port("COM1").tty()
        if not plan["unattended"]:
            try:
                watch.dlg.click(MODEM)
            except DriverError:
                pass
        for delay, what, dialog in plan["actions"]:
            end = time.monotonic() + delay
            while time.monotonic() < end and app.alive():
                watch.answer_boxes()
                watch.responsive()
                time.sleep(0.1)
            if not app.alive():
                break
            if not plan["unattended"]:
                watch.act(what, dialog)
        # Let the last call run its course, then check the port once the dialog is ready.
        settle = time.monotonic() + (plan["timeout"] or 0) + 8
        while time.monotonic() < settle and app.alive():
            watch.answer_boxes()
            watch.responsive()
            time.sleep(0.2)
        watch.port_free(tty)
        ending = "close box" if plan["unattended"] else plan["ending"]
        if plan["unattended"]:
            # With a limit the run ends within it and 5 s of its Dial, whatever the provider does.
            # Without one, a call the far end never ends is the operator's to end.
            bound = plan["timeout"] + 5 if plan["timeout"] else 30
            start = shown if plan["timeout"] else began
            while app.alive() and time.monotonic() - start < bound:
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
            # Under a box of its own the dialog is disabled, and its close box does nothing, as
            # for a person: a box that opened just now is answered first.
            quiet = time.monotonic() + 10
            while ending != "close in a box" and watch.boxes() and time.monotonic() < quiet:
                watch.answer_boxes()
                time.sleep(0.2)
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
        swallowed = False
        while app.alive() and time.monotonic() < deadline:
            # A box that opened as the close box was clicked disabled the dialog under it, and
            # the click did nothing: once the box is answered the close box is clicked again.
            swallowed = swallowed or (ending == "close box" and bool(watch.boxes()))
            watch.answer_boxes()
            if swallowed and not watch.boxes():
                swallowed = False
                try:
                    watch.dlg.close()
                except DriverError:
                    pass  # the dialog went meanwhile
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
            check_login_after_stop(s, station, wall_minus_raw) + \
            check_as_dialled(s, station, watch.dials, wall_minus_raw)
        counts = "%d Dials, %d files chosen, %d port faults, %d logins" % (
            len(watch.dials) - plan["unattended"], watch.files, len([e for e in s.tapi_log.entries()
                                                 if e.kind == "comm-fault" and e.name == "on"]),
            len(station.events("frame")))
    return problems, counts


def parse_seeds(text):
    seeds = []
    for part in text.split(","):
        low, _, high = part.partition("-")
        seeds += range(int(low), int(high or low) + 1)
    return seeds


def in_parallel(args, chosen, jobs):
    """Runs the seeds in jobs worker processes side by side, each with its own sessions (prefix,
    display, ports); their lines come out as they finish. The workers' seeds are dealt round."""
    workers = []
    for k in range(jobs):
        share = chosen[k::jobs]
        env = dict(os.environ, FARLINK_STORM_JOBS="1", FARLINK_STORM_WORKER=str(k),
                   FARLINK_STORM_LIST=",".join("%d:%d" % pair for pair in share))
        workers.append(subprocess.Popen(
            [sys.executable, __file__, "--build-dir", str(args.build_dir), "--exe", str(args.exe),
             "--driver", str(args.driver), "--case", "seeds"],
            env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True))
    results = []

    def relay(worker):
        for line in worker.stdout:
            if line.startswith("seed "):
                results.append(line)
                print(line, end="", flush=True)
        worker.wait()

    threads = [threading.Thread(target=relay, args=(w,)) for w in workers]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    failed = [int(line.split()[1]) for line in results if ": ok (" not in line]
    print("storm: %d runs in %d workers, %d with violations %s" % (
        len(results), jobs, len(failed), failed))
    assert len(results) == len(chosen), "workers reported %d of %d seeds" % (
        len(results), len(chosen))
    assert not failed, "failing seeds (replay with FARLINK_STORM_SEEDS=N): %s" % failed


def seeds(args):
    """The kept failing seeds, then the seeds of FARLINK_STORM_SEEDS (a few by default);
    FARLINK_STORM_JOBS=N runs them in N Wine sessions side by side."""
    listed = os.environ.get("FARLINK_STORM_LIST")
    if listed is not None:  # a worker of in_parallel: its share, in sessions of its own
        chosen = [tuple(map(int, pair.split(":"))) for pair in listed.split(",") if pair]
        worker = os.environ.get("FARLINK_STORM_WORKER", "0")
        args.session = lambda **kw: WineSession(args.build_dir, "storm-w" + worker, **kw)
    else:
        chosen = REGRESSIONS + [(GENERATOR, seed) for seed in
                                parse_seeds(os.environ.get("FARLINK_STORM_SEEDS", CI_SEEDS))]
        jobs = int(os.environ.get("FARLINK_STORM_JOBS", "1"))
        if jobs > 1:
            return in_parallel(args, chosen, jobs)
    failed = []
    for generator, seed in chosen:
        began = time.monotonic()
        problems, counts = run_seed(args, seed, generator)
        print("seed %d (generator %d): %s (%s, %.0f s)" % (
            seed, generator, "; ".join(problems) or "ok", counts, time.monotonic() - began),
            flush=True)
        if problems:
            failed.append(seed)
    print("storm: %d runs, %d with violations %s" % (len(chosen), len(failed), failed))
    assert not failed, "failing seeds (replay with FARLINK_STORM_SEEDS=N): %s" % failed


CASES = {"seeds": seeds}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))
