#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ (clang, ASan+UBSan) and runs each for
# SECONDS (default 600) on its seed corpus, fuzz/corpus/<name>/, and on what
# earlier runs found, kept in build/fuzz/corpus/<target>/. Prints the
# executions of each target; fails when any target reports a crash, a leak, a
# sanitizer report, a broken property or an input that hangs, whose input is
# then in build/fuzz/artifacts/.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]   (targets as built: loader_fuzz ...)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
shift || true
build="$root/build/fuzz"
cmake -S "$root/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for path in "$build"/*_fuzz; do targets+=("$(basename "$path")"); done
fi
mkdir -p "$build/artifacts"
failed=()
for target in "${targets[@]}"; do
    # data_member_second_fuzz shares the seeds of data_member_fuzz.
    seeds="$root/fuzz/corpus/$(basename "$target" _fuzz | sed 's/_second$//')"
    found="$build/corpus/$target"
    mkdir -p "$found"
    [ -d "$seeds" ] || seeds=
    log="$build/$target.log"
    start=$SECONDS
    status=0
    "$build/$target" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$target-" "$found" ${seeds:+"$seeds"} >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    echo "fuzz $target: ${runs:-?} executions in $((SECONDS - start)) s, exit $status"
    if [ "$status" -ne 0 ]; then
        tail -n 40 "$log"
        failed+=("$target")
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz: failed: ${failed[*]} (inputs in $build/artifacts)" >&2
    exit 1
fi
