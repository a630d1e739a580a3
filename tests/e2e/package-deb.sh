#!/usr/bin/env bash
# The Linux package as a user installs it, unpacked into a fresh root rather
# than over the system: its control data (no maintainer scripts), its files;
# then its host registers its library in a registry file of a fresh home and
# opens, edits and saves a table through it, with each build; the example
# client is built against its CMake package and run; and the guide's examples
# run with its host and libraries.
# Usage: package-deb.sh quorvel_VERSION_ARCH.deb SOURCE_DIR CXX_COMPILER
set -u
deb=$1 source=$2 cxx=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/qv_deb.XXXXXX)
trap 'rm -rf "$work"' EXIT
. "$here/checks.sh"

check "deb: package" "quorvel $(dpkg --print-architecture)" \
    "$(dpkg-deb -f "$deb" Package) $(dpkg-deb -f "$deb" Architecture)"
dpkg-deb -e "$deb" "$work/control"
check "deb: no maintainer scripts" "" "$(ls "$work/control" | grep -v -e '^control$' -e '^md5sums$')"
check "deb: files" "./usr/bin/quorvel
./usr/include/quorvel/common/Guids.h
./usr/include/quorvel/common/TableSave.h
./usr/include/quorvel/platform/Interfaces.h
./usr/include/quorvel/platform/Sdk.h
./usr/include/quorvel/platform/winapi/ComBase.h
./usr/include/quorvel/platform/winapi/DataBinding.h
./usr/include/quorvel/platform/winapi/Kernel.h
./usr/include/quorvel/platform/winapi/Module.h
./usr/include/quorvel/platform/winapi/OleAuto.h
./usr/lib/cmake/Quorvel/QuorvelConfig.cmake
./usr/lib/cmake/Quorvel/QuorvelTargets-CONFIG.cmake
./usr/lib/cmake/Quorvel/QuorvelTargets.cmake
./usr/lib/libquorvel_client.a
./usr/lib/quorvel/Quorvel.so
./usr/lib/quorvel/second/Quorvel.so
./usr/share/doc/quorvel/README.md" \
    "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | grep -v '^\./usr/share/doc/quorvel/[^R]' |
        sed 's|Targets-.*\.cmake|Targets-CONFIG.cmake|' | LC_ALL=C sort)"

root=$work/root
dpkg-deb -x "$deb" "$root"
usr=$root/usr
check "deb: every page of the guide" "$(ls "$source/docs" | LC_ALL=C sort)" \
    "$(ls "$usr/share/doc/quorvel" | LC_ALL=C sort)"

# A user of their own: the registry file goes to their home.
export HOME=$work/home
unset QUORVEL_REGISTRY XDG_DATA_HOME
mkdir -p "$HOME"
registry=$HOME/.local/share/quorvel/classes.reg
"$usr/bin/quorvel" register
check "deb: register writes the user's registry, naming the package's library" 1 \
    "$(grep -c "^@=\"$usr/lib/quorvel/Quorvel.so\"" "$registry" 2>/dev/null)"

cp "$source/examples/plant.txt" "$work/plant.txt"
check "deb: opens a table" '["Basil","Ocimum basilicum","sun","3"]' \
    "$("$usr/bin/quorvel" show "$work/plant.txt|delim=;" --json 2>&1 | sed -n 3p)"
check "deb: edits and saves it" 'ok
ok
"Basil";"Ocimum basilicum";"sun";"7"' \
    "$(printf 'set 3 4 7\nquit\n' | "$usr/bin/quorvel" shell "$work/plant.txt|delim=;" 2>&1; tr -d '\r' <"$work/plant.txt" | sed -n 3p)"
"$usr/bin/quorvel" register "$usr/lib/quorvel/second/Quorvel.so"
check "deb: the second build reads an empty delimiter value as no delimiter" '["Basil;Ocimum basilicum;sun;7"]' \
    "$("$usr/bin/quorvel" show "$work/plant.txt|delim=" --json 2>&1 | sed -n 3p)"
"$usr/bin/quorvel" unregister "$usr/lib/quorvel/second/Quorvel.so"
check "deb: unregister empties the registry" 0 "$(grep -c 'Quorvel.so' "$registry")"

cmake -S "$source/examples/client" -B "$work/client" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" \
    -DCMAKE_PREFIX_PATH="$usr" >"$work/log" 2>&1 && cmake --build "$work/client" >>"$work/log" 2>&1
rc=$?
check "deb: the example client builds against find_package(Quorvel)" 0 $rc
[ $rc = 0 ] || cat "$work/log" >&2
cp "$source/examples/plant.txt" "$work/plant.txt"
check "deb: the example client opens, edits and saves" "$example_client_output" "$("$work/client/client" "$work/plant.txt|delim=;" 2>&1)"

python3 "$here/docs-examples.py" "$source" "$usr/bin" "$usr/lib/quorvel" >"$work/log" 2>&1
rc=$?
check "deb: the guide's examples" "0 failed" "$(tail -n 1 "$work/log" | grep -o '[0-9]* failed')"
[ $rc = 0 ] || cat "$work/log" >&2

[ $failures = 0 ] && echo "all Linux package checks passed" || echo "$failures Linux package check(s) failed" >&2
[ $failures = 0 ]
