#!/usr/bin/env bash
# Builds one commit twice and compares the results byte for byte: two fresh clones in folders
# of different names and depths, built one after the other (so at different times, the second
# also in another time zone), each giving both Windows builds and their unsigned packages.
#
#     tools/check-reproducible.sh [COMMIT]      (default: HEAD; uncommitted changes are not built)
#
# Prints one line per compared file and ends with exit status 0 when every file is identical.
# FARLINK_REPRO_DIR chooses the scratch folder (default: a new one under /tmp); it is kept.
set -euo pipefail
source_repo=$(cd "$(dirname "$0")/.." && pwd)
commit=$(git -C "$source_repo" rev-parse "${1:-HEAD}")
work=${FARLINK_REPRO_DIR:-$(mktemp -d /tmp/farlink-repro.XXXXXX)}
first=$work/a
second=$work/second/clone/of-farlink
unset FARLINK_SIGN_CERT FARLINK_SIGN_KEY FARLINK_SIGN_TIMESTAMP_URL SOURCE_DATE_EPOCH

build() {
    local clone=$1
    rm -rf "$clone"
    mkdir -p "$(dirname "$clone")"
    git clone -q --no-hardlinks "$source_repo" "$clone"
    git -C "$clone" checkout -q --detach "$commit"
    for preset in win32 win64; do
        (cd "$clone" && cmake --preset "$preset" -DFARLINK_WERROR=ON >/dev/null &&
            cmake --build --preset "$preset" -j 2 --target Farlink >/dev/null)
    done
    (cd "$clone" && python3 tools/package/make_packages.py --out dist build/win32 build/win64 \
        >/dev/null 2>&1)
}

echo "commit $commit, in $work"
build "$first"
sleep 2
TZ=Pacific/Chatham build "$second"

files=()
for preset in win32 win64; do
    files+=("build/$preset/Farlink.exe" "build/$preset/Farlink.exe.debug"
            "build/$preset/de/Farlink-EXE-mui.dll")
done
while IFS= read -r package; do
    files+=("dist/$package")
done < <(cd "$first/dist" && ls Farlink-*.msi Farlink-*.zip SHA256SUMS)

different=0
for file in "${files[@]}"; do
    if cmp -s "$first/$file" "$second/$file"; then
        echo "identical  $file  $(sha256sum < "$first/$file" | cut -c1-16)"
    else
        echo "DIFFERENT  $file  ($(cmp -l "$first/$file" "$second/$file" 2>/dev/null | wc -l) bytes)"
        different=1
    fi
done
exit $different
