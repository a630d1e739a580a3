#!/usr/bin/env bash
# A Windows package as a user unpacks it: its files, the DLLs' exports and
# imports and the host's, all of the package's bitness, and the example client
# compiled with the command of README-Windows.txt for that bitness from the
# package's own headers.
# Usage: package-zip.sh quorvel-VERSION-win32.zip|quorvel-VERSION-win64.zip
set -u
zip=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/qv_zip.XXXXXX)
trap 'rm -rf "$work"' EXIT
. "$here/checks.sh"
. "$here/pe-check.sh"

top=$(basename "$zip" .zip)
case "$top" in
    *-win32) format=pei-i386 compiler=i686-w64-mingw32-g++ ;;
    *-win64) format=pei-x86-64 compiler=x86_64-w64-mingw32-g++ ;;
    *) echo "package-zip.sh: $zip is neither a -win32 nor a -win64 package" >&2; exit 2 ;;
esac
check "zip: files" "$top/Quorvel.dll
$top/README-Windows.txt
$top/docs/README.md
$top/example/ComExample.cpp
$top/include/quorvel/common/Guids.cpp
$top/include/quorvel/common/Guids.h
$top/include/quorvel/common/TableSave.h
$top/include/quorvel/platform/Interfaces.h
$top/include/quorvel/platform/Sdk.h
$top/include/quorvel/platform/windows/WindowsSdk.h
$top/quorvel.exe
$top/second/Quorvel.dll" \
    "$(cmake -E tar tf "$zip" | grep -v '/$' | grep -v '^[^/]*/docs/[^R]' | LC_ALL=C sort)"
(cd "$work" && cmake -E tar xf "$zip")
dir=$work/$top
check "zip: every page of the guide" "$(ls "$here/../../docs" | LC_ALL=C sort)" "$(ls "$dir/docs" | LC_ALL=C sort)"

entries='DllCanUnloadNow DllGetClassObject DllMain DllRegisterServer DllUnregisterServer'
pe_check "Quorvel.dll" "$dir/Quorvel.dll" "$format" "$entries"
pe_check "second/Quorvel.dll" "$dir/second/Quorvel.dll" "$format" "$entries"
pe_check "quorvel.exe" "$dir/quorvel.exe" "$format" ""

# README-Windows.txt's command, which the guide gives too, with the cross
# compiler's name and / for \.
readme_command=$(grep -m1 -F "$compiler " "$dir/README-Windows.txt" | sed 's/^ *//')
check "zip: README-Windows.txt and the guide build the example alike" "$readme_command" \
    "$(grep -m1 -F "$compiler " "$dir/docs/windows-client.md")"
command=$(sed 's|\\|/|g' <<<"$readme_command")
(cd "$dir" && eval "${command/$compiler/$compiler-posix}") >"$work/log" 2>&1
rc=$?
check "zip: the example compiles from the package's headers" 0 $rc
[ $rc = 0 ] || cat "$work/log" >&2
pe_check "ComExample.exe" "$dir/ComExample.exe" "$format" ""

# The package's own programs, optimised as shipped, under Wine (the suites run
# the 64-bit Debug build): its host registers its DLL, the example client just
# built prints what README-Windows.txt says it prints, and the host removes
# the registration again.
. "$here/../../scripts/wine-env"
if ! quorvel_wine_for "$dir/quorvel.exe" 2>"$work/why"; then
    echo "NOT RUN zip: the package's programs under Wine: $(cat "$work/why")"
else
    wine=$QUORVEL_WINE
    winpath() { "$wine" winepath -w "$1" </dev/null 2>/dev/null | tr -d '\r'; }
    dll=$(winpath "$dir/Quorvel.dll")
    "$wine" "$dir/quorvel.exe" register "$dll" </dev/null >/dev/null 2>&1
    check "zip: quorvel.exe register" 0 $?
    cp "$here/../../examples/plant.txt" "$work/plant.txt"
    check "zip: the example client prints what README-Windows.txt shows" \
        "$(sed -n '/^    4 rows/,/^    result/s/^    //p' "$dir/README-Windows.txt")" \
        "$("$wine" "$dir/ComExample.exe" "$(winpath "$work/plant.txt")|delim=;" </dev/null 2>&1 | tr -d '\r')"
    "$wine" "$dir/quorvel.exe" unregister "$dll" </dev/null >/dev/null 2>&1
    check "zip: quorvel.exe unregister" 0 $?
fi

[ $failures = 0 ] && echo "all Windows package checks passed" || echo "$failures Windows package check(s) failed" >&2
[ $failures = 0 ]
