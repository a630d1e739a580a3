#!/usr/bin/env bash
# Builds every configuration and runs the whole suite: native, under
# ASan+UBSan, under TSan, the 64-bit and 32-bit Windows builds under Wine, the
# README's commands and the benchmark (tiny files) on the release build, and
# the packages built from the release and Windows builds and checked. Fails on
# any failure. Where the kernel hands 32-bit programs to an emulator of the
# processor (scripts/setup.sh sets that up on a kernel that refuses them), the
# 32-bit suite runs whole under it and the output says so. On a machine that
# cannot start 32-bit programs at all it says so, runs the rest and never
# counts the 32-bit suite as passed; with QUORVEL_REQUIRE_WIN32=1 that fails
# the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
echo "== the tree's formatting"
bash "$root/scripts/check-format.sh"
"$root/scripts/build.sh" linux asan tsan win64 win32 release win64-release

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
problem=$(quorvel_wine32_problem)
if [ -z "$problem" ]; then
    # A prefix made before 32-bit Wine was installed lacks its 32-bit half.
    [ -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ] ||
        "$QUORVEL_WINE" wineboot -u </dev/null >/dev/null 2>&1
    emulator=$(quorvel_wine32_emulator)
    [ -z "$emulator" ] || echo "== the 32-bit suite runs under CPU emulation ($emulator): this kernel starts no 32-bit program itself"
    run_ctest win32
else
    echo "== testing win32: NOT RUN: $problem" >&2
    [ "${QUORVEL_REQUIRE_WIN32:-0}" = 1 ] && exit 1
fi

# Every fuzz target for a bounded time on its seed corpus (QUORVEL_FUZZ_SECONDS
# each, 30 by default: under 4 minutes for the seven targets); any crash, leak,
# sanitizer report or broken property fails the run.
echo "== fuzzing"
bash "$root/scripts/fuzz.sh" "${QUORVEL_FUZZ_SECONDS:-30}"
if [ -z "$problem" ]; then
    echo "== all suites passed"
else
    echo "== every suite that ran passed; the 32-bit Windows suite did NOT run: $problem" >&2
fi
