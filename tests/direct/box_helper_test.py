#!/usr/bin/env python3
"""The direct suite's "no box appeared" check fails on anything but the driver finding no box."""

import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import direct_exchange  # noqa: E402
from farlink_driver import DriverError  # noqa: E402
from farlink_wine import HarnessError  # noqa: E402


class FakeDialog:
    def __init__(self, outcome):
        self.outcome = outcome

    def wait_owned(self, timeout):
        if isinstance(self.outcome, Exception):
            raise self.outcome
        return self.outcome


class FakeBox:
    def message_box(self):
        return ("Farlink To WinCE", "text", [1])


class StaysWithoutBox(unittest.TestCase):
    def test_only_no_box_counts_as_no_box(self):
        self.assertIsNone(direct_exchange.stays_without_box(
            FakeDialog(DriverError("owned 0x10 1000: no window owned by it")), 1))
        failures = [
            (FakeBox(), AssertionError),
            (DriverError("owned 0x10 1000: no such window"), DriverError),
            (HarnessError("UI driver gave no answer"), HarnessError),
            (TypeError("a slip in the test"), TypeError),
        ]
        for outcome, expected in failures:
            with self.subTest(outcome=outcome), self.assertRaises(expected):
                direct_exchange.stays_without_box(FakeDialog(outcome), 1)


if __name__ == "__main__":
    unittest.main()
