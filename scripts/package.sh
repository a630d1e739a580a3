#!/usr/bin/env bash
# Builds the packages into build/packages: the Linux .deb (cpack -G DEB) from
# the release build, and the Windows .zip (cpack -G ZIP) from the 32-bit
# Windows build, building or bringing those up to date first; then checks
# each as a user would meet it (tests/e2e/package-deb.sh, package-zip.sh).
# Usage: scripts/package.sh [--no-check]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/packages
"$root/scripts/build.sh" release win32
rm -rf "$out"
mkdir -p "$out"
for config in release win32; do
    echo "== packaging $config"
    (cd "$root/build/$config" && cpack -B "$out" >"$out/cpack-$config.log" 2>&1) || {
        cat "$out/cpack-$config.log" >&2
        exit 1
    }
done
rm -rf "$out/_CPack_Packages"
deb=$(ls "$out"/quorvel_*.deb)
zip=$(ls "$out"/quorvel-*-win32.zip)
echo "$deb"
echo "$zip"
[ "${1:-}" = --no-check ] && exit 0
echo "== checking the packages"
cxx=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$root/build/release/CMakeCache.txt")
bash "$root/tests/e2e/package-deb.sh" "$deb" "$root" "${cxx:-c++}"
bash "$root/tests/e2e/package-zip.sh" "$zip"
