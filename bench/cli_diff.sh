#!/bin/bash
# Times zelvane-cli diff over two snapshots of about ENTRIES nodes each (the second one
# with some files gone, some added and a folder renamed) against diff(1) of the two
# snapshots' listings and comm(1) of their sorted whole paths, in one run, on a warm cache;
# checks that zelvane-cli finds as many changes as comm. Wall and CPU times are both
# given: on a busy machine the wall time mostly measures the wait for a core.
#
# Usage: bench/cli_diff.sh [path/to/zelvane-cli] [entries]
#        bench/cli_diff.sh --make-snapshot ENTRIES FILE [variant]
#   The snapshots are written straight as .zelv records (no folders on disk) under $TMPDIR
#   (default /tmp) and removed afterwards.
set -euo pipefail

# Writes a snapshot like bench/generate_tree.sh's tree scanned: a root, 25 x 25 x n
# folders, 19 files in each leaf folder. Variant 1 leaves out every 997th file, adds a
# file to every 1000th leaf folder and renames one top folder; variant 2 has another root
# title, so that every node differs.
make_snapshot() {
    python3 - "$@" << 'PY'
import sys
entries, path = int(sys.argv[1]), sys.argv[2]
variant = int(sys.argv[3]) if len(sys.argv) > 3 else 0
leaves = (entries // 20 + 624) // 625
exts = [(".txt", 5), (".jpg", 7), (".c", 8), (".dll", 10), (".zip", 2), (".exe", 1),
        (".html", 5), (".mp3", 7), (".ZELV", 0), (".gz", 2), (".inf", 8)]
out = bytearray()
def record(kind, depth, name):
    out.extend(bytes([kind, depth]))
    out.extend(name.encode("latin-1") + b"\0")
record(9, 0, "Bench" if variant < 2 else "Other bench")
leaf = 0
for a in range(25):
    record(6, 1, " Top %d%s" % (a, " (renamed)" if variant == 1 and a == 7 else ""))
    for b in range(25):
        record(6, 2, " sub-%d" % b)
        for c in range(leaves):
            leaf += 1
            record(6, 3, " Ordner \xe4%d" % c)
            files = ["file %d-%d" % (leaf, i) for i in range(19)]
            if variant == 1 and leaf % 1000 == 0:
                files.append("file %d-new" % leaf)
            for i, name in enumerate(files):
                if variant == 1 and (leaf * 19 + i) % 997 == 0:
                    continue
                ext, kind = exts[(leaf + i) % 11]
                record(kind, 4, name + ext)
open(path, "wb").write(out)
PY
}

if [ "${1:-}" = "--make-snapshot" ]; then
    shift
    make_snapshot "$@"
    exit 0
fi

cli=${1:-build/src/cli/zelvane-cli}
entries=${2:-1000000}
runs=${RUNS:-5}
[ -x "$cli" ] || { echo "no zelvane-cli at $cli (build it first)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zelvane-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "writing two snapshots of about $entries nodes ..." >&2
make_snapshot "$entries" "$work/old.zelv" 0
make_snapshot "$entries" "$work/new.zelv" 1
"$cli" list "$work/old.zelv" > "$work/old.list"
"$cli" list "$work/new.zelv" > "$work/new.list"
"$cli" export "$work/old.zelv" --format csv -o - | tail -n +2 | cut -d, -f1 | LC_ALL=C sort > "$work/old.paths"
"$cli" export "$work/new.zelv" --format csv -o - | tail -n +2 | cut -d, -f1 | LC_ALL=C sort > "$work/new.paths"
echo "nodes: $(wc -l < "$work/old.list") old, $(wc -l < "$work/new.list") new" >&2

# Wall and CPU (user + system) seconds of one command: "wall cpu", in $work/time.
timed() {
    /usr/bin/time -f "%e %U %S" -o "$work/time" "$@"
}
wall() { tail -n 1 "$work/time" | awk '{ print $1 }'; }
cpu() { tail -n 1 "$work/time" | awk '{ printf "%.2f", $2 + $3 }'; }
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a < b ? a : b) }'; }
best_cli=999999
best_cli_cpu=999999
best_diff=999999
best_diff_cpu=999999
best_comm=999999
best_comm_cpu=999999
for ((i = 0; i < runs; i++)); do
    status=0
    timed "$cli" diff "$work/old.zelv" "$work/new.zelv" > "$work/cli.out" || status=$?
    [ "$status" = 1 ] || { echo "zelvane-cli diff exited with $status, not 1" >&2; exit 1; }
    best_cli=$(min "$(wall)" "$best_cli")
    best_cli_cpu=$(min "$(cpu)" "$best_cli_cpu")
    line="run $((i + 1)): zelvane-cli diff $(wall) s ($(cpu) s CPU)"
    timed diff "$work/old.list" "$work/new.list" > /dev/null || true
    best_diff=$(min "$(wall)" "$best_diff")
    best_diff_cpu=$(min "$(cpu)" "$best_diff_cpu")
    line="$line, diff of the listings $(wall) s ($(cpu) s CPU)"
    LC_ALL=C timed comm -3 "$work/old.paths" "$work/new.paths" > "$work/comm.out"
    best_comm=$(min "$(wall)" "$best_comm")
    best_comm_cpu=$(min "$(cpu)" "$best_comm_cpu")
    echo "$line, comm of the sorted paths $(wall) s ($(cpu) s CPU)" >&2
done
echo "load average while measuring: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"

# Every node different, and a snapshot against itself: time and peak memory, against the
# memory of one snapshot loaded (list --depth 0 loads it whole and prints only the roots).
make_snapshot "$entries" "$work/other.zelv" 2
/usr/bin/time -f "%e %M" -o "$work/time" "$cli" list "$work/old.zelv" --depth 0 > /dev/null
echo "one snapshot loaded: $(tail -n 1 "$work/time" | awk '{ printf "%.0f MB", $2 / 1024 }')"
for pair in "old.zelv other.zelv" "old.zelv old.zelv"; do
    read -r a b <<< "$pair"
    /usr/bin/time -f "%e %M" -o "$work/time" "$cli" diff "$work/$a" "$work/$b" > "$work/all.out" || true
    echo "zelvane-cli diff $a $b: $(tail -n 1 "$work/time" | awk '{ printf "%s s, %.0f MB", $1, $2 / 1024 }'), $(wc -l < "$work/all.out") lines"
done

cli_changes=$(wc -l < "$work/cli.out")
comm_changes=$(wc -l < "$work/comm.out")
echo "changes: zelvane-cli diff $cli_changes, comm $comm_changes"
echo "zelvane-cli diff (two files loaded and compared): best $best_cli s, $best_cli_cpu s CPU (goal < 2 s)"
echo "diff of the two listings (made beforehand):        best $best_diff s, $best_diff_cpu s CPU"
echo "comm of the sorted whole paths (made beforehand):  best $best_comm s, $best_comm_cpu s CPU"
if [ "$cli_changes" != "$comm_changes" ]; then
    echo "COUNTS DIFFER" >&2
    exit 1
fi
