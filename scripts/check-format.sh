#!/usr/bin/env bash
# Fails when a C++ file of the tree differs from what clang-format (Debian's,
# with the tree's .clang-format) makes of it; `--fix` rewrites them instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
    clang-format -i --style=file "${files[@]}"
else
    clang-format --dry-run --Werror --style=file "${files[@]}"
fi
