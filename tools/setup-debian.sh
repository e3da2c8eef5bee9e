#!/usr/bin/env bash
# Installs what building and testing Farlink needs on Debian 12, and nothing
# that is already there. Safe to run again; the first run takes a few minutes.
set -euo pipefail

packages=(
    cmake ninja-build g++ gcc-multilib clang libclang-rt-14-dev googletest python3
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
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
