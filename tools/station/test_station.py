#!/usr/bin/env python3
"""Checks the station simulator against the wire format as the PC sees it, scenario by scenario."""

import os
import select
import subprocess
import sys
import tempfile
import time
import tty
import unittest
import json

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import station  # noqa: E402

CONNECT = bytes.fromhex("021000100300")
LOGIN = bytes.fromhex("0210101031101003100332")  # payload 10 31 10 03
HANGUP = bytes.fromhex("021001100301")


class Line:
    """The PC's end of the line, with the simulator running on the other."""

    def __init__(self, *args):
        self.dir = tempfile.TemporaryDirectory()
        self.link = os.path.join(self.dir.name, "com1")
        self.log = os.path.join(self.dir.name, "station.log")
        self.proc = subprocess.Popen([sys.executable, os.path.join(HERE, "station.py"),
                                      "--pty-link", self.link, "--log", self.log, *args])
        deadline = time.monotonic() + 10
        while not os.path.exists(self.link) and time.monotonic() < deadline:
            time.sleep(0.02)
        try:
            self.fd = os.open(self.link, os.O_RDWR | os.O_NOCTTY)
        except OSError:
            self.proc.kill()
            raise
        tty.setraw(self.fd)

    def exchange(self, request, wait):
        """Sends request, returns (bytes received within wait seconds, [arrival times])."""
        os.write(self.fd, request)
        start = time.monotonic()
        got, times = b"", []
        while time.monotonic() - start < wait:
            ready, _, _ = select.select([self.fd], [], [], 0.05)
            if ready:
                try:
                    data = os.read(self.fd, 4096)
                except OSError:
                    break  # the station hung up the line
                got += data
                times.append(time.monotonic() - start)
        return got, times

    def events(self):
        with open(self.log) as f:
            return [json.loads(line) for line in f]

    def close(self):
        os.close(self.fd)
        self.proc.terminate()
        self.proc.wait()
        self.dir.cleanup()


def frame(payload_hex):
    return station.envelope(bytes.fromhex(payload_hex))


class StationScenarios(unittest.TestCase):
    def run_line(self, args, request, wait):
        line = Line(*args)
        self.addCleanup(line.close)
        return line, line.exchange(request, wait)

    def test_answers_by_scenario(self):
        cases = [
            # args, request, expected answer
            ([], CONNECT, frame("06")),
            ([], HANGUP, frame("06")),
            ([], LOGIN, frame("061006")),
            (["--codes", "00,06"], LOGIN, frame("06100006")),
            (["--codes", "10,01"], LOGIN, bytes.fromhex("02100610101010011003" "07")),
            (["--scenario", "refuse"], LOGIN, frame("151001")),
            (["--scenario", "refuse"], CONNECT, frame("06")),
            (["--bcc", "ee"], CONNECT, bytes.fromhex("0210061003ee")),
        ]
        for args, request, expected in cases:
            with self.subTest(args=args, request=request.hex()):
                line, (got, _) = self.run_line(args, request, 0.4)
                self.assertEqual(got, expected)
                frames = [e for e in line.events() if e["event"] == "frame"]
                self.assertEqual([f["raw"] for f in frames], [request.hex()])

    def test_noise_comes_first_and_never_looks_like_a_frame(self):
        _, (got, _) = self.run_line(["--scenario", "noise", "--noise", "300"], CONNECT, 0.5)
        self.assertTrue(got.endswith(frame("06")))
        noise = got[: -len(frame("06"))]
        self.assertEqual(len(noise), 300)
        self.assertNotIn(0x02, noise)
        self.assertNotIn(0x10, noise)

    def test_split_answer_arrives_in_pieces(self):
        _, (got, times) = self.run_line(["--scenario", "split"], LOGIN, 0.6)
        self.assertEqual(got, frame("061006"))
        self.assertGreaterEqual(len(times), 3)

    def test_timing_scenarios(self):
        _, (got, times) = self.run_line([], CONNECT, 0.5)
        self.assertGreaterEqual(times[0], 0.015)  # never before the transmitter could be empty
        _, (got, times) = self.run_line(["--scenario", "late"], CONNECT, 3.5)
        self.assertEqual(got, frame("06"))
        self.assertGreaterEqual(times[0], 2.5)
        _, (got, _) = self.run_line(["--scenario", "silent"], CONNECT, 0.5)
        self.assertEqual(got, b"")

    def test_disconnect_leaves_half_an_answer_and_a_dead_line(self):
        line, (got, _) = self.run_line(["--scenario", "disconnect"], LOGIN, 0.5)
        self.assertTrue(0 < len(got) < len(frame("061006")))
        self.assertTrue(frame("061006").startswith(got))
        line.proc.wait(timeout=5)
        self.assertIn("disconnect", [e["event"] for e in line.events()])

    def test_reads_requests_split_across_writes(self):
        line = Line()
        self.addCleanup(line.close)
        for b in LOGIN[:-1]:
            os.write(line.fd, bytes([b]))
            time.sleep(0.005)
        got, _ = line.exchange(LOGIN[-1:], 0.4)
        self.assertEqual(got, frame("061006"))
        frames = [e for e in line.events() if e["event"] == "frame"]
        self.assertEqual(frames[0]["payload"], "10311003")
        self.assertTrue(frames[0]["bcc_ok"])


MODEM_LOGIN = bytes.fromhex("10313210616210107a7a10")  # my number 12, user ab, no password, zz


class ModemLink(unittest.TestCase):
    """The bare login of a connected modem call, and the bare reply codes that answer it."""

    def run_line(self, args, request, wait):
        line = Line("--link", "modem", *args)
        self.addCleanup(line.close)
        return line, line.exchange(request, wait)

    def test_answers_by_scenario(self):
        cases = [
            # args, answer
            ([], "1006"),
            (["--codes", "00,06"], "100006"),
            (["--scenario", "refuse-user"], "1001"),
            (["--scenario", "refuse-password"], "1002"),
            (["--scenario", "silent"], ""),
        ]
        for args, answer in cases:
            with self.subTest(args=args):
                line, (got, _) = self.run_line(args, MODEM_LOGIN, 0.4)
                self.assertEqual(got.hex(), answer)
                frames = [e for e in line.events() if e["event"] == "frame"]
                self.assertEqual(len(frames), 1)
                self.assertEqual(frames[0]["raw"], MODEM_LOGIN.hex())
                self.assertEqual(frames[0]["fields"], ["3132", "6162", "", "7a7a"])
                self.assertTrue(frames[0]["complete"])

    def test_login_split_across_writes_is_one_frame(self):
        line = Line("--link", "modem")
        self.addCleanup(line.close)
        for b in MODEM_LOGIN[:-1]:
            os.write(line.fd, bytes([b]))
            time.sleep(0.01)
        got, _ = line.exchange(MODEM_LOGIN[-1:], 0.4)
        self.assertEqual(got.hex(), "1006")
        self.assertEqual([e["raw"] for e in line.events() if e["event"] == "frame"],
                         [MODEM_LOGIN.hex()])

    def test_every_call_on_the_line_is_answered(self):
        line = Line("--link", "modem", "--codes", "02")
        self.addCleanup(line.close)
        first, _ = line.exchange(b"junk" + MODEM_LOGIN, 0.4)
        second, _ = line.exchange(MODEM_LOGIN, 0.4)
        self.assertEqual((first.hex(), second.hex()), ("1002", "1002"))
        events = line.events()
        self.assertEqual([e["raw"] for e in events if e["event"] == "stray"], [b"junk".hex()])
        self.assertEqual(len([e for e in events if e["event"] == "frame"]), 2)

    def test_login_short_of_its_last_separator_is_taken_after_quiet(self):
        short = MODEM_LOGIN[:-1]
        line, (got, times) = self.run_line(["--frame-gap-ms", "200"], short, 0.8)
        self.assertEqual(got.hex(), "1006")
        self.assertGreaterEqual(times[0], 0.2)
        frame = [e for e in line.events() if e["event"] == "frame"][0]
        self.assertEqual((frame["raw"], frame["complete"]), (short.hex(), False))
        self.assertEqual(frame["fields"][-1], "7a7a")

    def test_answer_shapes(self):
        _, (got, times) = self.run_line(["--scenario", "split"], MODEM_LOGIN, 0.6)
        self.assertEqual(got.hex(), "1006")
        self.assertGreaterEqual(len(times), 2)
        _, (got, _) = self.run_line(["--scenario", "noise", "--noise", "200"], MODEM_LOGIN, 0.6)
        self.assertTrue(got.endswith(b"\x10\x06"))
        self.assertEqual(len(got), 202)
        self.assertNotIn(0x10, got[:-2])  # noise ahead of the separator is skipped by the PC
        _, (got, times) = self.run_line(["--scenario", "late", "--late-s", "1"], MODEM_LOGIN, 1.5)
        self.assertEqual(got.hex(), "1006")
        self.assertGreaterEqual(times[0], 1.0)

    def test_refuses_a_direct_scenario(self):
        result = subprocess.run([sys.executable, os.path.join(HERE, "station.py"), "--link", "modem",
                                 "--port", "/dev/null", "--scenario", "refuse"],
                                capture_output=True, text=True)
        self.assertEqual(result.returncode, 2)
        self.assertIn("refuse-user", result.stderr)


if __name__ == "__main__":
    unittest.main()
