#!/usr/bin/env bash
# Runs every ```sh block of README.md as a user would paste it into a shell at
# the repository's root: each block in a shell of its own that stops at the
# first failing command, in the order the README gives them. Left out are
# setup.sh in front of a command (the machine is set up before any suite runs,
# and it needs apt) and test-all.sh, which is what runs this.
# Usage: readme-commands.sh REPOSITORY
set -u
root=$1
work=$(mktemp -d /tmp/qv_readme.XXXXXX)
trap 'rm -rf "$work"' EXIT
awk -v dir="$work" '
    /^```sh$/ { file = sprintf("%s/block%02d.sh", dir, ++blocks); inside = 1; next }
    /^```/ { inside = 0; next }
    inside { print > file }' "$root/README.md"

failures=0 blocks=0
for block in "$work"/block*.sh; do
    [ -f "$block" ] || continue
    blocks=$((blocks + 1))
    sed -i -e 's|^bash scripts/setup\.sh && ||' -e '\|scripts/test-all\.sh|d' "$block"
    if (cd "$root" && bash -e -o pipefail "$block") </dev/null >"$work/log" 2>&1; then
        echo "ok   README block $blocks ($(wc -l <"$block") commands)"
    else
        printf 'FAIL README block %s\n--- commands\n%s\n--- output\n%s\n' "$blocks" "$(cat "$block")" \
            "$(tail -n 30 "$work/log")" >&2
        failures=$((failures + 1))
    fi
done
[ $blocks -gt 0 ] || { echo "FAIL no sh block in README.md" >&2; failures=1; }
[ $failures = 0 ] && echo "all README commands ran" || echo "$failures README block(s) failed" >&2
[ $failures = 0 ]
