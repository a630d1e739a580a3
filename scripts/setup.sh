#!/usr/bin/env bash
# Installs what building and testing Quorvel needs on a fresh Debian 12 machine
# (run as root): the native and mingw-w64 tool chains, GoogleTest's sources,
# nlohmann-json for the host's JSON, 64-bit Wine for the Windows suite and
# clang with libFuzzer for the fuzz targets, locale sources for the
# locale-name tests, and libcsv for the benchmark's peer loader.
set -euo pipefail
packages=(build-essential cmake ninja-build googletest g++-mingw-w64-i686-posix
          g++-mingw-w64-x86-64-posix wine wine64 nlohmann-json3-dev python3
          clang libclang-rt-14-dev locales libcsv-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
