#!/usr/bin/env bash
# Installs Wine's 32-bit part when the i386 package index lags behind the amd64 one.
#
# A mirror in mid-sync can serve an i386 index older than the amd64 one. Every library that
# both architectures share (Multi-Arch: same) must then be at one version in both, and apt
# cannot find the i386 twin of a newer amd64 library in the stale index. The twin is in the
# pool all the same, beside the amd64 file apt already knows: fetch those and install them
# together with wine32. Run only after a plain `apt-get install wine32:i386` failed.
set -euo pipefail

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The i386 libraries wine32 pulls in, by name.
apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
    --no-replaces --no-enhances wine32:i386 2>/dev/null |
    sed -n 's/^\([^ ].*\):i386$/\1/p' | sort -u >"$work/closure"

# Installed amd64 libraries of that set whose i386 candidate is at another version.
debs=()
while read -r pkg version; do
    grep -qxF "$pkg" "$work/closure" || continue
    candidate=$(apt-cache policy "$pkg:i386" 2>/dev/null | awk '/Candidate:/ {print $2}')
    [ "$candidate" = "$version" ] && continue
    uri=$(apt-get download --print-uris "$pkg:amd64=$version" 2>/dev/null | head -n 1 | cut -d"'" -f2)
    [ -n "$uri" ] || { echo "setup-wine32: no pool file known for $pkg $version" >&2; continue; }
    file="$work/${pkg}_i386.deb"
    if curl -sSf --retry 2 -o "$file" "${uri%_amd64.deb}_i386.deb"; then
        debs+=("$file")
    else
        echo "setup-wine32: the i386 twin of $pkg $version is not in the pool" >&2
    fi
done < <(dpkg-query -W -f='${Package} ${Version} ${Multi-Arch} ${Architecture}\n' |
    awk '$3 == "same" && $4 == "amd64" {print $1, $2}')

echo "setup-wine32: installing wine32 with ${#debs[@]} i386 libraries taken from the pool"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${debs[@]}" wine32:i386 >/dev/null
