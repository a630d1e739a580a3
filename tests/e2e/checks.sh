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

# What examples/client prints on examples/plant.txt: it opens the table, edits
# a cell with a listener attached, saves on request and releases it.
example_client_output='4 rows, 4 columns
cell 3 4: 3
event transferComplete 0 0
event aboutToChangeCell 3 4
event cellChanged 3 4
cell 3 4: 5
save 0x00000000
result 0x00000000'
