#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every test:
# native unit tests under ASan/UBSan and TSan, short fuzz runs, then the
# Windows builds with their Wine tests (the real Farlink.exe, driven from
# outside). Prints the time each stage took.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup-debian.sh

stage() {
    local name=$1; shift
    local start=$SECONDS
    echo "=== $name"
    "$@"
    echo "=== $name: $((SECONDS - start)) s"
}

configure_build() {
    cmake --preset "$1" -DFARLINK_WERROR=ON >/dev/null
    cmake --build --preset "$1" -j 2
}

# Two at a time: every Wine test has its own prefix, display and ptys, and most
# of a Wine test's time is spent waiting on the program, not computing.
run_tests() {
    ctest --preset "$1" -j 2 --output-on-failure
}

stage "native build" configure_build native
stage "native tests" run_tests native
stage "tsan build" configure_build native-tsan
stage "tsan tests" run_tests native-tsan
stage "fuzz build" configure_build fuzz
stage "fuzz runs" run_tests fuzz
stage "win32 build" configure_build win32
# Some kernels cannot start 32-bit programs, Wine's 32-bit loader included: there the i686 exe
# is only read, not run (its export table, imports and load address).
if why=$(/usr/lib/wine/wine --version 2>&1 >/dev/null); then
    stage "win32 tests" run_tests win32
else
    if [ -e /usr/lib/wine/wine ]; then
        reason="this host cannot start 32-bit programs (${why##*: })"
    else
        reason="Wine's 32-bit part (wine32:i386) is not installed"
    fi
    echo "=== i686 Wine tests skipped: $reason; checking the i686 export table and imports statically"
    stage "win32 static checks" ctest --preset win32 -L static
fi
stage "win64 build" configure_build win64
stage "win64 tests" run_tests win64
