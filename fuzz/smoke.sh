#!/bin/bash
# fuzz/smoke.sh RUNS [JOBS]: runs every fuzz target on its seeds and then for
# a fixed number of executions in all (RUNS, seeds included), JOBS at a time
# (default 2), each from a fresh corpus. Exit status 1 when any target finds
# a crash, a leak, a timeout or an excess of memory; its report is printed.
. "$(dirname "$0")/common.sh"

runs=${1:?usage: fuzz/smoke.sh RUNS [JOBS]}
jobs=${2:-2}
targets=$(fuzz_targets)
[ -n "$targets" ] || { echo "no fuzz targets in $FUZZ_BUILD (build with -DVELK_FUZZ=ON)"; exit 2; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# Failing inputs outlive the run, for a regression test.
artifacts=$FUZZ_ROOT/fuzz/findings/smoke
mkdir -p "$artifacts"

smoke_target() {
    target=$1
    folder=$scratch/$target
    mkdir -p "$folder/corpus" "$folder/work"
    collect_seeds "$target" "$folder/seeds"
    start=$(date +%s)
    if (cd "$folder/work" && "$FUZZ_BUILD/$target" $(fuzz_options "$target") -seed=1 -runs="$runs" \
        -artifact_prefix="$artifacts/$target-" "$folder/corpus" "$folder/seeds" >"$folder/log.txt" 2>&1); then
        echo "$target: $runs executions, $(( $(date +%s) - start )) s, nothing found"
    else
        echo "$target: FAILED"
        grep -v '^#' "$folder/log.txt" | tail -60
        return 1
    fi
}

failed=0
pids=()
for target in $targets; do
    smoke_target "$target" &
    pids+=($!)
    if [ "${#pids[@]}" -ge "$jobs" ]; then
        wait "${pids[0]}" || failed=1
        pids=("${pids[@]:1}")
    fi
done
for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
exit $failed
