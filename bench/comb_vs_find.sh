#!/bin/bash
# Times zelvane-cli scan of deep "comb" trees (N nested folders, each with a file listed
# after it, so that the walk comes back to every level) against find over the same trees,
# in one run: 2,500, 5,000 and 10,000 levels, then a 100,000-level chain under
# `ulimit -n 8`. Checks that both count the same entries.
#
# Usage: bench/comb_vs_find.sh [path/to/zelvane-cli] [levels...]
#   The trees are made under $TMPDIR (default /tmp) and removed afterwards.
set -euo pipefail

cli=${1:-build/src/cli/zelvane-cli}
shift || true
levels=("${@:-2500 5000 10000}")
read -r -a levels <<< "${levels[*]}"
[ -x "$cli" ] || { echo "no zelvane-cli at $cli (build it first)" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/zelvane-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

# make_tree DIR LEVELS SIBLING: LEVELS nested folders "d", each holding a file when
# SIBLING is 1, named so that the file system lists it after "d".
make_tree() {
    python3 - "$@" << 'PY'
import os, sys
root, levels, sibling = sys.argv[1], int(sys.argv[2]), sys.argv[3] == "1"
os.mkdir(root)
probe = os.path.join(root, "probe")
os.mkdir(probe)
os.mkdir(os.path.join(probe, "d"))
name = next(n for n in ("f%d" % i for i in range(1000))
            if not open(os.path.join(probe, n), "w").close()
            and os.listdir(probe).index(n) > os.listdir(probe).index("d"))
os.system("rm -rf '%s'" % probe)
fd = os.open(root, os.O_RDONLY)
for _ in range(levels):
    if sibling:
        os.close(os.open(name, os.O_CREAT | os.O_WRONLY, dir_fd=fd))
    os.mkdir("d", dir_fd=fd)
    below = os.open("d", os.O_RDONLY, dir_fd=fd)
    os.close(fd)
    fd = below
PY
}

seconds() { /usr/bin/time -f "%e" -o "$work/time" "$@" > /dev/null 2>&1 || true; cat "$work/time" | tail -n 1; }

compare() { # compare LABEL TREE [ulimit]
    local ours theirs nodes found
    ours=$(seconds bash -c "${3:-} \"$cli\" scan \"$2\" -o \"$work/s.zelv\"")
    theirs=$(seconds bash -c "${3:-} find \"$2\"")
    nodes=$("$cli" info "$work/s.zelv" 2> /dev/null | awk '/^Records:/ { print $2 }')
    found=$(find "$2" | wc -l)
    echo "$1: zelvane-cli scan $ours s, find $theirs s (find lists $found entries, the snapshot holds $nodes)"
}

for n in "${levels[@]}"; do
    make_tree "$work/comb$n" "$n" 1
    compare "comb of $n levels" "$work/comb$n"
    rm -rf "$work/comb$n"
done
make_tree "$work/chain" 100000 0
compare "chain of 100000 levels, ulimit -n 8" "$work/chain" "ulimit -n 8;"
compare "chain of 100000 levels" "$work/chain"
echo "load average while measuring: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
