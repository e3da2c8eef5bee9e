#!/usr/bin/env python3
"""Where the time of an exchange goes, step by step, beside a bare program doing the same I/O.

    python3 tools/bench/exchange_timeline.py --build-dir build/win64 [--link direct|modem|both]
        [--rounds 5] [--compare-exe OTHER/Farlink.exe]

Everything is put on one clock, the harness's time.time(): the station's log (when an answer
left it, when a frame had arrived), the program's debug-trace lines stamped as they reach the
harness ("Timeline: ..." lines and the line-callback trace), and for the modem the test
provider's log (its GetTickCount values, placed on the harness's clock by its lineGetID, which
the program's trace line "Connected!  Starting communications!" follows at once).

direct  The station (tools/station, 20 ms before each answer) on COM1. Two gaps: its answer to
        the connect request -> the login frame at the station, and its answer to the login ->
        the hang-up request at the station. Beside it, tools/bench/bare_exchange.exe sends the
        same three envelopes on the same port and answers each answer at once.
modem   The test provider's line whose call is COM1, connected 1400 ms after the call is made,
        with the station in --link modem on the far end. From the provider's CONNECTED to the
        login frame at the station: the 5000 ms settle and what the program adds. Beside it,
        bare_exchange.exe pauses 5000 ms and writes the same frame.

Each round runs this build (then --compare-exe, then the bare program) in turn, so a busy moment
of the shared machine falls on all of them. Every program start has one warm-up exchange that is
not counted (Wine loads the serial code on first use). Prints each step's median time after the
gap's start with its spread, and the gaps beside the bare program's.
"""

import argparse
import os
import statistics
import sys
import time
from collections import defaultdict
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "wine"))
sys.path.insert(0, str(ROOT / "tests" / "tapi"))
sys.path.insert(0, str(ROOT / "tools" / "station"))

from farlink_wine import MAIN_CAPTION, WineSession, wait_for  # noqa: E402
from modem_scenario import ANSWERED, call_states, modem_line  # noqa: E402
from station_process import Station  # noqa: E402

DIAL, HANGUP, DIRECT, MODEM, PORTS, IDOK = 3, 6, 1010, 1011, 1007, 1
ARGS = ["/DIAL:5551234", "/MYNUMBER:5550000", "/USER:operator", "/PASS:secret",
        "/DOMAIN:FIELD"]
PREFIX = "Timeline: "


def steps_between(trace, start, end):
    """[(name, ms after start)] for the trace lines stamped in [start, end]; a name that comes
    again is numbered ("status line added #2")."""
    seen = defaultdict(int)
    steps = []
    for stamp, line in trace:
        # A line written just before the bytes left may reach the harness just after the
        # station had them: the trace's own way is a little slower than the pty's.
        if stamp is None or not start <= stamp <= end + 0.005:
            continue
        name = line[len(PREFIX):] if line.startswith(PREFIX) else line.split(";")[0].strip()[:44]
        seen[name] += 1
        if seen[name] > 1:
            name += " #%d" % seen[name]
        steps.append((name, (stamp - start) * 1000))
    return steps


def timeline(trace, start, end, end_name):
    return steps_between(trace, start, end) + [(end_name, (end - start) * 1000)]


# -- direct cable


def direct_gaps(events, trace):
    """The two gaps of one exchange, each as a timeline: [(gap title, [(step, ms)])]."""
    answers = [e for e in events if e["event"] == "answer"]
    frames = [e for e in events if e["event"] == "frame"]
    if len(answers) < 2 or len(frames) < 3:
        raise RuntimeError("incomplete exchange: %r" % events)
    return [("connect answer -> login", timeline(trace, answers[0]["wall"], frames[1]["wall"],
                                                  "login at the station")),
            ("login answer -> hang-up request",
             timeline(trace, answers[1]["wall"], frames[2]["wall"],
                      "hang-up request at the station"))]


def farlink_direct(s, station, exe, exchanges):
    app = s.start_farlink(ARGS, exe=exe, stamp=True)
    dlg = s.driver().find_window(MAIN_CAPTION)
    dlg.click(DIRECT)
    wait_for(lambda: dlg.enabled(PORTS), 10, what="Direct type")
    results = []
    for n in range(exchanges + 1):
        seen = len(station.events())
        dlg.click(DIAL)
        box = dlg.wait_owned(30)
        box.press(IDOK)
        box.wait_gone(10)
        if n > 0:  # the first is the warm-up
            results.append(direct_gaps(station.events()[seen:], app.stamped_trace()))
    login = [e for e in station.events("frame") if e["kind"] == "login"][-1]["payload"]
    dlg.close()
    app.wait(30)
    return results, login


def run_bare(s, station, program, link, payload_hex):
    """One run of bare_exchange.exe: (the station's log records of it, its stamped trace)."""
    seen = len(station.events())
    proc = s.start(program, [link, payload_hex], stamp=True, name="bare_exchange")
    proc.wait(30)
    return station.events()[seen:], proc.stamped_trace()


def bare_direct(s, station, program, login_hex):
    return direct_gaps(*run_bare(s, station, program, "direct", login_hex))


# -- modem


def provider_clock(log, trace):
    """Seconds to add to a provider tick for the harness's clock. The program writes "Connected!
    Starting communications!" as soon as lineGetID has returned, and the provider logs lineGetID
    as it returns: the two are the same moment (within the tick's millisecond)."""
    got_id = [e for e in log.calls("lineGetID") if e["call"] != "0x0"][-1]
    said = [stamp for stamp, line in trace if line.startswith("Connected!  Starting")][-1]
    return said - got_id.num("tick") / 1000.0


def provider_steps(log, offset, start, end):
    """The provider's CONNECTED and lineGetID in [start, end], on the harness's clock."""
    steps = []
    for e in log.entries():
        if "tick" not in e:
            continue
        wall = e.num("tick") / 1000.0 + offset
        if start - 0.0005 <= wall <= end and (
                e.call("lineGetID") or (e.callback("LINE_CALLSTATE") and e.num("p1") == 0x100)):
            steps.append(("provider: %s %s" % (e.kind, e.name), (wall - start) * 1000))
    return steps


def modem_gap(s, station, app, dlg):
    answers = len(station.events("answer"))
    seen = len(station.events())
    dlg.click(DIAL)
    wait_for(lambda: len(station.events("answer")) > answers, 30, interval=0.2,
             what="the station's answer")
    wait_for(lambda: not dlg.enabled(HANGUP), 20, interval=0.1, what="the call dropped")
    frame = [e for e in station.events()[seen:] if e["event"] == "frame"][0]
    trace = app.stamped_trace()
    offset = provider_clock(s.tapi_log, trace)
    states = [e for e in s.tapi_log.callbacks("LINE_CALLSTATE") if e.num("p1") == 0x100]
    start = states[-1].num("tick") / 1000.0 + offset  # the provider sends CONNECTED
    steps = timeline(trace, start, frame["wall"], "login at the station")
    steps += provider_steps(s.tapi_log, offset, start, frame["wall"])
    return [("CONNECTED -> login", sorted(steps, key=lambda step: step[1]))], frame["raw"]


def farlink_modem(s, station, exe, exchanges):
    scenario = modem_line("COM1") + call_states(ANSWERED, exchanges + 1)
    app = s.start_farlink(ARGS, exe=exe, tapi=scenario, stamp=True)
    dlg = s.driver().find_window(MAIN_CAPTION)
    results = []
    for n in range(exchanges + 1):
        gaps, frame = modem_gap(s, station, app, dlg)
        if n > 0:
            results.append(gaps)
    dlg.close()
    app.wait(30)
    return results, frame


def bare_modem(s, station, program, frame_hex):
    events, trace = run_bare(s, station, program, "modem", frame_hex)
    began = [stamp for stamp, line in trace if line == PREFIX + "settle begins"][0]
    frame = [e for e in events if e["event"] == "frame"][0]
    return [("CONNECTED -> login", timeline(trace, began, frame["wall"],
                                            "login at the station"))]


def bare_status_lines(s, program):
    """[(way, ms)]: one run of the Status box alone, each way's median per line."""
    code, out = s.run(program, timeout=120)
    rows = [line.split() for line in out.splitlines() if line.startswith("STATUS ")]
    return [(" ".join(row[1:row.index("median")]), float(row[row.index("median") + 1]))
            for row in rows]


LINKS = {
    "direct": (farlink_direct, bare_direct, ["--delay-ms", "20"]),
    "modem": (farlink_modem, bare_modem, ["--link", "modem", "--delay-ms", "20"]),
}


# -- report


def spread(values):
    return "%.1f (%.1f to %.1f)" % (statistics.median(values), min(values), max(values))


def report(link, measured):
    """measured: {program: [exchange: [(gap, [(step, ms)])]]}"""
    for g, (gap, _) in enumerate(next(iter(measured.values()))[0]):
        print("\n%s, %s: ms after the gap's start, median (min to max)" % (link, gap))
        for program, exchanges in measured.items():
            steps = defaultdict(list)
            order = []
            for exchange in exchanges:
                for name, ms in exchange[g][1]:
                    if name not in steps:
                        order.append(name)
                    steps[name].append(ms)
            print("  %s, %d exchanges:" % (program, len(exchanges)))
            for name in order:
                print("    %-44s %s" % (name, spread(steps[name])))
        totals = {program: [[ms for name, ms in exchange[g][1] if name.endswith("at the station")][0]
                            for exchange in exchanges]
                  for program, exchanges in measured.items()}
        print("  GAP %s: %s" % (gap, "; ".join(
            "%s %s ms" % (program, spread(values)) for program, values in totals.items())))


def main():
    p = argparse.ArgumentParser(description=__doc__,
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--build-dir", required=True)
    p.add_argument("--link", choices=("direct", "modem", "both"), default="both")
    p.add_argument("--rounds", type=int, default=5)
    p.add_argument("--exchanges", type=int, default=1,
                   help="measured exchanges per program start, after its warm-up")
    p.add_argument("--compare-exe", help="another Farlink.exe, run in turn with this build's")
    args = p.parse_args()
    build = Path(args.build_dir).resolve()
    exes = {"this build": str(build / "Farlink.exe")}
    if args.compare_exe:
        exes["compared"] = str(Path(args.compare_exe).resolve())
    os.environ["FARLINK_DRIVER"] = str(build / "tools" / "driver" / "ui_driver.exe")
    links = ("direct", "modem") if args.link == "both" else (args.link,)
    for link in links:
        farlink_run, bare_run, station_args = LINKS[link]
        measured = defaultdict(list)
        with WineSession(build, "exchange-timeline-" + link, com_ports=["COM1"]) as s, \
                Station(s, *station_args) as station:
            program = s.install(build / "tools" / "bench" / "bare_exchange.exe", folder="bench")
            status = s.install(build / "tools" / "bench" / "bare_status.exe", folder="bench")
            status_lines = defaultdict(list)
            for _ in range(args.rounds):
                for title, exe in exes.items():
                    results, payload = farlink_run(s, station, exe, args.exchanges)
                    measured[title] += results
                    for _ in range(args.exchanges):
                        measured["bare program"].append(bare_run(s, station, program, payload))
                for way, ms in bare_status_lines(s, status):
                    status_lines[way].append(ms)
        report(link, measured)
        print("\nThe platform's Status line (tools/bench/bare_status.exe), ms per line, median of"
              " each run's median (min to max):")
        for way, values in status_lines.items():
            print("  %-44s %s" % (way, spread(values)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
