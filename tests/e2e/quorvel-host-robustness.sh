#!/usr/bin/env bash
# End-to-end test of the quorvel host in the ways a session can end other
# than by quit: stop signals, a reader that goes away, a full disk, standard
# input that cannot be read; plus text the plain form cannot carry and show's
# layout of larger tables. The point throughout: no accepted edit is lost and
# every failure is said and gives a failing exit status.
# Usage: quorvel-host-robustness.sh linux QUORVEL LIBRARY   (a registry file of its own)
#        quorvel-host-robustness.sh wine  QUORVEL.EXE DLL   (the Wine prefix's registry)
set -u
mode=$1 quorvel=$2 library=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/qv_robust.XXXXXX)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/checks.sh"

if [ "$mode" = wine ]; then
    . "$here/../../scripts/wine-env"
    quorvel_wine_for "$quorvel" || exit 1
    host=("$QUORVEL_WINE" "$quorvel")
    native_path() { "$QUORVEL_WINE" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
else
    export QUORVEL_REGISTRY=$work/registry/classes.reg
    host=("$quorvel")
    native_path() { printf '%s' "$1"; }
fi

check_like() {  # check_like NAME PATTERN ACTUAL: ACTUAL matches the glob PATTERN
    if [[ "$3" == $2 ]]; then check "$1" ok ok; else check "$1" "$2" "$3"; fi
}

# finish: after the host ran with stderr in $work/err, sets err (line ends
# normalised) and the table's first line, where every case makes its edit
# (without the quotes a saved table puts around its fields).
finish() {
    err=$(tr -d '\r' <"$work/err")
    first=$(head -n 1 "$table" | tr -d '\r"')
}

# Every case starts from this table and, where it edits, sets cell 1,1.
table=$work/t.txt
member=$(native_path "$table")
fresh() { printf 'a,b\nc,d\n' >"$table"; }
released='; the table is released, which saves its changes'

"${host[@]}" register "$(native_path "$library")" >/dev/null 2>&1
check "register" 0 $?

# --- stop signals: each stops the session, which still saves its edit and
# runs no command that comes after it. Under Wine a SIGINT is the console's
# Ctrl-C event; it reaches the host only if the process started is the host
# itself, which is why a 32-bit host runs under the 32-bit loader (wine64
# would start it from a launcher of its own, which alone hears the signal).
mkfifo "$work/in"
if [ "$mode" = linux ]; then signals="INT:SIGINT TERM:SIGTERM HUP:SIGHUP"; else signals="INT:Ctrl-C"; fi
for case in $signals; do
    sig=${case%%:*} name=${case#*:}
    fresh
    # A shell's background job ignores SIGINT unless told otherwise.
    env --default-signal=INT "${host[@]}" shell "$member" <"$work/in" >"$work/out" 2>"$work/err" &
    pid=$!
    exec 3>"$work/in"
    echo "set 1 1 $sig" >&3
    for _ in $(seq 200); do grep -q ok "$work/out" && break; sleep 0.05; done
    kill -s "$sig" $pid
    sleep 0.5  # Wine runs the console's handler on a thread it starts
    (trap '' PIPE; echo 'set 2 1 after' >&3) 2>/dev/null
    exec 3>&-
    wait $pid
    status=$?
    finish
    check "$name: exit status" $((128 + $(kill -l "$sig"))) "$status"
    check "$name: message" "quorvel: $name: no more commands are read$released" "$err"
    check "$name: the edit is saved, no later one made" "$sig,b
c,d" "$(tr -d '\r"' <"$table")"
done

if [ "$mode" = linux ]; then
    # A signal while an answer waits for a reader that does not read.
    fresh
    { echo 'set 1 1 blocked'; yes rows | head -n 40000; } >"$work/commands"
    exec 4<>"$work/in"
    "${host[@]}" shell "$member" <"$work/commands" >"$work/in" 2>"$work/err" &
    pid=$!
    read -r -t 10 -u 4 answer  # the first answer: the edit is made
    sleep 0.2                  # time to fill the pipe and wait
    kill -s TERM $pid
    wait $pid
    status=$?
    exec 4<&-
    finish
    check "SIGTERM with output blocked: exit status" 143 "$status"
    check "SIGTERM with output blocked: message" "quorvel: SIGTERM: no more commands are read$released" "$err"
    check "SIGTERM with output blocked: the edit is saved" "blocked,b" "$first"
fi

# --- a save that fails (the data file made read-only after the edit) is said,
# with its HRESULT, and exits 1 however the session ends; the file is as it was
saveerr="quorvel: cannot save '$member': the operation failed (E_FAIL 0x80004005)"
endings="quit quit-json end"
[ "$mode" = linux ] && endings="$endings TERM"
for ending in $endings; do
    fresh
    json=
    [ "$ending" = quit-json ] && json=--json
    "${host[@]}" shell "$member" $json <"$work/in" >"$work/out" 2>"$work/err" &
    pid=$!
    exec 3>"$work/in"
    if [ -n "$json" ]; then echo '["set",1,1,"refused"]' >&3; else echo 'set 1 1 refused' >&3; fi
    for _ in $(seq 200); do grep -q '^ok\|"hr"' "$work/out" && break; sleep 0.05; done
    chmod 444 "$table"
    case $ending in
        quit) echo quit >&3 ;;
        quit-json) echo '["quit"]' >&3 ;;
        TERM) kill -s TERM $pid ;;
    esac
    exec 3>&-
    wait $pid
    status=$?
    chmod 644 "$table"
    finish
    check "save refused at $ending: exit status" 1 "$status"
    check "save refused at $ending: the file is as it was" "a,b" "$first"
    case $ending in
        quit) expected_out="ok
error E_FAIL 0x80004005: the operation failed" expected_err= ;;
        quit-json) expected_out='{"hr":"0x00000000"}
{"hr":"0x80004005","error":"E_FAIL 0x80004005: the operation failed"}' expected_err= ;;
        end) expected_out=ok expected_err=$saveerr ;;
        TERM) expected_out=ok expected_err="quorvel: SIGTERM: no more commands are read$released
$saveerr" ;;
    esac
    check "save refused at $ending: answers" "$expected_out" "$(tr -d '\r' <"$work/out")"
    check "save refused at $ending: message" "$expected_err" "$err"
done

if [ "$mode" = linux ]; then
    # A session started with hang-ups ignored (as nohup starts it) keeps
    # ignoring them: later commands are answered and the edit is saved.
    fresh
    (trap '' HUP && exec "${host[@]}" shell "$member") <"$work/in" >"$work/out" 2>"$work/err" &
    pid=$!
    exec 3>"$work/in"
    echo 'set 1 1 nohup' >&3
    for _ in $(seq 200); do grep -q ok "$work/out" && break; sleep 0.05; done
    kill -s HUP $pid
    printf 'rows\nquit\n' >&3
    exec 3>&-
    wait $pid
    status=$?
    finish
    check "SIGHUP ignored on entry: exit status" 0 "$status"
    check "SIGHUP ignored on entry: later commands answered" "ok
rows 2
ok" "$(cat "$work/out")"
    check "SIGHUP ignored on entry: no message" "" "$err"
    check "SIGHUP ignored on entry: the edit is saved" "nohup,b" "$first"
fi

# --- output that cannot be written: the session stops and saves
fresh
{ echo 'set 1 1 piped'; yes rows | head -n 40000; } >"$work/commands"
"${host[@]}" shell "$member" <"$work/commands" 2>"$work/err" | head -n 1 >/dev/null
status=${PIPESTATUS[0]}
finish
check "reader gone: exit status" 1 "$status"
check_like "reader gone: message" "quorvel: cannot write to standard output (*): no more commands are read$released" "$err"
check "reader gone: the edit is saved" "piped,b" "$first"

if [ -w /dev/full ]; then
    while IFS='|' read -r name command; do
        fresh
        printf 'set 1 1 full\n' | "${host[@]}" $command >/dev/full 2>"$work/err"
        status=$?
        finish
        check "$name to a full disk: exit status" 1 "$status"
        check_like "$name to a full disk: message" "quorvel: cannot write to standard output (*)*" "$err"
        [ "$name" = shell ] && check "shell to a full disk: the edit is saved" "full,b" "$first"
    done <<EOF
show|show $member
show --json|show $member --json
help|help show
shell|shell $member
EOF
fi

# --- standard input that cannot be read is an error, not the end of input
# (the reason is the C run-time's; Wine's differs)
while IFS='|' read -r name redirect reason; do
    fresh
    eval '"${host[@]}" shell "$member" >"$work/out" 2>"$work/err"' "$redirect"
    status=$?
    finish
    check "input $name: exit status" 1 "$status"
    [ "$mode" = wine ] && reason='*'
    check_like "input $name: message" "quorvel: cannot read standard input ($reason)$released" "$err"
done <<EOF
a directory|<"$work"|Is a directory
closed|<&-|Bad file descriptor
EOF

if [ "$mode" = linux ]; then
    # Another program may leave a shared descriptor non-blocking: the session
    # waits for its next command instead of ending before it.
    if command -v perl >/dev/null; then
        fresh
        { echo 'set 1 1 waited'; sleep 0.3; echo 'rows'; } |
            perl -MFcntl -e 'fcntl(STDIN, F_SETFL, fcntl(STDIN, F_GETFL, 0) | O_NONBLOCK) or die; exec @ARGV' \
                "${host[@]}" shell "$member" >"$work/out" 2>"$work/err"
        status=$?
        finish
        check "non-blocking input: exit status" 0 "$status"
        check "non-blocking input: every command answered" "ok
rows 2" "$(cat "$work/out")"
    fi

    # --- bytes the plain form cannot carry are refused, not replaced (on
    # Windows it carries the ANSI code page, mostly a character for every byte)
    fresh
    printf 'set 1 1 \xff\xfe\nset 1 2 caf\xc3\xa9 \xe2\x82\nget 1 1\n' |
        "${host[@]}" shell "$member" >"$work/out" 2>"$work/err"
    status=$?
    finish
    check "bytes not UTF-8: exit status" 1 "$status"
    check "bytes not UTF-8: answers" "error: the line is not valid UTF-8 at byte offset 8 (0xFF)
error: the line is not valid UTF-8 at byte offset 14 (0xE2)
value \"a\"" "$(cat "$work/out")"
    check "bytes not UTF-8: the file is unchanged" "a,b" "$first"
fi

# --- show of a table larger than a screen: widths from every row
for i in $(seq 999); do echo "r$i,x"; done >"$table"
echo "r1000,a-very-wide-cell" >>"$table"
"${host[@]}" show "$member" 2>"$work/err" | tr -d '\r' | sed -n '1,2p;$p' >"$work/out"
check "show of 1000 rows" " row  1      2
   1  r1     x
1000  r1000  a-very-wide-cell" "$(cat "$work/out")"
"${host[@]}" show "$member" --json 2>"$work/err" | tr -d '\r' | sed -n '1p;$p' >"$work/out"
check "show --json of 1000 rows" '["r1","x"]
["r1000","a-very-wide-cell"]' "$(cat "$work/out")"
: >"$table"
check "show of an empty file" "(no rows)" "$("${host[@]}" show "$member" | tr -d '\r')"

"${host[@]}" unregister "$(native_path "$library")" >/dev/null 2>&1
[ $failures = 0 ] && echo "all robustness checks passed" || echo "$failures robustness check(s) failed" >&2
[ $failures = 0 ]
