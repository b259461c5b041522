#!/bin/bash
# Times, in one run on a warm cache, zelvane-cli import of a listing of LINES paths against
# cat and wc -l of the same listing; unique over ten snapshots of about LINES nodes each
# against sort | uniq -u of their whole paths; merge of the same ten against merge
# --keep-order (reading and writing without the sort) and one sort(1) of all their paths.
# Checks that unique and uniq -u count the same paths. Wall and CPU times are both given:
# on a busy machine the wall time mostly measures the wait for a core.
#
# Usage: bench/cli_import_unique.sh [path/to/zelvane-cli] [lines]
#   The files are written under $TMPDIR (default /tmp) and removed afterwards.
set -euo pipefail

cli=${1:-build/src/cli/zelvane-cli}
lines=${2:-1000000}
runs=${RUNS:-3}
[ -x "$cli" ] || { echo "no zelvane-cli at $cli (build it first)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zelvane-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "writing a listing of $lines paths and ten snapshots of as many nodes ..." >&2
# The listing as find prints a tree: 25 x 25 x n folders, 19 files in each leaf folder.
# Snapshot k is that tree with every (1000 + k)th file left out and one file of its own
# in every 500th leaf folder.
python3 - "$lines" "$work" << 'PY'
import sys
lines, work = int(sys.argv[1]), sys.argv[2]
leaves = (lines // 20 + 624) // 625
exts = [(".txt", 5), (".jpg", 7), (".c", 8), (".dll", 10), (".zip", 2), (".exe", 1),
        (".html", 5), (".mp3", 7), (".gz", 2), (".inf", 8)]
def tree(variant):
    leaf = 0
    yield 9, 0, "Bench"
    for a in range(25):
        yield 6, 1, "Top %d" % a
        for b in range(25):
            yield 6, 2, "sub-%d" % b
            for c in range(leaves):
                leaf += 1
                yield 6, 3, "Ordner %d" % c
                for i in range(19):
                    if variant >= 0 and (leaf * 19 + i) % (1000 + variant) == 0:
                        continue
                    ext, kind = exts[(leaf + i) % 10]
                    yield kind, 4, "file %d-%d%s" % (leaf, i, ext)
                if variant >= 0 and leaf % 500 == 0:
                    yield 5, 4, "only in %d.txt" % variant
path = []
with open(work + "/listing", "w") as out:
    for kind, depth, name in tree(-1):
        del path[depth:]
        path.append(name)
        out.write("./" + "/".join(path[1:]) + "\n" if depth else ".\n")
for k in range(10):
    data = bytearray()
    for kind, depth, name in tree(k):
        data += bytes([kind, depth]) + ((" " + name) if kind == 6 else name).encode() + b"\0"
    open("%s/s%d.zelv" % (work, k), "wb").write(data)
PY
for k in 0 1 2 3 4 5 6 7 8 9; do
    "$cli" export "$work/s$k.zelv" --format csv -o - | tail -n +2 | cut -d, -f1 > "$work/s$k.paths"
done
echo "listing: $(wc -l < "$work/listing") lines; snapshots: $(cat "$work"/s*.paths | wc -l) nodes" >&2

# Wall and CPU (user + system) seconds of one command, in $work/time.
timed() { /usr/bin/time -f "%e %U %S" -o "$work/time" "$@"; }
wall() { tail -n 1 "$work/time" | awk '{ print $1 }'; }
cpu() { tail -n 1 "$work/time" | awk '{ printf "%.2f", $2 + $3 }'; }
declare -A best_wall best_cpu
keep() { # name: keeps the best wall and CPU time of the last command under name
    best_wall[$1]=$(awk -v a="$(wall)" -v b="${best_wall[$1]:-999999}" 'BEGIN { print (a < b ? a : b) }')
    best_cpu[$1]=$(awk -v a="$(cpu)" -v b="${best_cpu[$1]:-999999}" 'BEGIN { print (a < b ? a : b) }')
}
snapshots=("$work"/s[0-9].zelv)
for ((i = 0; i < runs; i++)); do
    timed "$cli" import "$work/listing" -o "$work/import.zelv" > /dev/null; keep import
    timed cat "$work/listing" > /dev/null; keep cat
    timed wc -l "$work/listing" > /dev/null; keep wc
    timed "$cli" unique "${snapshots[@]}" -o "$work/unique.out"; keep unique
    timed bash -c "cat $work/s*.paths | LC_ALL=C sort | LC_ALL=C uniq -u > $work/uniq.out"; keep uniq
    timed "$cli" merge "${snapshots[@]}" -o "$work/merged.zelv"; keep merge
    timed "$cli" merge --keep-order "${snapshots[@]}" -o "$work/kept.zelv"; keep kept
    timed bash -c "cat $work/s*.paths | LC_ALL=C sort > /dev/null"; keep sort
    echo "run $((i + 1)) done" >&2
done
echo "load average while measuring: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
show() { printf '%-58s best %6s s, %6s s CPU%s\n' "$1" "${best_wall[$2]}" "${best_cpu[$2]}" "${3:-}"; }
show "zelvane-cli import of the listing ($lines paths)" import " (goal < 1.5 s)"
show "cat of the listing" cat
show "wc -l of the listing" wc
show "zelvane-cli unique of the ten snapshots" unique " (goal < 5 s)"
show "sort | uniq -u of their whole paths (made beforehand)" uniq
show "zelvane-cli merge of the ten snapshots" merge
show "zelvane-cli merge --keep-order (read and write, no sort)" kept
show "sort of all their whole paths (made beforehand)" sort
ours=$(wc -l < "$work/unique.out")
theirs=$(wc -l < "$work/uniq.out")
echo "paths under one root only: zelvane-cli unique $ours, uniq -u $theirs"
[ "$ours" = "$theirs" ] || { echo "COUNTS DIFFER" >&2; exit 1; }
