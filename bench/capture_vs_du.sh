#!/bin/bash
# Times a whole zelvane-cli scan (scan, sort, save) against du -sb, find and ncdu -o (when
# installed) on the same trees, in one run, on a warm cache: the best of RUNS runs of each,
# taken in turn so that a busy moment of the machine hits them alike.
#
# The processor time (user + system) of each is shown too: on a machine that others load,
# it is the steadier figure.
#
# Usage: bench/capture_vs_du.sh [path/to/zelvane-cli] [TREE...]
#   With no TREE, a tree of ENTRIES entries (default 1000000) shaped like a real disk is
#   generated under $TMPDIR (bench/generate_realistic_tree.py; removed afterwards) and
#   /usr is timed too. Set KEEP=DIR to generate into (or reuse) DIR instead.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cli=${1:-build/src/cli/zelvane-cli}
shift || true
runs=${RUNS:-5}
entries=${ENTRIES:-1000000}
[ -x "$cli" ] || { echo "no zelvane-cli at $cli (build it first)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zelvane-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
trees=("$@")
if [ ${#trees[@]} -eq 0 ]; then
    generated=${KEEP:-$work/tree}
    if [ ! -d "$generated" ]; then
        echo "generating $entries entries in $generated ..." >&2
        python3 "$here/generate_realistic_tree.py" "$generated" "$entries"
    fi
    trees=("$generated" /usr)
fi

now() { date +%s.%N; }
# Runs a command, keeping its processor time in seconds in $work/cpu.
cpu() { /usr/bin/time -f '%U %S' -o "$work/cpu.raw" "$@"; awk '{ print $1 + $2 }' "$work/cpu.raw" > "$work/cpu"; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a < b ? a : b) }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
have_ncdu=$(command -v ncdu > /dev/null && echo 1 || echo 0)

for tree in "${trees[@]}"; do
    out="$work/out.zelv"
    # Warm the cache with one run of each.
    du -sb "$tree" > /dev/null 2>&1 || true
    find "$tree" > /dev/null 2>&1 || true
    "$cli" scan "$tree" -o "$out" > /dev/null
    best_du=999999 best_find=999999 best_ncdu=999999 best_cli=999999 best_scan=999999
    cpu_du=999999 cpu_cli=999999
    for ((i = 0; i < runs; i++)); do
        t0=$(now)
        cpu du -sb "$tree" > /dev/null 2>&1 || true
        cpu_du=$(min "$(cat "$work/cpu")" "$cpu_du")
        t1=$(now)
        cpu "$cli" scan "$tree" -o "$out" --times > "$work/summary" 2> "$work/times"
        t2=$(now)
        cpu_cli=$(min "$(cat "$work/cpu")" "$cpu_cli")
        find "$tree" -printf '%s\n' > /dev/null 2>&1 || true
        t3=$(now)
        ncdu_time=-
        if [ "$have_ncdu" = 1 ]; then
            ncdu -0 -x -o "$work/ncdu.out" "$tree" > /dev/null 2>&1 || true
            t4=$(now)
            ncdu_time=$(elapsed "$t3" "$t4")
            best_ncdu=$(min "$ncdu_time" "$best_ncdu")
        fi
        du_time=$(elapsed "$t0" "$t1")
        cli_time=$(elapsed "$t1" "$t2")
        find_time=$(elapsed "$t2" "$t3")
        scan=$(sed -n 's/^scan \([0-9.]*\) s.*/\1/p' "$work/times")
        best_du=$(min "$du_time" "$best_du")
        best_cli=$(min "$cli_time" "$best_cli")
        best_find=$(min "$find_time" "$best_find")
        best_scan=$(min "$scan" "$best_scan")
        echo "run $((i + 1)): du $du_time s, zelvane-cli $cli_time s ($(cat "$work/times"))," \
            "find $find_time s, ncdu $ncdu_time s" >&2
    done
    echo "== $tree: $(head -1 "$work/summary")"
    echo "du -sb:               best $best_du s"
    echo "find -printf %s:      best $best_find s"
    [ "$have_ncdu" = 1 ] && echo "ncdu -o:              best $best_ncdu s"
    echo "zelvane-cli scan:     best $best_cli s, $(ratio "$best_cli" "$best_du") x du" \
        "(goal <= 0.8), $(ratio "$best_cli" "$best_find") x find"
    echo "  of which the scan:  best $best_scan s"
    echo "processor time:       du $cpu_du s, zelvane-cli $cpu_cli s, $(ratio "$cpu_cli" "$cpu_du") x du"
    echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
done
