#!/usr/bin/env bash
# Makes the Windows packages: installs what is missing, builds both Windows presets and writes
# dist/Farlink-<version>-x86.msi, -x64.msi, -x86.zip and -x64.zip, printing each path on its
# own line, and dist/SHA256SUMS over them. With FARLINK_SIGN_CERT and FARLINK_SIGN_KEY (PEM
# certificate and key) every exe, module and MSI is signed, time-stamped by the RFC 3161 server
# FARLINK_SIGN_TIMESTAMP_URL when that is set; without them one line says the packages are
# unsigned.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup-debian.sh >&2
for preset in win32 win64; do
    cmake --preset "$preset" -DFARLINK_WERROR=ON >/dev/null
    cmake --build --preset "$preset" -j 2 --target Farlink >&2
done
rm -f dist/Farlink-*.msi dist/Farlink-*.zip dist/SHA256SUMS
python3 tools/package/make_packages.py --out dist build/win32 build/win64
