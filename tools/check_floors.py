#!/usr/bin/env python3
"""Holds the product's folders to their floors: a file may include from its own folder and from
the floors below it, never from a higher floor or from another folder of its own floor. The
order is read from the README's "Floors, from the bottom up:" line, its one written place.
Prints every include that runs the wrong way; exits 1 when there is one."""

import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
FLOORS_LINE = re.compile(r"^Floors, from the bottom up: (.+)$", re.M)
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]+"', re.M)
SOURCES = ("*.h", "*.cpp", "*.c", "*.rc")


def read_floors(readme):
    """{folder: floor number} from the README line; folders of one floor are separated by blanks,
    floors by commas."""
    found = FLOORS_LINE.search(readme)
    if not found:
        raise SystemExit("README.md: no 'Floors, from the bottom up:' line")
    floors = {}
    for number, floor in enumerate(found.group(1).split(",")):
        for folder in re.findall(r"`([^`]+)`", floor):
            floors[folder] = number
    return floors


def wrong_way(floors, root=ROOT):
    """(file, line, included folder, why) for every include that breaks the order."""
    found = []
    for folder, floor in floors.items():
        for pattern in SOURCES:
            for path in sorted((root / folder).rglob(pattern)):
                text = path.read_text(errors="replace")
                for match in INCLUDE.finditer(text):
                    target = match.group(1)
                    if target == folder or target not in floors:
                        continue
                    line = text.count("\n", 0, match.start()) + 1
                    where = "%s:%d" % (path.relative_to(root), line)
                    if floors[target] > floor:
                        found.append((where, target, "a higher floor"))
                    elif floors[target] == floor:
                        found.append((where, target, "another folder of its own floor"))
    return found


def main():
    floors = read_floors((ROOT / "README.md").read_text())
    missing = [f for f in floors if not (ROOT / f).is_dir()]
    if missing:
        print("floors name folders that do not exist: %s" % ", ".join(missing))
        return 1
    problems = wrong_way(floors)
    for where, target, why in problems:
        print("%s includes from %s/, %s" % (where, target, why))
    print("%d includes against the floors (%s)" %
          (len(problems), " < ".join(sorted(floors, key=lambda f: (floors[f], f)))))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
