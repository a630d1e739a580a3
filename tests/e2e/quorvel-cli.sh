#!/usr/bin/env bash
# End-to-end test of the quorvel host: registration, show, shell (plain and
# JSON), and the error messages and exit codes for an unregistered provider,
# a missing file, a read-only file and an empty data-member string.
# Usage: quorvel-cli.sh linux QUORVEL LIBRARY      (a registry file of its own)
#        quorvel-cli.sh wine  QUORVEL.EXE DLL      (the Wine prefix's registry)
set -u
mode=$1 quorvel=$2 library=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/qv_cli.XXXXXX)
chmod 755 "$work"
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/checks.sh"

if [ "$mode" = wine ]; then
    . "$here/../../scripts/wine-env"
    quorvel_wine_for "$quorvel" || exit 1
    run_quorvel() { "$QUORVEL_WINE" "$quorvel" "$@"; }
    native_path() { "$QUORVEL_WINE" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
    provider=QuorvelCliTest  # never registered
else
    export QUORVEL_REGISTRY=$work/registry/classes.reg
    run_quorvel() { "$quorvel" "$@"; }
    native_path() { printf '%s' "$1"; }
    provider=Quorvel
fi

# run [--as-user] ARGS...: runs quorvel with $input on standard input and
# sets out, err (line ends normalised) and status. --as-user drops root on
# Linux, for whom no file is read-only.
run() {
    local as_user=0
    if [ "$1" = --as-user ]; then as_user=1; shift; fi
    if [ $as_user = 1 ] && [ "$mode" = linux ] && [ "$(id -u)" = 0 ]; then
        printf '%s' "${input:-}" | setpriv --reuid=65534 --regid=65534 --clear-groups "$quorvel" "$@" \
            >"$work/out" 2>"$work/err"
    else
        printf '%s' "${input:-}" | run_quorvel "$@" >"$work/out" 2>"$work/err"
    fi
    status=$?
    out=$(tr -d '\r' <"$work/out")
    err=$(tr -d '\r' <"$work/err")
}

plant=$work/plant.txt
printf 'Fern;Polypodiopsida;shade;12\nRose;Rosa;sun;40\nBasil;Ocimum basilicum;sun;3\n' >"$plant"
chmod 644 "$plant"
member="$(native_path "$plant")|delim=;"

# --- before registration: the provider cannot be found
input=''
run -p "$provider" show "$member"
check "unregistered provider: exit 1" 1 "$status"
check "unregistered provider: message" \
    "quorvel: cannot find the provider '$provider' [HKEY_CLASSES_ROOT\\$provider\\CLSID]: the programmatic identifier is not registered (CO_E_CLASSSTRING 0x800401F3)" \
    "$err"

run frobnicate
check "unknown command: exit 2" 2 "$status"
run show
check "show without a data member: exit 2" 2 "$status"
run --help
check "help: exit 0" 0 "$status"
case "$out" in *"quorvel [--provider PROGID] COMMAND"*) check "help text" ok ok ;; *) check "help text" usage "$out" ;; esac

run register "$(native_path "$library")"
check "register: exit 0" 0 "$status"
check "register: quiet" "" "$out$err"

# --- opening errors
run show ''
check "empty data member: exit 1" 1 "$status"
check "empty data member: message" \
    "quorvel: cannot open '': an argument is missing, out of range or malformed (E_INVALIDARG 0x80070057)" "$err"

missing="$(native_path "$work")"
[ "$mode" = wine ] && missing="$missing\\missing.txt" || missing="$missing/missing.txt"
run show "$missing"
check "missing file: exit 1" 1 "$status"
check "missing file: message" \
    "quorvel: cannot open '$missing': the file is missing, unreadable or read-only (ASC_E_FILEACCESS 0xC0040BB9)" "$err"

cp "$plant" "$work/readonly.txt"
chmod 444 "$work/readonly.txt"
readonly_member="$(native_path "$work/readonly.txt")"
run --as-user show "$readonly_member"
check "read-only file: exit 1" 1 "$status"
check "read-only file: message" \
    "quorvel: cannot open '$readonly_member': the file is missing, unreadable or read-only (ASC_E_FILEACCESS 0xC0040BB9)" \
    "$err"

# --- show
run show "$member"
check "show: exit 0" 0 "$status"
check "show: aligned" "row  1      2                 3      4
  1  Fern   Polypodiopsida    shade  12
  2  Rose   Rosa              sun    40
  3  Basil  Ocimum basilicum  sun    3" "$out"

run show "$member" --json
check "show --json" '["Fern","Polypodiopsida","shade","12"]
["Rose","Rosa","sun","40"]
["Basil","Ocimum basilicum","sun","3"]' "$out"

# --- shell, plain
input='rows
cols
find 1 1 default eq Basil
get 3 2
get 9 1
listen
set 3 4 5 pots
seti 1 4 13
insert 2 1
delete 4 1
unlisten
dump
quit
'
run shell "$member"
check "shell: exit 1 after a failed command" 1 "$status"
check "shell: answers" 'rows 3
cols 4
row 3
value "Ocimum basilicum"
error E_INVALIDARG 0x80070057: an argument is missing, out of range or malformed
event transferComplete xfer 0
ok
event aboutToChangeCell row 3 col 4
event cellChanged row 3 col 4
ok
event aboutToChangeCell row 1 col 4
event cellChanged row 1 col 4
ok
event aboutToInsertRows row 2 count 1
event insertedRows row 2 count 1
inserted 1
event aboutToDeleteRows row 4 count 1
event deletedRows row 4 count 1
deleted 1
ok
row  1     2               3      4
  1  Fern  Polypodiopsida  shade  13
  2
  3  Rose  Rosa            sun    40
ok' "$out"
input=''
run show "$member"
check "shell: the table was saved at quit" "row  1     2               3      4
  1  Fern  Polypodiopsida  shade  13
  2
  3  Rose  Rosa            sun    40" "$out"

# --- shell: lines that are no command
input='get 1 4294967297
bogus
["rows"]
'
run shell "$member"
check "shell: bad lines: exit 1" 1 "$status"
check "shell: bad lines: answers" "error: COL '4294967297' is not a whole number in the signed 32-bit range
error: unknown command 'bogus' (try: quorvel help shell)
error: unknown command '[\"rows\"]' (try: quorvel help shell)" "$out"
input='rows
["get",1]
["get",1,2147483648]
'
run shell "$member" --json
check "shell --json: bad lines" '{"hr":"0x80070057","error":"a command is a JSON array whose first element names it, e.g. [\"get\",1,2]"}
{"hr":"0x80070057","error":"get takes 2 arguments"}
{"hr":"0x80070057","error":"COL is outside the signed 32-bit range"}' "$out"

# --- shell, JSON
printf 'a;b\nc;d\n' >"$plant"
input='["rows"]
["listen"]
["set",2,1,"x\"y"]
["find",1,2,"b",0,1]
["get",2,1]
["get",9,1]
["setnull",1,1]
["get",1,1]
["dump"]
["quit"]
'
run shell "$member" --json
check "shell --json: answers" '{"hr":"0x00000000","rows":2}
{"event":"transferComplete","xfer":0}
{"hr":"0x00000000"}
{"event":"aboutToChangeCell","row":2,"col":1}
{"event":"cellChanged","row":2,"col":1}
{"hr":"0x00000000"}
{"hr":"0x00000000","row":1}
{"hr":"0x00000000","value":"x\"y"}
{"hr":"0x80070057","error":"E_INVALIDARG 0x80070057: an argument is missing, out of range or malformed"}
{"event":"aboutToChangeCell","row":1,"col":1}
{"event":"cellChanged","row":1,"col":1}
{"hr":"0x00000000"}
{"hr":"0x00000000","value":{"vt":1,"value":null}}
{"hr":"0x00000000","table":[[{"vt":1,"value":null},"b"],["x\"y","d"]]}
{"hr":"0x00000000","saved":true}' "$out"

# --- shell: an insert that memory cannot hold fails and leaves the table as it
# was, in both forms. An inserted row is a record of a few dozen bytes whatever
# the table's width, so memory runs out first on the row array: 200 million
# entries take 1.6 GB, past a 512 MB address-space limit. (An insert that runs
# out part-way does so on a record of 32 bytes, leaving the host no memory to
# answer with; the unit tests make each allocation fail instead.) Sanitizers
# reserve more address space than any such limit allows.
if [ "$mode" = linux ] && ! ldd "$quorvel" | grep -q 'lib[at]san'; then
    for json in '' --json; do
        echo 'a;b' >"$work/narrow.txt"
        input=$'insert 1 200000000\nrows\n'
        [ -n "$json" ] && input=$'["insert",1,200000000]\n["rows"]\n'
        printf '%s' "$input" | (ulimit -v 524288 && exec "$quorvel" shell "$work/narrow.txt|delim=;" $json) \
            >"$work/out" 2>&1
        expected="error E_FAIL 0x80004005: the operation failed
rows 1"
        [ -n "$json" ] && expected='{"hr":"0x80004005","error":"E_FAIL 0x80004005: the operation failed"}
{"hr":"0x00000000","rows":1}'
        check "shell ${json:-plain}: an insert that memory cannot hold" "$expected" "$(head -n 2 "$work/out")"
    done
fi

# --- unregister: the provider is gone again
input=''
run unregister "$(native_path "$library")"
check "unregister: exit 0" 0 "$status"
run show "$member"
check "after unregister: exit 1" 1 "$status"

[ $failures = 0 ] && echo "all quorvel checks passed" || echo "$failures quorvel check(s) failed" >&2
[ $failures = 0 ]
