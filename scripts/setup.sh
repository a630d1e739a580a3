#!/usr/bin/env bash
# Installs what building and testing Quorvel needs on a fresh Debian 12 machine
# (run as root): the native and mingw-w64 tool chains, GoogleTest's sources,
# nlohmann-json for the host's JSON, Wine (64-bit, and 32-bit for the i686
# suite) for the Windows suites and clang with libFuzzer for the fuzz targets,
# locale sources for the locale-name tests, and libcsv for the benchmark's peer
# loader. Where the kernel starts no 32-bit program, it has qemu emulate the
# i386 processor for them. Running it again changes nothing.
set -euo pipefail
packages=(build-essential cmake ninja-build googletest g++-mingw-w64-i686-posix
          g++-mingw-w64-x86-64-posix wine wine64 wine32:i386 nlohmann-json3-dev python3
          clang clang-format libclang-rt-14-dev locales libcsv-dev)
export DEBIAN_FRONTEND=noninteractive
. /etc/os-release
codename=${VERSION_CODENAME:-bookworm}

# apt_install PACKAGE...: installs the packages, refreshing the indexes first.
apt_install() {
    # A mirror part-way through a sync serves an index that does not match its
    # signed Release file; apt refuses it and keeps the copy it had, if any.
    # What the install below can do without (on this mirror, the security
    # suite's i386 index) must not stop it, and what it cannot do without makes
    # it fail there.
    apt-get update -q || echo "setup.sh: some package indexes could not be fetched (listed above);" \
        "installing from those that could" >&2
    local apt=(apt-get install -y -q --no-install-recommends) prefs
    "${apt[@]}" "$@" && return
    # 32-bit and 64-bit copies of one library must be of one version. When the
    # security suite's i386 index is missing, an amd64 library installed from
    # that suite has no i386 twin apt can verify; preferring the release's own
    # suite for this install moves such libraries to the release's version,
    # whose twin its verified index lists. Every package is still checked
    # against a signed index.
    prefs=$(mktemp)
    printf 'Package: *\nPin: release n=%s\nPin-Priority: 1001\n' "$codename" >"$prefs"
    echo "setup.sh: retrying with $codename's own versions preferred" >&2
    "${apt[@]}" --allow-downgrades -o Dir::Etc::Preferences="$prefs" "$@" || { rm -f "$prefs"; return 1; }
    rm -f "$prefs"
}

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    # 32-bit Wine's libraries come from the i386 architecture.
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    apt_install "${missing[@]}"
fi

# Some virtual machines run the kernel without the processor's 32-bit mode: it
# refuses every 32-bit program, 32-bit Wine among them. binfmt_misc then hands
# each one (Wine, what Wine starts, the 32-bit test programs) to qemu's
# user-mode i386 emulator. The release's own qemu (7.2) took two minutes to
# start one Windows program, nearly all of it in its own bookkeeping of the
# memory Wine reserves; backports' (10.0) starts one in about a second. The
# registration lasts until the machine restarts, so every run checks it.
wine32=/usr/lib/wine/wine
binfmt=/proc/sys/fs/binfmt_misc
if ! "$wine32" --version >/dev/null 2>&1; then
    qemu_version=$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null || true)
    if ! dpkg --compare-versions "${qemu_version:-0}" ge 1:10; then
        sources=/etc/apt/sources.list.d/$codename-backports.sources
        if [ -z "$(apt-get indextargets "Release: $codename-backports")" ]; then
            # From the mirror that already serves the release.
            site=$(apt-get indextargets --format '$(SITE)' "Release: $codename" | sed -n 1p)
            printf 'Types: deb\nURIs: %s\nSuites: %s-backports\nComponents: main\nSigned-By: %s\n' \
                "$site" "$codename" /usr/share/keyrings/debian-archive-keyring.gpg >"$sources"
        fi
        # Without it, only the 32-bit suite is lost, and test-all.sh names it
        # as not run: setup goes on, as where binfmt_misc cannot be had (a
        # container without the right).
        apt_install "qemu-user/$codename-backports" || true
    fi
    if mountpoint -q "$binfmt" || mount -t binfmt_misc binfmt_misc "$binfmt"; then
        # An earlier registration that no longer starts Wine gives way to this one.
        [ ! -e "$binfmt/qemu-i386" ] || echo -1 >"$binfmt/qemu-i386" || true
        # i386 ELF executables and shared objects; F: the kernel opens the
        # emulator now, so it is found from any mount namespace; P: the
        # program keeps its argv[0]; O: it may be unreadable.
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00' \
            ':\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff' \
            ':/usr/bin/qemu-i386:FPO' >"$binfmt/register" || true
    fi
    "$wine32" --version >/dev/null 2>&1 || echo "setup.sh: 32-bit Wine does not start even under qemu's" \
        "i386 emulation; the 32-bit Windows suite will not run" >&2
fi
