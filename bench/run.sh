#!/usr/bin/env bash
# The benchmark, in one command: Quorvel against a libcsv loader, Python's csv
# module and the floor, on generated files, from the release build.
#   bash bench/run.sh [--tiny] [--scale] [--runs N] [--only narrow,wide,small,wide-last]
# --tiny runs every case once on files a thousandth of the size (CI runs it so
# that the benchmark keeps working); --scale adds 100k/1M/5M-line files.
# Prints a table of medians and writes results.json in the work folder
# (/dev/shm/quorvel-bench-UID, else build/bench-work).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if ! dpkg-query -W -f='${Status}' libcsv-dev 2>/dev/null | grep -q 'install ok installed'; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends libcsv-dev >/dev/null
fi
bash "$root/scripts/build.sh" release >/dev/null
# The files go to memory where there is a memory file system: the disk is no part of what is measured.
work="$root/build/bench-work"
[ -d /dev/shm ] && work=/dev/shm/quorvel-bench-$(id -u)
exec python3 "$root/bench/run.py" "$root/build/release" "$work" "$@"
