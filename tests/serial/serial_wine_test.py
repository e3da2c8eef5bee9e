#!/usr/bin/env python3
"""The serial library under Wine: a probe program and a foreign client against a peer on a pty."""
import os
import struct
import sys
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "wine"))
sys.path.insert(0, str(Path(__file__).resolve().parent))
from farlink_wine import run_cases  # noqa: E402
from check_exports import Pe  # noqa: E402

HERE = Path(__file__).resolve().parent


class Peer(threading.Thread):
    """The far end of COM1: answers each message by its first byte.

    A 123 | F 1100 counting bytes | E the message back, then X | S nothing |
    G one byte after 100 ms | C a byte every 100 ms for 2 s | L one byte after 700 ms |
    T stop reading | P 32767 bytes | B a 64 KiB burst | PING PONG
    """

    def __init__(self, port):
        super().__init__(daemon=True)
        self.port = port
        self.stopped = threading.Event()
        self.messages = []

    def run(self):
        while not self.stopped.is_set():
            data = self.port.read(0.2)
            if not data:
                continue
            self.messages.append(data)
            self.answer(data)

    def answer(self, data):
        first = data[:1]
        if data.startswith(b"PING"):
            self.port.write(b"PONG")
        elif first == b"A":
            self.port.write(b"123")
        elif first == b"F":
            self.port.write(bytes(i & 0xFF for i in range(1100)))
        elif first == b"E":
            while len(data) < 10:
                data += self.port.read(1.0)
            self.port.write(data + b"X")
        elif first == b"G":
            time.sleep(0.1)
            self.port.write(b"g")
        elif first == b"C":
            for _ in range(20):
                time.sleep(0.1)
                self.port.write(b"c")
        elif first == b"L":
            time.sleep(0.7)
            self.port.write(b"l")
        elif first == b"T":
            self.stopped.wait(12)
        elif first == b"P":
            self.port.write(bytes(32767))
        elif first == b"B":
            self.port.write(bytes((i * 7) & 0xFF for i in range(65536)))


def holders(tty):
    """Processes that have the tty open (the Wine side of a COM port)."""
    found = 0
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            fds = os.listdir("/proc/%s/fd" % pid)
        except OSError:
            continue
        for fd in fds:
            try:
                if os.readlink("/proc/%s/fd/%s" % (pid, fd)) == tty:
                    found += 1
            except OSError:
                pass
    return found


def fd_count(pid):
    """Unix descriptors of a process: under Wine each open file, port or pipe holds one."""
    try:
        return len(os.listdir("/proc/%d/fd" % pid))
    except OSError:
        return None


class Run:
    """What a run left: exit code, output, trace, line log, the peer, and at each checkpoint
    the holders of COM1 and the program's descriptors."""

    def __init__(self):
        self.code = None
        self.output = ""
        self.trace = []
        self.line_log = []
        self.holders = {}
        self.fds = {}
        self.peer = None


def run_program(args, program, scenario=(), extra=(), timeout=90, ports=("COM1", "COM2"),
                actions=None, peer_class=Peer, trace=False):
    """Runs a Windows program with a peer on COM1 and watches its checkpoints.

    actions: {checkpoint: callable(session, peer)} run when the program reaches the checkpoint.
    trace: also capture the program's debug output (Run.trace).
    """
    run = Run()
    with args.session(com_ports=list(ports)) as s:
        installed = s.install(program, *extra)
        peer = run.peer = peer_class(s.port("COM1"))
        peer.start()
        proc = s.start(installed, list(scenario), trace=trace)
        tty = s.port("COM1").tty()
        deadline = time.monotonic() + timeout
        try:
            while proc.alive() and time.monotonic() < deadline:
                for line in proc.stderr_text().splitlines():
                    if line.startswith("checkpoint ") and line[11:] not in run.holders:
                        run.holders[line[11:]] = holders(tty)
                        run.fds[line[11:]] = fd_count(proc.popen.pid)
                        if actions and line[11:] in actions:
                            actions[line[11:]](s, peer)
                time.sleep(0.1)
            run.code = proc.wait(5)
        finally:
            peer.stopped.set()
            peer.join(2)
            run.output = proc.stderr_text()
            run.trace = proc.trace()
            print(run.output)
        run.line_log = s.line_log()
        print("COM1 holders at checkpoints:", run.holders)
        return run


def probe(args, scenario, program="serial_probe.exe", **kw):
    exe = args.build_dir / "tests" / "serial" / program
    run = run_program(args, exe, [scenario], **kw)
    assert run.code == 0 and "%s done" % scenario.replace("-", " ") in run.output, \
        "%s: exit %s" % (scenario, run.code)
    return run


def check_opening(args):
    run = probe(args, "opening")
    # The pty pair's own maker keeps the tty open too: count what the program adds.
    baseline = run.holders["before-open"]
    assert run.holders["while-open"] > baseline, "port index 0 did not open COM1"
    assert run.holders["after-bad-format"] == baseline, "a failed open left COM1 open"


def check_dtr(args):
    log = probe(args, "dtr").line_log
    print(log)
    assert any(name == "COM1" and dtr for name, dtr, _ in log), "DTR never raised on COM1"
    assert not any(name == "COM2" and dtr for name, dtr, _ in log), "DTR raised on COM2"


def check_reception(args):
    probe(args, "reception")


def check_echo(args):
    log = probe(args, "echo").line_log
    rts = [r for name, _, r in log if name == "COM1"]
    print(rts)
    assert True in rts and rts.index(True) < len(rts) - 1 and rts[-1] is False, \
        "RTS not raised for the send and dropped after it"


def check_timeouts(args):
    probe(args, "timeouts")


def check_tx_timeout(args):
    probe(args, "tx-timeout")


def check_tx_timeout_as_on_xp(args):
    """Without CancelIoEx, as on XP, a write under way is still given up and the port freed."""
    probe(args, "tx-timeout", program="serial_probe_as_on_xp.exe")


def check_rts_wait(args):
    probe(args, "rts-wait")


def check_line_gone(args):
    def hang_up(session, peer):
        peer.stopped.set()
        peer.join(2)
        session.port("COM1")._stop()  # the pty pair goes away under the open port
    probe(args, "line-gone", actions={"line-gone": hang_up})


def check_pump(args):
    probe(args, "pump")


def check_foreign_client(args, scenario=(), extra=()):
    exe = args.build_dir / "tests" / "serial" / "abi_client.exe"
    run = run_program(args, exe, scenario, extra=[args.exe, *extra])
    assert run.code == 0 and "failures 0" in run.output, "client exit %s" % run.code


def check_foreign_client_away(args):
    """The same client with the exe's preferred range taken: the exe is relocated on load."""
    check_foreign_client(args, ["--away"])


def check_foreign_client_damaged(args):
    """A copy of the exe whose second relocation block claims more bytes than the table holds
    is refused, and nothing of it stays loaded."""
    pe = Pe(args.exe)
    table, size = pe.directory(5)
    first = pe.unpack("<I", table + 4)[0]
    assert first + 8 <= size, "a single relocation block"
    data = bytearray(pe.data)
    struct.pack_into("<I", data, pe.offset(table + first + 4), 0x7FFFFFF0)
    damaged = args.build_dir / "tests" / "serial" / "Damaged.exe"
    damaged.write_bytes(bytes(data))
    check_foreign_client(args, ["--damaged", "Damaged.exe"], extra=[damaged])


def benchmark(args):
    for line in probe(args, "benchmark").output.splitlines():
        if line.startswith("bench"):
            print("BENCH", line)


CASES = {
    "opening": check_opening,
    "dtr": check_dtr,
    "reception": check_reception,
    "echo": check_echo,
    "timeouts": check_timeouts,
    "tx_timeout": check_tx_timeout,
    "tx_timeout_as_on_xp": check_tx_timeout_as_on_xp,
    "rts_wait": check_rts_wait,
    "line_gone": check_line_gone,
    "pump": check_pump,
    "foreign_client": check_foreign_client,
    "foreign_client_away": check_foreign_client_away,
    "foreign_client_damaged": check_foreign_client_damaged,
    "benchmark": benchmark,
}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))
