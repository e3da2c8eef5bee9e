#!/usr/bin/env bash
# Shows the program's main job: builds Farlink.exe, wires COM1 of a Wine prefix to the simulated
# station and runs a direct-cable dial: on $DISPLAY for an operator, or unattended without one.
# With --modem the dial is a modem call through the test telephony provider to the same station.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup-debian.sh

# Some hosts cannot execute 32-bit programs, and so cannot run the i686 build under Wine.
preset=win32
if ! python3 -c 'import sys; sys.path.insert(0, "tests/wine"); import farlink_wine as w; sys.exit(0 if w.host_runs_32bit() else 1)'; then
    preset=win64
fi
echo "Building the $preset configuration..."
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j 2 --target Farlink ui_driver ptyshim tapi_provider >/dev/null
exec python3 tools/station/demo.py --build-dir "build/$preset" "$@"
