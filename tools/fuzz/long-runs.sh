#!/usr/bin/env bash
# The developer's long fuzz runs: every target of the fuzz build in turn (one at a time, at the
# lowest priority), each until it has run RUNS inputs or MINUTES have passed, from a scratch
# corpus seeded with the committed one. Prints one summary line per target from libFuzzer's
# final figures; a finding stops the script with the target's log kept.
#
#   cmake --preset fuzz && cmake --build --preset fuzz -j 2
#   tools/fuzz/long-runs.sh [target...]        (RUNS=10000000 MINUTES=30 by default)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build/fuzz
runs=${RUNS:-10000000}
seconds=$(( ${MINUTES:-30} * 60 ))

# target binary, committed seeds
declare -A seeds=(
    [profile_reader_fuzz]=tests/profiles/corpus
    [envelope_fuzz]=tests/direct/corpus/envelope
    [hand_ints_fuzz]=tests/direct/corpus/hand_ints
    [reply_parser_fuzz]=tests/direct/corpus/reply
    [command_line_fuzz]=tests/app/corpus
    [line_blocks_fuzz]=tests/telephony/corpus
    [trace_text_fuzz]=tests/telephony/trace-corpus
    [image_fixups_fuzz]=tests/serial/image-corpus
)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(command_line_fuzz trace_text_fuzz line_blocks_fuzz
    profile_reader_fuzz reply_parser_fuzz envelope_fuzz hand_ints_fuzz image_fixups_fuzz)

printf '%-22s %12s %8s %8s %10s %8s\n' target executions cov ft corpus seconds
for name in "${targets[@]}"; do
    binary=$(find "$build" -name "$name" -type f -perm -u+x | head -1)
    [ -n "$binary" ] || { echo "$name: not built in $build" >&2; exit 1; }
    work=$build/long-runs/$name
    mkdir -p "$work/corpus"
    log=$work/log.txt
    start=$SECONDS
    nice -n 19 "$binary" -runs="$runs" -max_total_time="$seconds" -max_len=4096 \
        -rss_limit_mb=1024 -print_final_stats=1 -artifact_prefix="$work/" \
        "$work/corpus" "${seeds[$name]}" >"$log" 2>&1 || {
        echo "$name: FINDING, see $log" >&2
        exit 1
    }
    executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    last=$(grep -E '^#[0-9]+' "$log" | tail -1)
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
    corpus=$(ls "$work/corpus" | wc -l)
    printf '%-22s %12s %8s %8s %10s %8s\n' "$name" "$executed" "$cov" "$ft" "$corpus" \
        $((SECONDS - start))
done
