#!/usr/bin/env bash
# Instruction count of one full transfer through the updater's classes, under
# callgrind: collection is switched on only inside runUpdaterTransfer, so the
# figure leaves out start-up, the image load and the responder. Deterministic
# enough to compare across changes (the event loop may take a few more or
# fewer turns from run to run; expect well under 1 % spread).
#
#   bench/callgrind_transfer.sh [build-dir] [--annotate]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
annotate=${2:-}
bench="$build/bench/bench_transfer"
[ -x "$bench" ] || { echo "build $bench first" >&2; exit 1; }

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
# Loopback only, in a namespace of its own.
unshare -n sh -c 'ip link set lo up; exec "$@"' _ \
    valgrind --tool=callgrind --toggle-collect='*runUpdaterTransfer*' \
    --callgrind-out-file="$out/callgrind.%p" "$bench" --runs 1 --updater-only >"$out/log" 2>&1 \
    || { cat "$out/log"; exit 1; }
grep -E '^run ' "$out/log" || true

# The parent's file is the one with events collected (the forked responder
# never calls the toggled function).
best=0
file=
for f in "$out"/callgrind.*; do
    n=$(awk '/^summary:/ {print $2}' "$f")
    if [ "${n:-0}" -gt "$best" ]; then best=$n; file=$f; fi
done
printf 'instructions in one full transfer (579,616 bytes, 1,133 data commands): %d\n' "$best"
if [ "$annotate" = "--annotate" ] && [ -n "$file" ]; then
    callgrind_annotate --inclusive=no "$file" | head -60
fi
