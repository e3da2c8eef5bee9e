"""Runs station.py on the far end of a Wine session's COM port and reads back its log."""

import json
import subprocess
import sys
import time
from pathlib import Path

STATION = Path(__file__).resolve().parent / "station.py"


class Station:
    """The simulated station on `port` of a farlink_wine.WineSession, answering by `args`."""

    def __init__(self, session, *args, port="COM1", name="station", echo=False):
        self.log = session.run_dir / (name + ".log")
        self.stderr = None if echo else open(session.run_dir / (name + ".stderr"), "w")
        self.proc = subprocess.Popen(
            [sys.executable, str(STATION), "--port", session.port(port).peer_end,
             "--log", str(self.log), *(["-v"] if echo else []), *args],
            stdout=self.stderr, stderr=self.stderr, start_new_session=True)
        deadline = time.monotonic() + 10
        while not self.events("ready"):
            if time.monotonic() > deadline or self.proc.poll() is not None:
                self.stop()
                raise RuntimeError("the station did not start; see %s" % self.log)
            time.sleep(0.05)

    def events(self, event=None):
        """The log records so far, or those of one kind ("frame", "answer", ...)."""
        try:
            with open(self.log) as f:
                records = [json.loads(line) for line in f if line.strip()]
        except FileNotFoundError:
            return []
        return [r for r in records if event is None or r["event"] == event]

    def received(self):
        """Every envelope the station got from the PC, as wire bytes, in order."""
        return [bytes.fromhex(e["raw"]) for e in self.events("frame")]

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        if self.stderr:
            self.stderr.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
        return False
