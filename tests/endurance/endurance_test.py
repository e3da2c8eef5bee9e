#!/usr/bin/env python3
"""A short endurance run of Farlink.exe under Wine: a few exchanges and profile cycles in one run,
the program's counters printed, and nothing that leaks one object a step."""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "wine"))
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools" / "endurance"))

from endurance import (CALIBRATION_PORT, COUNTS, DIRECT_PORT, MODEM_PORT, endurance,  # noqa: E402
                       table)
from farlink_wine import run_cases  # noqa: E402

EXCHANGES, EVERY, CYCLES = 10, 5, 4
# A modem exchange waits out the modem's settle time: a few of them, about 30 s.
MODEM_EXCHANGES = 4


def judge_loosely(results, steps):
    """A short run is judged loosely: one object more may be a late thread or a cached handle; a
    leak of one per step shows as several. Memory gets the tolerance given to endurance()."""
    for title, rows, grew in results:
        print(table(title, rows))
        count = steps["cycles" if "cycles" in title else "exchanges"]
        climbed = {k: v for k, v in grew.items()
                   if k not in COUNTS or v[1] - v[0] >= max(2, count // 2)}
        assert not climbed, "%s: %s" % (title, climbed)


def exchanges_and_profiles_stay_flat(args):
    """Ten exchanges and four Load/Save cycles: no count climbs with them, memory stays put."""
    with args.session(com_ports=[DIRECT_PORT, CALIBRATION_PORT]) as s:
        results = endurance(s, EXCHANGES, EVERY, CYCLES, memory_tolerance=4 << 20)
    judge_loosely(results, {"exchanges": EXCHANGES, "cycles": CYCLES})


def modem_exchanges_stay_flat(args):
    """A few modem calls through to the station and back to idle: no count climbs with them."""
    with args.session(com_ports=[MODEM_PORT, CALIBRATION_PORT]) as s:
        results = endurance(s, MODEM_EXCHANGES, 2, 0, memory_tolerance=4 << 20, link="modem")
    titles = [title for title, _, _ in results]
    assert len(titles) == 1 and titles[0].startswith("%d modem exchanges" % MODEM_EXCHANGES), \
        titles
    judge_loosely(results, {"exchanges": MODEM_EXCHANGES})


CASES = {"exchanges_and_profiles_stay_flat": exchanges_and_profiles_stay_flat,
         "modem_exchanges_stay_flat": modem_exchanges_stay_flat}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))
