#!/usr/bin/env python3
"""Checks the harness's own promises: the pty shim, wired and absent COM ports, the line log."""

import errno
import fcntl
import os
import struct
import subprocess
import sys
import termios
import textwrap
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from farlink_wine import (  # noqa: E402
    SecretLeak, find_secret_leaks, run_cases, shim_preload, wait_for)

# Runs inside a process with the shim preloaded; prints what the ioctls answered.
SHIM_CLIENT = textwrap.dedent("""
    import fcntl, os, struct, sys, termios
    master, slave = os.openpty()
    def call(request, value=0, size=4):
        buf = bytearray(struct.pack("i", value) + bytes(size - 4))
        try:
            fcntl.ioctl(slave, request, buf, True)
        except OSError as e:
            return "errno%d" % e.errno
        return struct.unpack_from("i", buf)[0]
    print(call(termios.TIOCMGET))
    print(call(termios.TIOCMBIC, termios.TIOCM_DTR))
    print(call(termios.TIOCMGET))
    print(call(termios.TIOCMBIS, termios.TIOCM_DTR | termios.TIOCM_RTS))
    print(call(termios.TIOCMGET))
    print(call(0x545D, 7, 80))
    print(call(0x5459, 7))
    # A held tty cannot be opened by anybody, root included.
    held = os.ttyname(slave)
    fcntl.ioctl(slave, termios.TIOCEXCL)
    try:
        os.close(os.open(held, os.O_RDWR | os.O_NOCTTY))
        print("opened")
    except OSError as e:
        print("errno%d" % e.errno)
    fcntl.ioctl(slave, termios.TIOCNXCL)
    os.close(os.open(held, os.O_RDWR | os.O_NOCTTY))
    print("opened")
    print(held)
""")


def shim_on_pty(args):
    """The shim answers modem ioctls on a pty, logs line changes, and keeps held ttys closed."""
    preload = shim_preload(args.build_dir)
    assert preload, "pty shim not built"
    log = args.build_dir / "wine-runs" / "shim-check.log"
    log.parent.mkdir(parents=True, exist_ok=True)
    log.unlink(missing_ok=True)
    env = dict(os.environ, LD_PRELOAD=preload, FARLINK_SHIM_LOG=str(log))
    out = subprocess.run([sys.executable, "-c", SHIM_CLIENT], env=env, capture_output=True,
                         text=True, timeout=60, check=True).stdout.split()
    m = termios
    present = m.TIOCM_CTS | m.TIOCM_DSR | m.TIOCM_CAR
    expected = [
        str(m.TIOCM_DTR | m.TIOCM_RTS | present),  # a fresh line has DTR and RTS up
        str(m.TIOCM_DTR),
        str(m.TIOCM_RTS | present),
        str(m.TIOCM_DTR | m.TIOCM_RTS),
        str(m.TIOCM_DTR | m.TIOCM_RTS | present),
        "0",  # error counters zeroed (the first word, at least)
        "1",  # transmitter empty: nothing queued
        "errno%d" % errno.EBUSY,
        "opened",
    ]
    assert out[:-1] == expected, "shim answers %s, expected %s" % (out[:-1], expected)
    tty = out[-1]
    assert log.read_text().splitlines() == [
        "%s DTR=0 RTS=1" % tty, "%s DTR=1 RTS=1" % tty], log.read_text()

    # Without the shim the kernel refuses: proof that the answers above are the shim's.
    master, slave = os.openpty()
    try:
        fcntl.ioctl(slave, termios.TIOCMGET, struct.pack("i", 0))
        raise AssertionError("this kernel answers TIOCMGET on a pty; the shim is untested")
    except OSError as e:
        assert e.errno in (errno.ENOTTY, errno.EINVAL)
    finally:
        os.close(master)
        os.close(slave)


def exchange(session, probe, port):
    """Runs the probe on `port`, playing the far end; returns its exit code and output."""
    proc = session.start(probe, [port])
    peer = session.port(port)
    heard = bytearray()

    def pinged():
        heard.extend(peer.read(0.5))
        return b"ping" in heard or not proc.alive()
    wait_for(pinged, 30, what="the probe's ping on %s" % port)
    peer.write(b"pong")
    return proc.wait(60), proc


def comm_port_under_wine(args):
    """A Windows program uses a wired COM port fully; unwired or held ones do not open."""
    with args.session(com_ports=["COM1", "COM3"]) as s:
        probe = s.install(args.probe, folder="probe")
        code, proc = exchange(s, probe, "COM1")
        assert code == 0, proc.stderr_text()
        assert proc.trace() == ['comm_probe:\t"done" \\ 100%'], proc.trace()
        com1 = [(dtr, rts) for port, dtr, rts in s.line_log() if port == "COM1"]
        assert com1[-3:] == [(False, True), (True, True), (True, False)], com1

        for absent in ("COM2", "COM4", "COM8"):
            code, output = s.run(probe, [absent], timeout=60)
            assert code == 2, "%s opened: %s" % (absent, output)

        s.port("COM3").hold()
        code, output = s.run(probe, ["COM3"], timeout=60)
        assert code == 2, "a held port opened: %s" % output
        s.port("COM3").release()
        code, proc = exchange(s, probe, "COM3")
        assert code == 0, "after release: %s" % proc.stderr_text()


def planted_secret_is_caught(args):
    """The password check that every session makes finds a planted leak in each form it looks for."""
    password = "Planted#Pw9"
    folder = Path(args.build_dir).resolve() / "wine-runs" / "planted-forms"
    folder.mkdir(parents=True, exist_ok=True)
    forms = {
        "plain.log": password.encode("cp1252"),
        "hexdump.log": password.encode().hex(" ").upper().encode(),
        "clean.log": b"Sending username and password...\r\n",
    }
    for name, body in forms.items():
        (folder / name).write_bytes(b"2026-12-08 14:03:05.120 " + body + b"\r\n")
    # Wine escapes what OutputDebugString carries; the check reads through that.
    trace = folder / "run.stderr"
    trace.write_text('0024:warn:debugstr:OutputDebugStringA "pw=Planted\\x23Pw9\\n"\n')
    found = find_secret_leaks([password, "x"], sorted(folder.iterdir()), [trace])
    assert sorted(Path(path).name for path, _ in found) == [
        "hexdump.log", "plain.log", "run.stderr"], found

    # Whole sessions: a planted log file fails the test, a clean one does not.
    with args.session(com_ports=[]) as s:
        s.secret(password)
        (s.prefix / "drive_c" / "clean.log").write_text("nothing to see\n")
    try:
        with args.session(com_ports=[]) as s:
            s.secret(password)
            (s.prefix / "drive_c" / "leaky.log").write_text("user=alice pass=%s\n" % password)
    except SecretLeak as caught:
        assert "leaky.log" in str(caught), caught
    else:
        raise AssertionError("a password planted in a log passed the session's check")


CASES = {"shim_on_pty": shim_on_pty, "comm_port_under_wine": comm_port_under_wine,
         "planted_secret_is_caught": planted_secret_is_caught}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, extra_options=["--probe"]))
