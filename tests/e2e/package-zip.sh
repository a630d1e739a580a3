#!/usr/bin/env bash
# The Windows package as a user unpacks it: its files, the 32-bit DLLs'
# exports and imports and the host's, and the example client compiled with
# the command of README-Windows.txt from the package's own headers.
# Usage: package-zip.sh quorvel-VERSION-win32.zip
set -u
zip=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/qv_zip.XXXXXX)
trap 'rm -rf "$work"' EXIT
. "$here/checks.sh"
. "$here/pe-check.sh"

top=$(basename "$zip" .zip)
check "zip: files" "$top/Quorvel.dll
$top/README-Windows.txt
$top/docs/README.md
$top/example/ComExample.cpp
$top/include/quorvel/common/Guids.cpp
$top/include/quorvel/common/Guids.h
$top/include/quorvel/common/TableSave.h
$top/include/quorvel/platform/Interfaces.h
$top/include/quorvel/platform/windows/WindowsSdk.h
$top/quorvel.exe
$top/second/Quorvel.dll" \
    "$(cmake -E tar tf "$zip" | grep -v '/$' | grep -v '^[^/]*/docs/[^R]' | LC_ALL=C sort)"
(cd "$work" && cmake -E tar xf "$zip")
dir=$work/$top
check "zip: every page of the guide" "$(ls "$here/../../docs" | LC_ALL=C sort)" "$(ls "$dir/docs" | LC_ALL=C sort)"

entries='DllCanUnloadNow DllGetClassObject DllMain DllRegisterServer DllUnregisterServer'
pe_check "Quorvel.dll" "$dir/Quorvel.dll" pei-i386 "$entries"
pe_check "second/Quorvel.dll" "$dir/second/Quorvel.dll" pei-i386 "$entries"
pe_check "quorvel.exe" "$dir/quorvel.exe" pei-i386 ""

# README-Windows.txt's command, which the guide gives too, with the cross
# compiler's name and / for \.
readme_command=$(grep -m1 'i686-w64-mingw32-g++ ' "$dir/README-Windows.txt" | sed 's/^ *//')
check "zip: README-Windows.txt and the guide build the example alike" "$readme_command" \
    "$(grep -m1 'i686-w64-mingw32-g++ ' "$dir/docs/windows-client.md")"
command=$(sed 's|\\|/|g' <<<"$readme_command")
(cd "$dir" && eval "${command/i686-w64-mingw32-g++/i686-w64-mingw32-g++-posix}") >"$work/log" 2>&1
rc=$?
check "zip: the example compiles from the package's headers" 0 $rc
[ $rc = 0 ] || cat "$work/log" >&2
pe_check "ComExample.exe" "$dir/ComExample.exe" pei-i386 ""

[ $failures = 0 ] && echo "all Windows package checks passed" || echo "$failures Windows package check(s) failed" >&2
[ $failures = 0 ]
