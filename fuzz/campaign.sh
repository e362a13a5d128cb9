#!/bin/bash
# fuzz/campaign.sh SECONDS [JOBS]: runs every fuzz target for SECONDS, JOBS
# of them at a time (default 2), at the lowest priority. Each target keeps
# its growing corpus and its findings (crash-, leak-, timeout-, oom- files)
# in fuzz/findings/<target>/; the table at the end gives the executions and
# findings of each target. Exit status 1 when anything was found.
set -e
. "$(dirname "$0")/common.sh"

seconds=${1:?usage: fuzz/campaign.sh SECONDS [JOBS]}
jobs=${2:-2}
findings=$FUZZ_ROOT/fuzz/findings
targets=$(fuzz_targets)
[ -n "$targets" ] || { echo "no fuzz targets in $FUZZ_BUILD (build with -DVELK_FUZZ=ON)"; exit 2; }

run_target() {
    target=$1
    folder=$findings/$target
    mkdir -p "$folder/corpus" "$folder/artifacts" "$folder/work"
    rm -rf "$folder/seeds"
    collect_seeds "$target" "$folder/seeds"
    # Fork mode goes on past a finding, so one fault does not end the campaign
    # of its target; files the inputs name are looked for in the work folder.
    (cd "$folder/work" && nice -n 19 "$FUZZ_BUILD/$target" $(fuzz_options "$target") \
        -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
        -max_total_time="$seconds" -artifact_prefix="$folder/artifacts/" \
        "$folder/corpus" "$folder/seeds" >"$folder/log.txt" 2>&1) || true
}

running=0
for target in $targets; do
    run_target "$target" &
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then
        wait -n 2>/dev/null || wait
        running=$((running - 1))
    fi
done
wait

found=0
printf '%-16s %12s %9s\n' target executions findings
for target in $targets; do
    folder=$findings/$target
    # The last status line ("#N ...") holds the count of executions.
    executions=$(grep -oE '^#[0-9]+' "$folder/log.txt" | tail -1 | tr -d '#')
    count=$(find "$folder/artifacts" -type f | wc -l)
    found=$((found + count))
    printf '%-16s %12s %9s\n' "$target" "${executions:-0}" "$count"
done
[ "$found" -eq 0 ]
