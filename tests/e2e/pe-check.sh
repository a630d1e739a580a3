#!/usr/bin/env bash
# Sourced: pe_check NAME FILE FORMAT EXPORTS checks a Windows program or DLL
# as the system loader will meet it: its object format (pei-i386 for 32-bit,
# pei-x86-64 for 64-bit), its exported names (a space-separated list, empty
# for a program), and that it imports nothing but system DLLs, so that it runs
# on a bare Windows without the compiler's run-time DLLs beside it. Uses check
# from checks.sh.
pe_system_dlls=' advapi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll user32.dll shell32.dll '
pe_check() {  # pe_check NAME FILE FORMAT EXPORTS
    local name=$1 file=$2 format=$3 exports=$4 dump imports dll foreign='' objdump=i686-w64-mingw32-objdump
    # Each one reads only its own bitness's files.
    [ "$format" = pei-x86-64 ] && objdump=x86_64-w64-mingw32-objdump
    dump=$("$objdump" -p "$file" 2>&1)
    check "$name: $format" "$format" "$(sed -n 's/.*file format \(.*\)$/\1/p' <<<"$dump" | head -n 1)"
    check "$name: exports" "$exports" \
        "$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | sed -n 's/^\s*\[ *[0-9]*\] //p' | xargs)"
    imports=$(sed -n 's/^\s*DLL Name: //p' <<<"$dump" | tr 'A-Z' 'a-z')
    for dll in $imports; do
        [[ "$pe_system_dlls" == *" $dll "* ]] || foreign="$foreign $dll"
    done
    check "$name: imports system DLLs only ($(xargs <<<"$imports"))" "" "$foreign"
}
