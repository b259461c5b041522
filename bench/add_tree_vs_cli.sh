#!/bin/bash
# Times a capture through the desktop program's main window (offscreen, with its real
# message pumping) against zelvane-cli scan of the same generated tree, in one run, on a
# warm cache; then clicks Stop during a capture and reports how soon it is heard and how
# soon the scan ends.
#
# Usage: bench/add_tree_vs_cli.sh [BUILD_DIR] [ENTRIES]      (default build, 300000)
set -euo pipefail
build=${1:-build}
entries=${2:-300000}
runs=${RUNS:-5}
cli="$build/src/cli/zelvane-cli"
gui="$build/bench/bench_add_tree"
for bin in "$cli" "$gui"; do
    [ -x "$bin" ] || { echo "no $bin (build zelvane-cli and bench_add_tree first)" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/zelvane-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config"
mkdir -m 700 "$XDG_RUNTIME_DIR"
tree="$work/tree"
echo "generating about $entries entries in $tree ..." >&2
"$(dirname "$0")/generate_tree.sh" "$tree" "$entries"

now() { date +%s.%N; }
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a < b ? a : b) }'; }
best_cli=999999
best_gui=999999
gui_run() { "$gui" -platform offscreen "$@" 2> /dev/null; }
# Warm the cache with one run of each, then alternate.
"$cli" scan "$tree" -o "$work/out.zelv" > /dev/null
gui_run "$tree" > /dev/null
for ((i = 0; i < runs; i++)); do
    t0=$(now)
    "$cli" scan "$tree" -o "$work/out.zelv" > "$work/cli.txt"
    t1=$(now)
    gui_run "$tree" > "$work/gui.txt"
    cli_time=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }')
    gui_time=$(sed -n 's/^capture \([0-9.]*\) s.*/\1/p' "$work/gui.txt")
    best_cli=$(min "$cli_time" "$best_cli")
    best_gui=$(min "$gui_time" "$best_gui")
    echo "run $((i + 1)): zelvane-cli scan $cli_time s (whole process: scan, sort, save)," \
        "main window $(grep '^capture' "$work/gui.txt")" >&2
done
# The counts and the total (the message box keeps its own spelling of "successfully").
summary() { head -2 "$1" | sed 's/successfuly/successfully/' | tr '\n' ' '; }
if [ "$(summary "$work/cli.txt")" != "$(summary "$work/gui.txt")" ]; then
    echo "COUNTS DIFFER: $(summary "$work/cli.txt") / $(summary "$work/gui.txt")" >&2
    exit 1
fi
echo "both: $(head -1 "$work/cli.txt")"
echo "zelvane-cli scan:   best $best_cli s"
echo "main window:        best $best_gui s, ratio $(awk -v a="$best_gui" -v b="$best_cli" \
    'BEGIN { printf "%.2f", a / b }') (goal <= 1.05)"
half=$(( $(head -1 "$work/cli.txt" | sed 's/^\([0-9]*\) folder(s) & \([0-9]*\) .*/\1 + \2/') / 2 ))
echo "Stop clicked half-way ($half entries in):"
gui_run --stop-after "$half" "$tree" | grep -E '^(stop|capture)'
