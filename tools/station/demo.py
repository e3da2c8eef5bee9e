#!/usr/bin/env python3
"""Shows Farlink.exe's main job under Wine: a dial against the simulated station on COM1.

By default over the direct cable; with --modem as a modem call through the test telephony provider,
whose connected call is COM1 with the station on its far end.

With a display ($DISPLAY) the dialog opens there for an operator; without one the same exchange
runs unattended through the UI driver, the Status box is printed and a screenshot is saved.
"""

import argparse
import os
import signal
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "wine"))
sys.path.insert(0, str(Path(__file__).resolve().parent))

from farlink_wine import MAIN_CAPTION, WineSession, wait_for  # noqa: E402
from modem_scenario import answered_call  # noqa: E402
from station_process import Station  # noqa: E402

DIRECT, MODEM, PORTS, LINES, DIAL, STATUS, CLOSE, IDOK = 1010, 1011, 1007, 1001, 3, 1008, 2, 1
READY, HANGUP_LINE = "Ready to make a call.", "Connection Hangup."
VALUES = ["/DIAL:5551234", "/MYNUMBER:5550100", "/USER:operator", "/PASS:secret",
          "/DOMAIN:FIELD"]


class DemoSession(WineSession):
    """A session whose windows go to the operator's display when there is one."""

    def _start_xvfb(self):
        if os.environ.get("DISPLAY"):
            self.display = os.environ["DISPLAY"]
        else:
            super()._start_xvfb()


def status_lines(dlg):
    return [line for line in dlg.text(STATUS).split("\r\r\n") if line]


def interactive(session, station, modem):
    if modem:
        app = session.start_farlink(VALUES, tapi=answered_call("COM1", calls=20))
        print("Farlink is open on %s; its modem line calls the simulated station." % session.display)
        print('Keep "Modem:", press Dial and watch the call in the Status box; close the window'
              " when done. The station's log follows.\n", flush=True)
    else:
        app = session.start_farlink(VALUES)
        print("Farlink is open on %s with COM1 wired to the simulated station." % session.display)
        print('Choose "Direct Connection:", press Dial and watch the Status box; close the window'
              " when done. The station's log follows.\n", flush=True)
    shown = 0
    while app.alive():
        events = station.events()
        for event in events[shown:]:
            if event["event"] in ("frame", "answer"):
                print("  station %-6s %-7s %s" % (event["event"], event["kind"], event["payload"]),
                      flush=True)
        shown = len(events)
        time.sleep(0.2)
    return 0


def unattended(session, station, shot_name):
    app = session.start_farlink(VALUES)
    dlg = session.driver().find_window(MAIN_CAPTION)
    dlg.click(DIRECT)
    wait_for(lambda: dlg.enabled(PORTS), 10, what="Direct Connection chosen")
    dlg.select(PORTS, 0)
    started = time.monotonic()
    dlg.click(DIAL)
    box = dlg.wait_owned(30)
    took = time.monotonic() - started
    shot = session.screenshot(shot_name)
    print("Status box:")
    for line in status_lines(dlg):
        print("  " + line)
    print("Notice box:\n  " + box.message_box()[1])
    print("Station received:")
    for event in station.events("frame"):
        print("  %-7s %s" % (event["kind"], event["raw"]))
    print("Dial to notice: %.2f s" % took)
    print("Screenshot: %s" % shot)
    box.press(IDOK)
    box.wait_gone(10)
    dlg.click(CLOSE)
    app.wait(15)
    return 0


def unattended_modem(session, station, shot_name):
    app = session.start_farlink(VALUES, tapi=answered_call("COM1"))
    dlg = session.driver().find_window(MAIN_CAPTION)
    dlg.click(MODEM)
    wait_for(lambda: dlg.enabled(LINES), 10, what="Modem chosen")
    started = time.time()
    dlg.click(DIAL)

    def finished():
        lines = status_lines(dlg)
        return HANGUP_LINE in lines and lines[-1] == READY
    wait_for(finished, 60, what="the end of the call")
    shot = session.screenshot(shot_name, dlg)
    print("Status box:")
    for line in status_lines(dlg):
        print("  " + line)
    print("Station received:")
    for event in station.events("frame"):
        print("  %-7s %s" % (event["kind"], event["raw"]))
    frames, answers = station.events("frame"), station.events("answer")
    if frames:
        print("Dial to the frame at the station: %.2f s" % (frames[0]["wall"] - started))
    if answers:
        print("Dial to the station's answer: %.2f s" % (answers[0]["wall"] - started))
    print("Screenshot: %s" % shot)
    dlg.click(CLOSE)
    app.wait(15)
    return 0 if frames and answers else 1


def main():
    p = argparse.ArgumentParser(description=__doc__)
    p.add_argument("--build-dir", required=True)
    p.add_argument("--unattended", action="store_true", help="even when a display is available")
    p.add_argument("--modem", action="store_true",
                   help="dial a modem call through the test telephony provider instead of the cable")
    args = p.parse_args()
    # Ctrl-C or a kill still tears the Wine session down.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    build = Path(args.build_dir).resolve()
    os.environ["FARLINK_EXE"] = str(build / "Farlink.exe")
    os.environ["FARLINK_DRIVER"] = str(build / "tools" / "driver" / "ui_driver.exe")
    if args.unattended:
        os.environ.pop("DISPLAY", None)
    link = ["--link", "modem"] if args.modem else []
    with DemoSession(build, "demo-modem" if args.modem else "demo", com_ports=["COM1"]) as session, \
            Station(session, *link, "--codes", "00,06", echo=False) as station:
        if os.environ.get("DISPLAY"):
            return interactive(session, station, args.modem)
        if args.modem:
            return unattended_modem(session, station, "demo-modem-exchange")
        return unattended(session, station, "demo-direct-exchange")


if __name__ == "__main__":
    sys.exit(main())
