#!/usr/bin/env bash
# Builds the packages into build/packages: the Linux .deb (cpack -G DEB) from
# the release build, and the Windows .zips (cpack -G ZIP), one from the 32-bit
# Windows build and one from the optimised 64-bit one, building or bringing
# those up to date first; then checks each as a user would meet it
# (tests/e2e/package-deb.sh, package-zip.sh).
# Usage: scripts/package.sh [--no-check]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/packages
"$root/scripts/build.sh" release win32 win64-release
rm -rf "$out"
mkdir -p "$out"
for config in release win32 win64-release; do
    echo "== packaging $config"
    (cd "$root/build/$config" && cpack -B "$out" >"$out/cpack-$config.log" 2>&1) || {
        cat "$out/cpack-$config.log" >&2
        exit 1
    }
done
rm -rf "$out/_CPack_Packages"
deb=$(ls "$out"/quorvel_*.deb)
zip32=$(ls "$out"/quorvel-*-win32.zip)
zip64=$(ls "$out"/quorvel-*-win64.zip)
echo "$deb"
echo "$zip32"
echo "$zip64"
[ "${1:-}" = --no-check ] && exit 0
echo "== checking the packages"
cxx=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$root/build/release/CMakeCache.txt")
bash "$root/tests/e2e/package-deb.sh" "$deb" "$root" "${cxx:-c++}"
bash "$root/tests/e2e/package-zip.sh" "$zip32"
bash "$root/tests/e2e/package-zip.sh" "$zip64"
