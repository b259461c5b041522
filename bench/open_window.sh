#!/usr/bin/env bash
# Opens a generated snapshot (ten million nodes unless NODES says otherwise) the way
# "zelvane FILE" does and reports the time to a painted window, the expand, scroll and
# collapse times of a folder of 100,000 files, and the peak memory of the whole process.
# The peer, timed in the same run: awk holding the same names, read from a text listing.
#   bench/open_window.sh [BUILD_DIR [RUNS]]   (default build, 3 runs; runs offscreen, or
#                                             on $DISPLAY with ZELVANE_BENCH_PLATFORM=xcb)
#   NODES=1000000 bench/open_window.sh build  (a smaller snapshot)
#   INSERTS=1 bench/open_window.sh build      (then also insertions into the shown tree)
set -euo pipefail
build=${1:-build}
runs=${2:-3}
nodes=${NODES:-10000000}
bin="$build/bench/bench_open_window"
[ -x "$bin" ] || { echo "build the target bench_open_window first" >&2; exit 2; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export XDG_RUNTIME_DIR="$tmp/runtime" XDG_CONFIG_HOME="$tmp/config"
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
"$bin" --generate "$tmp/big.zelv" "$nodes" "$tmp/names.txt"
ls -l "$tmp/big.zelv" "$tmp/names.txt" | awk '{ printf "%s: %.1f MB\n", $9, $5 / 1048576 }'
cat "$tmp/big.zelv" "$tmp/names.txt" > /dev/null   # warm cache
for run in $(seq "$runs"); do
    echo "--- run $run"
    /usr/bin/time -f "whole process: %e s wall, %M KB max resident" \
        "$bin" -platform "${ZELVANE_BENCH_PLATFORM:-offscreen}" "$tmp/big.zelv" 2>&1 |
        grep -v propagateSizeHints
    /usr/bin/time -f "peer (awk holding the names): %e s wall, %M KB max resident" \
        awk '{ names[NR] = $0 } END { print NR " names held" }' "$tmp/names.txt" 2>&1
done
if [ -n "${INSERTS:-}" ]; then
    "$bin" -platform "${ZELVANE_BENCH_PLATFORM:-offscreen}" --inserts "$tmp/big.zelv" |
        grep -E 'insertions|sorting'
fi
