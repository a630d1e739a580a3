#!/usr/bin/env bash
# The installed tree as a client sees it: installs the build into a temporary
# prefix and checks what lands there, builds examples/client against it with
# find_package(Quorvel), runs it on a copy of examples/plant.txt and checks the
# events it prints and the saved file; then the installed host registers the
# installed library without being told where it is.
# Usage: install-client.sh SOURCE_DIR BUILD_DIR CXX_COMPILER GENERATOR
set -u
source=$1 build=$2 cxx=$3 generator=$4
work=$(mktemp -d /tmp/qv_install.XXXXXX)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/checks.sh"

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/log" 2>&1 || cat "$work/log" >&2
check "installed files" "bin/quorvel
include/quorvel/common/Guids.h
include/quorvel/common/TableSave.h
include/quorvel/platform/Interfaces.h
include/quorvel/platform/Sdk.h
include/quorvel/platform/winapi/ComBase.h
include/quorvel/platform/winapi/DataBinding.h
include/quorvel/platform/winapi/Kernel.h
include/quorvel/platform/winapi/Module.h
include/quorvel/platform/winapi/OleAuto.h
lib/cmake/Quorvel/QuorvelConfig.cmake
lib/cmake/Quorvel/QuorvelTargets-CONFIG.cmake
lib/cmake/Quorvel/QuorvelTargets.cmake
lib/libquorvel_client.a
lib/quorvel/Quorvel.so
lib/quorvel/second/Quorvel.so
share/doc/quorvel/README.md" \
    "$(cd "$prefix" && find . -type f | sed 's|^\./||; s|Targets-.*\.cmake|Targets-CONFIG.cmake|' |
        grep -v '^share/doc/quorvel/[^R]' | LC_ALL=C sort)"

cmake -S "$source/examples/client" -B "$work/client" -G "$generator" -DCMAKE_CXX_COMPILER="$cxx" \
    -DCMAKE_PREFIX_PATH="$prefix" >"$work/log" 2>&1 && cmake --build "$work/client" >>"$work/log" 2>&1
check "client: configured and built against the installed package" 0 $? || cat "$work/log" >&2

cp "$source/examples/plant.txt" "$work/plant.txt"
check "client: opens the table, edits a cell and hears of it" "$example_client_output" "$("$work/client/client" "$work/plant.txt|delim=;" 2>&1)"
check "client: the table was saved" '"Fern";"Polypodiopsida";"shade";"12"
"Rose";"Rosa";"sun";"40"
"Basil";"Ocimum basilicum";"sun";"5"
"Moss";"Bryophyta";"shade";"1"' "$(tr -d '\r' <"$work/plant.txt")"

export QUORVEL_REGISTRY=$work/classes.reg
"$prefix/bin/quorvel" register
check "installed host: registers the installed library" 1 \
    "$(grep -c "^@=\"$prefix/lib/quorvel/Quorvel.so\"" "$QUORVEL_REGISTRY")"
check "installed host: shows the table" '["Moss","Bryophyta","shade","1"]' \
    "$("$prefix/bin/quorvel" show "$work/plant.txt|delim=;" --json | tail -n 1)"

[ $failures = 0 ] && echo "all install checks passed" || echo "$failures install check(s) failed" >&2
[ $failures = 0 ]
