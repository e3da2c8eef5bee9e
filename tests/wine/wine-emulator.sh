#!/usr/bin/env bash
# ctest's cross-compiling emulator: runs one Windows test program under Wine in a
# private prefix under the build folder (own Xvfb, WINEDEBUG=-all) and passes
# its exit code on. Exit 77 means this host cannot run the program (a skip).
exec python3 "$(dirname "$(readlink -f "$0")")/farlink_wine.py" run "$@"
