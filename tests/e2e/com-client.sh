#!/usr/bin/env bash
# Under Wine: registers the DLL with regsvr32, checks the rows with reg query
# in the registry's view of the DLL's bitness (a 32-bit DLL's rows land in the
# 32-bit view, where 32-bit clients look, and a 64-bit one's in the 64-bit
# view) and that the other view did not get them, runs the COM client (of the
# DLL's bitness) in both apartments, checks that its edit reached the
# file, runs the guide's example client (if given) and checks what it prints
# and saves, unregisters and checks the rows are gone.
# Usage: com-client.sh Quorvel.dll ComClient.exe [ComExample.exe]
set -u
dll=$1 client=$2 example=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/wine-env"
quorvel_wine_for "$dll" || exit 1
wine=$QUORVEL_WINE
work=$(mktemp -d /tmp/qv_com.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL $*" >&2; failures=$((failures + 1)); }
view=/reg:64 other=/reg:32
[ "$wine" = "$QUORVEL_WINE32" ] && view=/reg:32 other=/reg:64
query() { "$wine" reg query "$1" /ve ${2:-$view} </dev/null 2>/dev/null | tr -d '\r'; }
# reg writes its errors to standard output: only its exit status tells.
exists() { "$wine" reg query "$1" $view </dev/null >/dev/null 2>&1; }

dllw=$("$wine" winepath -w "$dll" </dev/null 2>/dev/null | tr -d '\r')
"$wine" regsvr32 /s "$dllw" </dev/null >/dev/null 2>&1
rc=$?
[ $rc = 0 ] || fail "regsvr32 returned $rc (3: cannot load, 4: no entry point, 5: DllRegisterServer failed)"

object='HKEY_CLASSES_ROOT\CLSID\{A1D4E7B2-3C58-4F09-8E6A-5B2C9D0F7E13}'
provider='HKEY_CLASSES_ROOT\CLSID\{6F3C2A91-4D7E-4B1A-9C05-2E8D71A4B3C6}'
query "$object\\InprocServer32" | grep -qF "$dllw" || fail "the data object's InprocServer32 is not $dllw"
query "$object\\InprocServer32" $other | grep -qF "$dllw" && fail "the data object's class is in the $other view too"
query "$provider\\InprocServer32" | grep -qF "${dllw%\\*}\\MSDAOSP.DLL" || fail "the provider's InprocServer32"
query 'HKEY_CLASSES_ROOT\VxASCOSP\Clsid' | grep -qF '{A1D4E7B2-3C58-4F09-8E6A-5B2C9D0F7E13}' || fail "VxASCOSP\\Clsid"
query "$provider\\OSP Data Object" | grep -qF 'VxASCOSP' || fail "OSP Data Object"

printf 'Fern,green\r\nRose,red\r\nMoss,\r\n' >"$work/plant.txt"
"$wine" "$client" "$("$wine" winepath -w "$work/plant.txt" </dev/null 2>/dev/null | tr -d '\r')" 3 2 Fern \
    </dev/null >"$work/out" 2>&1
rc=$?
tr -d '\r' <"$work/out"
[ $rc = 0 ] || fail "the COM client"
[ "$(cat "$work/plant.txt")" = "$(printf '"Fern","green"\r\n"Rose","blue"\r\n"Moss",""\r\n')" ] ||
    fail "the saved file: $(od -c "$work/plant.txt" | head -5)"

if [ -n "$example" ]; then
    cp "$here/../../examples/plant.txt" "$work/example.txt"
    member="$("$wine" winepath -w "$work/example.txt" </dev/null 2>/dev/null | tr -d '\r')|delim=;"
    out=$("$wine" "$example" "$member" </dev/null 2>&1 | tr -d '\r')
    expected='4 rows, 4 columns
cell 3 4: 3
event transferComplete 0 0
event aboutToChangeCell 3 4
event cellChanged 3 4
cell 3 4: 5
result 0x00000000'
    [ "$out" = "$expected" ] || fail "the example client printed:
$out"
    [ "$(tr -d '\r' <"$work/example.txt" | sed -n 3p)" = '"Basil";"Ocimum basilicum";"sun";"5"' ] ||
        fail "the example client's edit was not saved: $(cat "$work/example.txt")"
fi

"$wine" regsvr32 /u /s "$dllw" </dev/null >/dev/null 2>&1 || fail "regsvr32 /u"
exists 'HKEY_CLASSES_ROOT\VxASCOSP' && fail "VxASCOSP is still registered"
exists "$object" && fail "the data object's class is still registered"

[ $failures = 0 ] && echo "all COM client checks passed"
[ $failures = 0 ]
