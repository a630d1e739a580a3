#!/usr/bin/env bash
# Configures and builds configurations under build/: native (Debug),
# ASan+UBSan, TSan, the x86_64 Windows test build, the i686 Windows build (the
# shipped one, optimised, with its tests), release: the optimised native build
# without tests that the demo, the README's commands and `cmake --install` use,
# and win64-release: the optimised x86_64 Windows build without tests that the
# 64-bit package is made from.
# Usage: scripts/build.sh [CONFIG...]   (default: all of linux asan tsan win64 win32)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
configs=("$@")
[ ${#configs[@]} -gt 0 ] || configs=(linux asan tsan win64 win32)
# A compiler cache, where the machine has one, makes rebuilds of other
# checkouts and configurations cheap.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
for config in "${configs[@]}"; do
    case "$config" in
        linux) args=(-DCMAKE_BUILD_TYPE=Debug) ;;
        release) args=(-DCMAKE_BUILD_TYPE=Release -DQUORVEL_TESTS=OFF) ;;
        asan) args=(-DCMAKE_BUILD_TYPE=Debug -DQUORVEL_SANITIZE=address) ;;
        tsan) args=(-DCMAKE_BUILD_TYPE=Debug -DQUORVEL_SANITIZE=thread) ;;
        win64) args=(-DCMAKE_BUILD_TYPE=Debug -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake") ;;
        win64-release) args=(-DCMAKE_BUILD_TYPE=Release -DQUORVEL_TESTS=OFF
                             -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake") ;;
        win32) args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake") ;;
        *) echo "build.sh: unknown configuration '$config'" >&2; exit 2 ;;
    esac
    echo "== building $config"
    cmake -S "$root" -B "$root/build/$config" -G Ninja -DQUORVEL_WERROR=ON "${launcher[@]}" "${args[@]}" >/dev/null
    cmake --build "$root/build/$config" -j "$(nproc)"
done
