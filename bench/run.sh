#!/usr/bin/env bash
# The benchmark, in one command: Quorvel against a libcsv loader, Python's csv
# module and the floor, on generated files, from the release build.
#   bash bench/run.sh [--tiny] [--scale] [--runs N] [--only narrow,wide,small,wide-last]
# --tiny runs every case once on files a thousandth of the size (CI runs it so
# that the benchmark keeps working); --scale adds 100k/1M/5M-line files.
# Prints a table of medians and writes build/bench-work/results.json.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if ! dpkg-query -W -f='${Status}' libcsv-dev 2>/dev/null | grep -q 'install ok installed'; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends libcsv-dev >/dev/null
fi
bash "$root/scripts/build.sh" release >/dev/null
exec python3 "$root/bench/run.py" "$root/build/release" "$root/build/bench-work" "$@"
