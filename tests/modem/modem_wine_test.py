#!/usr/bin/env python3
"""The modem data channel under Wine: a probe program against a station stand-in on a pty."""
import sys
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "wine"))
from farlink_wine import WineUnavailable, pe_machine, run_cases  # noqa: E402

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "serial"))
from serial_wine_test import run_program  # noqa: E402


def counting(n):
    """n bytes counting modulo 251, so no block boundary falls on a repeat of the pattern."""
    return bytes(i % 251 for i in range(n))


def login_frame():
    """The frame the probe writes after "F": modem form, the password holding every byte 1..255."""
    fields = [b"5550000", b"alice", bytes(range(1, 256)), b"OFFICE"]
    return b"".join(b"\x10" + f for f in fields) + b"\x10"


class Peer(threading.Thread):
    """The far end of COM1: answers each message by its first byte.

    A 123 | T "first", 600 ms of quiet, "second" | K 5000 counting bytes |
    M 64 KiB of counting bytes | F<frame> "ok" when the frame came whole, else "no" |
    H stop reading for 12 s, then read everything and answer "done"
    """

    def __init__(self, port):
        super().__init__(daemon=True)
        self.port = port
        self.stopped = threading.Event()
        self.frames = []

    def run(self):
        while not self.stopped.is_set():
            data = self.port.read(0.2)
            if data:
                self.answer(data)

    def drain(self, quiet):
        """Reads until the line has been quiet for `quiet` seconds; returns what came."""
        got = b""
        while not self.stopped.is_set():
            chunk = self.port.read(quiet)
            if not chunk:
                return got
            got += chunk
        return got

    def answer(self, data):
        first = data[:1]
        if first == b"A":
            self.port.write(b"123")
        elif first == b"T":
            self.port.write(b"first")
            time.sleep(0.6)
            self.port.write(b"second")
        elif first == b"K":
            self.port.write(counting(5000))
        elif first == b"M":
            self.port.write(counting(65536))
        elif first == b"F":
            data += self.drain(1.0)
            self.frames.append(data[1:])
            self.port.write(b"ok" if data[1:] == login_frame() else b"no")
        elif first == b"H":
            self.stopped.wait(12)
            self.drain(1.0)
            self.port.write(b"done")


def probe(args, scenario, actions=None, timeout=120):
    """Runs modem_probe.exe <scenario> with a Peer on COM1; checks it passed its own checks.

    actions: {checkpoint: callable(session, peer)} run when the probe reaches the checkpoint.
    """
    exe = args.build_dir / "tests" / "modem" / "modem_probe.exe"
    run = run_program(args, exe, [scenario], timeout=timeout, ports=("COM1",), actions=actions,
                      peer_class=Peer, trace=True)
    print("COM1 holders at checkpoints:", run.holders, "descriptors:", run.fds)
    done = "%s done" % scenario.replace("-", " ")
    assert run.code == 0 and done in run.output, "%s: exit %s" % (scenario, run.code)
    return run


def check_refusals(args):
    probe(args, "refusals")


def check_no_thread(args):
    exe = args.build_dir / "tests" / "modem" / "modem_probe.exe"
    if pe_machine(exe) != "i386":
        # Filling a 64-bit address space to starve CreateThread takes Wine minutes and
        # gigabytes; the failure path is the same code on both builds.
        raise WineUnavailable("no-thread needs a 32-bit address space to fill")
    run = probe(args, "no-thread")
    assert any(line.startswith("Unable to create Read thread") for line in run.trace), run.trace


def check_blocks(args):
    run = probe(args, "blocks")
    assert run.trace.count("Got something from Comm port!!!") >= 5, run.trace


def check_frame(args):
    run = probe(args, "frame")
    assert run.peer.frames == [login_frame()], run.peer.frames


def check_held_write(args):
    run = probe(args, "held-write")
    assert not any("Terminating" in line for line in run.trace)


def check_stop(args):
    run = probe(args, "stop")
    # The pty pair's own maker holds the tty too: count what the probe adds.
    baseline = run.holders["before-start"]
    assert run.holders["running"] > baseline, "the channel's port was not open"
    assert run.holders["stopped"] == baseline, "the stopped channel left COM1 open"
    stopping = run.trace[run.trace.index("Stopping the Comm"):]
    assert stopping[:2] == ["Stopping the Comm", "Closing Read Thread"], stopping
    assert "Read thread shutting down" in stopping
    assert not any("Terminating" in line for line in run.trace)


def error_reports(trace):
    """Trace lines after the channel was reading that report a failure."""
    # The starting thread's "Timeline:" stamp can come after the read thread's first lines.
    quiet = ("Waiting for", "Data waiting", "Got something", "Event (Error) waiting", "Timeline:")
    after = trace[trace.index("Waiting for data from comm connection."):]
    return [line for line in after if not line.startswith(quiet) and line not in (
        "Read thread shutting down", "Stopping the Comm")]


def check_line_gone(args):
    def hang_up(session, peer):
        peer.stopped.set()
        peer.join(2)
        session.port("COM1")._stop()  # the pty pair goes away under the open port
    run = probe(args, "line-gone", actions={"line-gone": hang_up})
    reports = error_reports(run.trace)
    print("reports after the line went:", reports)
    assert len(reports) == 1, reports
    assert "Closing Read Thread" not in run.trace, "the stop waited for an ended thread"


def check_port_closed(args):
    run = probe(args, "port-closed")
    reports = error_reports(run.trace)
    print("reports after the port was closed:", reports)
    assert len(reports) == 1, reports
    assert "Closing Read Thread" not in run.trace, "the stop waited for an ended thread"


def check_cycles(args):
    run = probe(args, "cycles", timeout=170)
    before, after = run.fds["before-cycles"], run.fds["after-cycles"]
    print("descriptors before and after 100 cycles:", before, after)
    assert before is not None and after == before, "descriptors %s -> %s" % (before, after)
    assert run.holders["after-cycles"] == run.holders["before-cycles"]


def benchmark(args):
    for line in probe(args, "benchmark").output.splitlines():
        if line.startswith("bench"):
            print("BENCH", line)


CASES = {
    "refusals": check_refusals,
    "no_thread": check_no_thread,
    "blocks": check_blocks,
    "frame": check_frame,
    "held_write": check_held_write,
    "stop": check_stop,
    "line_gone": check_line_gone,
    "port_closed": check_port_closed,
    "cycles": check_cycles,
    "benchmark": benchmark,
}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))
