#!/usr/bin/env bash
# The soak run, in one command: builds the release tree and runs the stress
# test's many-table workload against the built library for SECONDS (4 threads
# unless THREADS is given), printing operations per second and resident
# memory at intervals; exits non-zero on a failed check, an object left
# alive or memory that grew.
#   bash bench/soak.sh SECONDS [THREADS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 1 ] || { echo "usage: bench/soak.sh SECONDS [THREADS]" >&2; exit 2; }
bash "$root/scripts/build.sh" release >/dev/null
exec "$root/build/release/bench/quorvel_soak" "$@"
