#!/usr/bin/env bash
# Builds every configuration and runs the whole suite: native, under
# ASan+UBSan, under TSan, the Windows build under Wine, the README's commands
# and the benchmark (tiny files) on the release build, and the packages built
# from the release and 32-bit Windows builds and checked. Fails on any
# failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" linux asan tsan win64 win32 release

run_ctest() {  # run_ctest CONFIG [ctest args...]
    local config=$1; shift
    echo "== testing $config"
    (cd "$root/build/$config" && ctest --output-on-failure "$@")
}

run_ctest linux -j "$(nproc)"
echo "== the README's commands"
bash "$root/tests/e2e/readme-commands.sh" "$root"
echo "== the packages"
bash "$root/scripts/package.sh"
echo "== the benchmark, once on tiny files"
bash "$root/bench/run.sh" --tiny
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 run_ctest asan -j "$(nproc)"
# A ThreadSanitizer report makes the program exit with 66, which ctest counts as failed.
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 run_ctest tsan

# Windows: one prefix for the whole run, a persistent server with its streams
# redirected (a server holding ctest's pipe can hang the run), killed at the end.
export QUORVEL_BUILD_ROOT="$root/build"
. "$root/scripts/wine-env"
"$QUORVEL_WINESERVER" -k >/dev/null 2>&1 || true  # a server left from an earlier run
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$QUORVEL_WINE" wineboot -i </dev/null >/dev/null 2>&1
    "$QUORVEL_WINESERVER" -w
fi
"$QUORVEL_WINESERVER" -p </dev/null >/dev/null 2>&1
trap '"$QUORVEL_WINESERVER" -k >/dev/null 2>&1 || true' EXIT
"$QUORVEL_WINE" wineboot </dev/null >/dev/null 2>&1
run_ctest win64

# Every fuzz target for a bounded time on its seed corpus (QUORVEL_FUZZ_SECONDS
# each, 30 by default: under 4 minutes for the seven targets); any crash, leak,
# sanitizer report or broken property fails the run.
echo "== fuzzing"
bash "$root/scripts/fuzz.sh" "${QUORVEL_FUZZ_SECONDS:-30}"
echo "== all suites passed"
