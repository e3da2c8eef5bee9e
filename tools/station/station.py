#!/usr/bin/env python3
"""Plays the remote WinCE station at the far end of a serial line (a pty), for tests and the demo.

It reads the PC's envelopes (STX DLE payload DLE ETX BCC, every 0x10 of the payload sent twice),
logs each one as a JSON line, and answers by scenario. Written from the wire format alone, on
purpose: it shares no code with the program it talks to.

Requests: payload 00 is the connection request, 01 the hang-up request, anything else the login.
Answers: 06 for the connection and hang-up requests; 06 10 <reply codes> for the login.

With --link modem the line is a connected modem call instead: the PC sends the login as it is,
10 <my number> 10 <user> 10 <password> 10 <domain> 10, with no envelope, and the station answers
with 10 <reply codes>, also bare. A login is complete at its fifth 10; one that stops short of it
is taken as it stands after --frame-gap-ms of quiet.
"""

import argparse
import json
import os
import random
import select
import sys
import termios
import time
import tty

STX, DLE, ETX, ACK, NAK = 0x02, 0x10, 0x03, 0x06, 0x15

# Modem link: the reply codes each scenario answers a login with (None: say nothing).
MODEM_SCENARIOS = {
    "accept": b"\x06",
    "refuse-user": b"\x01",
    "refuse-password": b"\x02",
    "silent": None,
    "late": b"\x06",
    "split": b"\x06",
    "noise": b"\x06",
}

SCENARIOS = {
    # name: requests it applies to by default
    "accept": "all",
    "refuse": "login",
    "silent": "all",
    "late": "all",
    "noise": "all",
    "split": "all",
    "disconnect": "login",
    "flood": "login",
}


def envelope(payload, bcc=None):
    """The wire bytes of one frame."""
    body = bytearray()
    check = 0
    for b in payload:
        check ^= b
        body.append(b)
        if b == DLE:
            body.append(b)
    if bcc is None:
        bcc = check
    return bytes([STX, DLE]) + bytes(body) + bytes([DLE, ETX, bcc & 0xFF])


class FrameReader:
    """Cuts envelopes out of a byte stream; remembers bytes outside any frame."""

    def __init__(self):
        self.pending = bytearray()

    def feed(self, data):
        """Returns (stray_bytes, [(raw, payload, bcc_ok), ...]) for what is complete so far."""
        self.pending += data
        stray = bytearray()
        frames = []
        while True:
            start = self.pending.find(bytes([STX, DLE]))
            if start < 0:
                # Keep a trailing STX: its DLE may be in the next read.
                keep = 1 if self.pending.endswith(bytes([STX])) else 0
                stray += self.pending[: len(self.pending) - keep]
                del self.pending[: len(self.pending) - keep]
                break
            stray += self.pending[:start]
            del self.pending[:start]
            payload = bytearray()
            i = 2
            end = None
            while i + 1 < len(self.pending):
                b = self.pending[i]
                if b != DLE:
                    payload.append(b)
                    i += 1
                    continue
                nxt = self.pending[i + 1]
                if nxt == DLE:
                    payload.append(DLE)
                    i += 2
                elif nxt == ETX:
                    if i + 2 < len(self.pending):
                        end = i + 3
                    break
                else:
                    # Not a valid envelope: count the STX as noise and look further.
                    end = -1
                    break
            if end is None:
                break  # incomplete: wait for more bytes
            if end == -1:
                stray.append(self.pending[0])
                del self.pending[:1]
                continue
            raw = bytes(self.pending[:end])
            check = 0
            for b in payload:
                check ^= b
            frames.append((raw, bytes(payload), raw[-1] == check))
            del self.pending[:end]
        return bytes(stray), frames


class ModemFrameReader:
    """Cuts bare login frames out of the modem byte stream.

    A frame is five separators with the four texts between them; the texts carry no escaping, so a
    text holding 10 ends its field early, and only quiet on the line can end such a frame.
    """

    FIELDS = 5

    def __init__(self):
        self.pending = bytearray()

    def feed(self, data):
        """Returns (stray_bytes, [raw_frame, ...]); bytes before a frame's first 10 are stray."""
        self.pending += data
        stray, frames = bytearray(), []
        while self.pending:
            seps = [i for i, b in enumerate(self.pending) if b == DLE][: self.FIELDS]
            if not seps or seps[0] > 0:
                cut = seps[0] if seps else len(self.pending)
                stray += self.pending[:cut]
                del self.pending[:cut]
            elif len(seps) == self.FIELDS:
                frames.append(bytes(self.pending[: seps[-1] + 1]))
                del self.pending[: seps[-1] + 1]
            else:
                break  # the rest of this frame is still on its way
        return bytes(stray), frames

    def flush(self):
        """The partial frame held back, if any (the line went quiet in the middle of it)."""
        raw = bytes(self.pending)
        self.pending.clear()
        return raw


def modem_fields(raw):
    """The texts between the separators of a bare login frame, as hex."""
    return [part.hex() for part in raw.split(bytes([DLE]))[1:-1]]


def request_kind(payload):
    if payload == b"\x00":
        return "connect"
    if payload == b"\x01":
        return "hangup"
    return "login"


class Station:
    def __init__(self, args):
        self.args = args
        self.rng = random.Random(args.seed)
        self.log_file = open(args.log, "a", buffering=1) if args.log else None
        self.t0 = time.monotonic()
        self.fd = None
        self.slave_fd = None
        self.codes = bytes(int(c, 16) for c in args.codes.split(",") if c) if args.codes else b""
        applies = args.on or SCENARIOS.get(args.scenario, "all")
        self.applies = set(applies.split(",")) if applies != "all" else {"connect", "login", "hangup"}

    def log(self, event, **fields):
        record = {"t": round(time.monotonic() - self.t0, 4), "wall": time.time(), "event": event}
        record.update(fields)
        line = json.dumps(record)
        if self.log_file:
            self.log_file.write(line + "\n")
        if self.args.verbose:
            print(line, file=sys.stderr, flush=True)

    def open_line(self):
        if self.args.pty_link:
            master, slave = os.openpty()
            tty.setraw(slave)
            link = self.args.pty_link
            if os.path.lexists(link):
                os.unlink(link)
            os.symlink(os.ttyname(slave), link)
            # Holding the slave open keeps the master readable while the PC has the port closed.
            self.fd, self.slave_fd = master, slave
        else:
            self.fd = os.open(self.args.port, os.O_RDWR | os.O_NOCTTY)
            if os.isatty(self.fd):
                tty.setraw(self.fd)

    def write(self, data):
        view = memoryview(data)
        while view:
            n = os.write(self.fd, view)
            view = view[n:]

    def noise(self, count):
        # Never STX or DLE, so the noise cannot be mistaken for the start of a frame.
        return bytes(self.rng.choice([b for b in range(256) if b not in (STX, DLE)]) for _ in range(count))

    def answer_payload(self, kind):
        if kind == "login":
            if self.args.scenario == "refuse" and "login" in self.applies:
                return bytes([NAK, DLE]) + (self.codes or b"\x01")
            codes = self.codes if self.args.codes is not None else b"\x06"
            return bytes([ACK, DLE]) + codes + b"A" * self.args.pad
        return bytes([ACK])

    def answer(self, kind):
        scenario = self.args.scenario if kind in self.applies else "accept"
        if scenario == "silent":
            self.log("silent", kind=kind)
            return True
        delay = self.args.late_s if scenario == "late" else self.args.delay_ms / 1000.0
        time.sleep(delay)
        payload = self.answer_payload(kind)
        frame = envelope(payload, self.args.bcc)
        if scenario == "flood":
            end = time.monotonic() + self.args.flood_s
            sent = 0
            while time.monotonic() < end:
                chunk = bytes(self.rng.randrange(256) for _ in range(64))
                self.write(chunk)
                sent += len(chunk)
                time.sleep(0.02)
            self.log("flood", kind=kind, bytes=sent)
            return True
        if scenario == "noise":
            frame = self.noise(self.args.noise) + frame
        if scenario == "disconnect":
            half = frame[: max(1, len(frame) // 2)]
            self.write(half)
            termios.tcdrain(self.fd) if os.isatty(self.fd) else None
            time.sleep(0.05)
            self.log("disconnect", kind=kind, sent=half.hex())
            return False
        if scenario == "split":
            pieces = [frame[:2], frame[2:3], frame[3:]]
            for piece in pieces:
                if piece:
                    self.write(piece)
                    time.sleep(self.args.split_gap_ms / 1000.0)
        else:
            self.write(frame)
        self.log("answer", kind=kind, payload=payload.hex(), raw=frame.hex())
        return True

    def modem_answer(self):
        """Answers one login on the modem link; the line stays up for the next call."""
        scenario = self.args.scenario
        codes = self.codes if self.args.codes is not None else MODEM_SCENARIOS[scenario]
        if codes is None:
            self.log("silent", kind="login")
            return
        time.sleep(self.args.late_s if scenario == "late" else self.args.delay_ms / 1000.0)
        answer = bytes([DLE]) + codes
        if scenario == "noise":
            answer = self.noise(self.args.noise) + answer
        if scenario == "split":
            # The separator alone first: the PC's read may well hand it over as a block of its own.
            for piece in (answer[:1], answer[1:]):
                self.write(piece)
                time.sleep(self.args.split_gap_ms / 1000.0)
        else:
            self.write(answer)
        self.log("answer", kind="login", payload=answer.hex(), raw=answer.hex())

    def reads(self, tick):
        """Yields each read from the line, and b"" after `tick` s of quiet, until --max-s."""
        deadline = time.monotonic() + self.args.max_s if self.args.max_s else None
        while True:
            timeout = tick
            if deadline is not None:
                left = deadline - time.monotonic()
                if left <= 0:
                    self.log("timeout")
                    return
                timeout = min(timeout, left)
            ready, _, _ = select.select([self.fd], [], [], timeout)
            if not ready:
                yield b""
                continue
            try:
                data = os.read(self.fd, 4096)
            except OSError:
                data = b""
            if not data:
                # The far side is closed; a pty reports that until it is opened again.
                time.sleep(0.05)
            yield data

    def modem_login(self, raw, complete):
        fields = modem_fields(raw if complete else raw + bytes([DLE]))
        self.log("frame", kind="login", link="modem", raw=raw.hex(), payload=raw.hex(),
                 fields=fields, complete=complete)
        self.modem_answer()

    def run_modem(self):
        reader = ModemFrameReader()
        last_byte = None
        # Line noise while the modem settles: a byte every --settle-noise-ms until a login comes.
        noise_every = self.args.settle_noise_ms / 1000.0
        next_noise = time.monotonic()
        logins = 0
        for data in self.reads(min(0.05, noise_every) if noise_every else 0.05):
            if data:
                last_byte = time.monotonic()
                stray, frames = reader.feed(data)
                if stray:
                    self.log("stray", raw=stray.hex())
                for raw in frames:
                    logins += 1
                    self.modem_login(raw, True)
            elif last_byte is not None and time.monotonic() - last_byte >= self.args.frame_gap_ms / 1000.0:
                last_byte = None
                raw = reader.flush()
                if raw:
                    logins += 1
                    self.modem_login(raw, False)
            # After what came in: no noise goes out once a login has begun to arrive.
            if noise_every and not logins and not reader.pending and time.monotonic() >= next_noise:
                byte = self.noise(1)
                self.write(byte)
                self.log("noise", raw=byte.hex())
                next_noise = time.monotonic() + noise_every
        return 0

    def run(self):
        self.open_line()
        if self.args.link == "modem":
            self.log("ready", link="modem", scenario=self.args.scenario)
            if self.args.early:
                self.write(self.args.early)
                self.log("early", raw=self.args.early.hex())
            return self.run_modem()
        self.log("ready", scenario=self.args.scenario, applies=sorted(self.applies))
        reader = FrameReader()
        for data in self.reads(0.2):
            if not data:
                continue
            stray, frames = reader.feed(data)
            if stray:
                self.log("stray", raw=stray.hex())
            for raw, payload, bcc_ok in frames:
                kind = request_kind(payload)
                self.log("frame", kind=kind, payload=payload.hex(), raw=raw.hex(), bcc_ok=bcc_ok)
                if not self.answer(kind):
                    os.close(self.fd)
                    if self.slave_fd is not None:
                        os.close(self.slave_fd)
                    return 0
                if kind == "hangup" and self.args.exit_after_hangup:
                    self.log("exit")
                    return 0
        return 0


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    where = p.add_mutually_exclusive_group(required=True)
    where.add_argument("--port", help="an existing tty or pty end to talk on")
    where.add_argument("--pty-link", help="create a pty and put a symlink to its device here")
    p.add_argument("--log", help="JSON-lines log of every frame and answer")
    p.add_argument("--link", choices=["direct", "modem"], default="direct",
                   help="direct: enveloped requests on the cable; modem: a bare login on a connected call")
    p.add_argument("--scenario", default="accept",
                   help="direct: %s; modem: %s" % (", ".join(sorted(SCENARIOS)),
                                                   ", ".join(sorted(MODEM_SCENARIOS))))
    p.add_argument("--on", help="requests the scenario applies to: connect,login,hangup or all "
                   "(default depends on the scenario)")
    p.add_argument("--codes", help="reply codes after 06 10 in the login answer, hex, comma-separated "
                   "(default 06; with --scenario refuse, the codes after 15 10)")
    p.add_argument("--pad", type=int, default=0,
                   help="filler bytes (A) after the reply codes of an accepted login: a long answer")
    p.add_argument("--bcc", type=lambda s: int(s, 16), help="send this BCC instead of the right one")
    p.add_argument("--delay-ms", type=float, default=20.0,
                   help="pause before each answer (a pty would otherwise beat the transmitter-empty event)")
    p.add_argument("--late-s", type=float, default=2.5, help="pause before answers in the late scenario")
    p.add_argument("--noise", type=int, default=40, help="noise bytes before each frame in the noise scenario")
    p.add_argument("--split-gap-ms", type=float, default=60.0, help="pause between pieces in the split scenario")
    p.add_argument("--flood-s", type=float, default=4.0, help="how long the flood scenario sends noise")
    p.add_argument("--frame-gap-ms", type=float, default=500.0,
                   help="modem link: quiet that ends a login short of its fifth separator")
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--max-s", type=float, help="give up after this many seconds")
    p.add_argument("--early", type=bytes.fromhex, default=b"",
                   help="modem link: bytes (hex) put on the line at once, before any call")
    p.add_argument("--settle-noise-ms", type=float, default=0.0,
                   help="modem link: one noise byte every this many ms until the first login comes")
    p.add_argument("--exit-after-hangup", action="store_true")
    p.add_argument("-v", "--verbose", action="store_true", help="also print the log on stderr")
    args = p.parse_args(argv)
    known = MODEM_SCENARIOS if args.link == "modem" else SCENARIOS
    if args.scenario not in known:
        p.error("scenario %r is not one of the %s link's: %s"
                % (args.scenario, args.link, ", ".join(sorted(known))))
    return args


def main(argv=None):
    args = parse_args(argv)
    try:
        return Station(args).run()
    except KeyboardInterrupt:
        return 0


if __name__ == "__main__":
    sys.exit(main())
