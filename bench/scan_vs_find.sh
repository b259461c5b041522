#!/bin/bash
# Times zelvane-cli scan against find on the same generated tree, in one run, on a warm
# cache, and checks that both count the same folders and files.
#
# Usage: bench/scan_vs_find.sh [path/to/zelvane-cli] [entries]
#   The tree is made under $TMPDIR (default /tmp) and removed afterwards.
set -euo pipefail

cli=${1:-build/src/cli/zelvane-cli}
entries=${2:-300000}
runs=${RUNS:-5}
[ -x "$cli" ] || { echo "no zelvane-cli at $cli (build it first)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zelvane-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
tree="$work/tree"
out="$work/out.zelv"
mkdir "$tree"

# Folders in three levels (25 x 25 x n), 19 files in each leaf folder, with a mix of
# extensions and some names that are not ASCII.
leaves=$(( (entries / 20 + 624) / 625 ))
echo "generating about $entries entries in $tree ..." >&2
awk -v root="$tree" -v leaves="$leaves" 'BEGIN {
    for (a = 0; a < 25; a++) for (b = 0; b < 25; b++) for (c = 0; c < leaves; c++)
        print root "/Top " a "/sub-" b "/Ordner \303\244" c > "/dev/stderr";
}' 2> "$work/dirs"
tr '\n' '\0' < "$work/dirs" | xargs -0 mkdir -p
awk -v n=19 'BEGIN { split(".txt .jpg .c .dll .zip .exe .html .mp3 .ZELV .gz .inf", ext, " ") }
{ for (i = 0; i < n; i++) printf "%s/file %d-%d%s%c", $0, NR, i, ext[(NR + i) % 11 + 1], 0 }' \
    "$work/dirs" | xargs -0 touch
rm "$work/dirs"

find_dirs=$(find "$tree" -mindepth 1 -type d | wc -l)
find_files=$(find "$tree" -mindepth 1 ! -type d | wc -l)
echo "find counts $find_dirs folders and $find_files files" >&2

now() { date +%s.%N; }
best_find=999999
best_cli=999999
best_scan=999999
# Warm the cache with one run of each, then alternate.
find "$tree" -printf '%s\n' > /dev/null
"$cli" scan "$tree" -o "$out" > /dev/null
for ((i = 0; i < runs; i++)); do
    t0=$(now)
    find "$tree" -printf '%s\n' > /dev/null
    t1=$(now)
    summary=$("$cli" scan "$tree" -o "$out" --times 2> "$work/times")
    t2=$(now)
    scan=$(sed -n 's/^scan \([0-9.]*\) s.*/\1/p' "$work/times")
    min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a < b ? a : b) }'; }
    find_time=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }')
    cli_time=$(awk -v a="$t1" -v b="$t2" 'BEGIN { printf "%.3f", b - a }')
    best_find=$(min "$find_time" "$best_find")
    best_cli=$(min "$cli_time" "$best_cli")
    best_scan=$(min "$scan" "$best_scan")
    echo "run $((i + 1)): find $find_time s, zelvane-cli $cli_time s ($(cat "$work/times"))" >&2
done

cli_dirs=$(echo "$summary" | sed -n 's/^\([0-9]*\) folder(s) & \([0-9]*\) file(s).*/\1/p')
cli_files=$(echo "$summary" | sed -n 's/^\([0-9]*\) folder(s) & \([0-9]*\) file(s).*/\2/p')
echo "zelvane-cli counts $cli_dirs folders and $cli_files files"
echo "find:                 best $best_find s"
echo "zelvane-cli (whole):  best $best_cli s, ratio $(awk -v a="$best_cli" -v b="$best_find" 'BEGIN { printf "%.2f", a / b }') (goal <= 1.5)"
echo "zelvane-cli (scan):   best $best_scan s, ratio $(awk -v a="$best_scan" -v b="$best_find" 'BEGIN { printf "%.2f", a / b }') (goal <= 1.1)"
if [ "$cli_dirs" != "$find_dirs" ] || [ "$cli_files" != "$find_files" ]; then
    echo "COUNTS DIFFER: find $find_dirs/$find_files, zelvane-cli $cli_dirs/$cli_files" >&2
    exit 1
fi
echo "counts equal"
