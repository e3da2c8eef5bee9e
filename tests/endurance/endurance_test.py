#!/usr/bin/env python3
"""A short endurance run of Farlink.exe under Wine: a few exchanges and profile cycles in one run,
the program's counters printed, and nothing that leaks one object a step."""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "wine"))
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools" / "endurance"))

from endurance import CALIBRATION_PORT, COUNTS, endurance, table  # noqa: E402
from farlink_wine import run_cases  # noqa: E402

EXCHANGES, EVERY, CYCLES = 10, 5, 4


def exchanges_and_profiles_stay_flat(args):
    """Ten exchanges and four Load/Save cycles: no count climbs with them, memory stays put."""
    with args.session(com_ports=["COM1", CALIBRATION_PORT]) as s:
        results = endurance(s, EXCHANGES, EVERY, CYCLES, memory_tolerance=4 << 20)
    for title, rows, grew in results:
        print(table(title, rows))
        # A short run is judged loosely: one object more may be a late thread or a cached
        # handle; a leak of one per step shows as several.
        steps = EXCHANGES if "exchanges" in title else CYCLES
        climbed = {k: v for k, v in grew.items()
                   if k not in COUNTS or v[1] - v[0] >= max(2, steps // 2)}
        assert not climbed, "%s: %s" % (title, climbed)


CASES = {"exchanges_and_profiles_stay_flat": exchanges_and_profiles_stay_flat}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))
