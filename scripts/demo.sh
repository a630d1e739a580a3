#!/usr/bin/env bash
# The main job in one go: builds the library and the quorvel host (the
# optimised release build), registers the provider into a registry file inside
# the build tree, shows examples/plant.txt, then edits a copy of it in a short
# quorvel shell session (find a value, change a cell) and shows the saved file.
# Usage: scripts/demo.sh   (after scripts/setup.sh on a fresh machine)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/release
bash "$root/scripts/build.sh" release
demo=$build/demo
mkdir -p "$demo"
export QUORVEL_REGISTRY=$demo/classes.reg
quorvel=$build/quorvel

echo "== quorvel register   (registry file: $QUORVEL_REGISTRY)"
"$quorvel" register

echo "== quorvel show 'examples/plant.txt|delim=;'"
"$quorvel" show "$root/examples/plant.txt|delim=;"

cp "$root/examples/plant.txt" "$demo/plant.txt"
echo "== quorvel shell on a copy: find Basil, change its pot count, quit (which saves)"
"$quorvel" shell "$demo/plant.txt|delim=;" <<'COMMANDS'
find 1 1 default eq Basil
get 3 4
listen
set 3 4 5
get 3 4
quit
COMMANDS

echo "== the saved file, $demo/plant.txt"
cat "$demo/plant.txt"
echo "== read back through the provider"
"$quorvel" show "$demo/plant.txt|delim=;"
