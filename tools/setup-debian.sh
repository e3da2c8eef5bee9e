#!/usr/bin/env bash
# Installs what building and testing Farlink needs on Debian 12, and nothing
# that is already there. Safe to run again; the first run takes a few minutes.
set -euo pipefail

packages=(
    cmake ninja-build curl g++ gcc-multilib clang libclang-rt-14-dev googletest python3
    g++-mingw-w64-i686 g++-mingw-w64-x86-64
    wine wine64 wine32:i386 fonts-wine xvfb xauth socat imagemagick x11-utils
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
# A mirror in mid-sync fails an index now and then; try again, and go on with what did arrive.
for attempt in 1 2 3; do
    $sudo apt-get update -qq && break
    echo "apt-get update failed (attempt $attempt of 3)" >&2
    [ "$attempt" -lt 3 ] && sleep 20
done
# Wine's 32-bit part comes last and alone: when the i386 indexes lag behind the amd64 ones its
# dependencies cannot be met, and everything else is still worth having.
rest=() wine32=()
for p in "${missing[@]}"; do
    if [ "$p" = wine32:i386 ]; then wine32=("$p"); else rest+=("$p"); fi
done
[ ${#rest[@]} -eq 0 ] || DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${rest[@]}" >/dev/null
if [ ${#wine32[@]} -gt 0 ] &&
    ! DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${wine32[@]}" >/dev/null &&
    ! "$(dirname "$0")/setup-wine32.sh"; then
    echo "setup: wine32:i386 could not be installed; the i686 Wine tests will be skipped" >&2
fi
