# Sourced by the end-to-end scripts: check NAME EXPECTED ACTUAL says ok or
# FAIL with both texts, and counts the failures in $failures.
failures=0
check() {  # check NAME EXPECTED ACTUAL
    if [ "$2" != "$3" ]; then
        printf 'FAIL %s\n--- expected\n%s\n--- actual\n%s\n' "$1" "$2" "$3" >&2
        failures=$((failures + 1))
    else
        printf 'ok   %s\n' "$1"
    fi
}
