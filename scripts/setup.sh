#!/usr/bin/env bash
# Installs what building and testing Quorvel needs on a fresh Debian 12 machine
# (run as root): the native and mingw-w64 tool chains, GoogleTest's sources,
# nlohmann-json for the host's JSON, Wine (64-bit, and 32-bit for the i686
# suite) for the Windows suites and clang with libFuzzer for the fuzz targets,
# locale sources for the locale-name tests, and libcsv for the benchmark's peer
# loader.
set -euo pipefail
packages=(build-essential cmake ninja-build googletest g++-mingw-w64-i686-posix
          g++-mingw-w64-x86-64-posix wine wine64 wine32:i386 nlohmann-json3-dev python3
          clang clang-format libclang-rt-14-dev locales libcsv-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -gt 0 ] || exit 0
export DEBIAN_FRONTEND=noninteractive
# 32-bit Wine's libraries come from the i386 architecture.
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
# A mirror part-way through a sync serves an index that does not match its
# signed Release file; apt refuses it and keeps the copy it had, if any. What
# the install below can do without (on this mirror, the security suite's i386
# index) must not stop it, and what it cannot do without makes it fail there.
apt-get update -q || echo "setup.sh: some package indexes could not be fetched (listed above);" \
    "installing from those that could" >&2
install=(apt-get install -y -q --no-install-recommends)
if ! "${install[@]}" "${missing[@]}"; then
    # 32-bit and 64-bit copies of one library must be of one version. When the
    # security suite's i386 index is missing, an amd64 library installed from
    # that suite has no i386 twin apt can verify; preferring the release's own
    # suite for this install moves such libraries to the release's version,
    # whose twin its verified index lists. Every package is still checked
    # against a signed index.
    . /etc/os-release
    prefs=$(mktemp)
    trap 'rm -f "$prefs"' EXIT
    printf 'Package: *\nPin: release n=%s\nPin-Priority: 1001\n' "${VERSION_CODENAME:-bookworm}" >"$prefs"
    echo "setup.sh: retrying with ${VERSION_CODENAME:-bookworm}'s own versions preferred" >&2
    "${install[@]}" --allow-downgrades -o Dir::Etc::Preferences="$prefs" "${missing[@]}"
fi
