#!/usr/bin/env bash
# Opens a generated snapshot of one million nodes the way "zelvane FILE" does and reports
# the time to a painted window, the expand, scroll and collapse times of a folder of
# 100,000 files, and the peak memory of the whole process.
#   bench/open_window.sh [BUILD_DIR]     (default build; runs offscreen, or on $DISPLAY
#                                        with ZELVANE_BENCH_PLATFORM=xcb)
set -euo pipefail
build=${1:-build}
bin="$build/bench/bench_open_window"
[ -x "$bin" ] || { echo "build the target bench_open_window first" >&2; exit 2; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export XDG_RUNTIME_DIR="$tmp/runtime" XDG_CONFIG_HOME="$tmp/config"
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
"$bin" --generate "$tmp/million.zelv" 1000000
ls -l "$tmp/million.zelv" | awk '{ printf "snapshot file: %.1f MB\n", $5 / 1048576 }'
cat "$tmp/million.zelv" > /dev/null   # warm cache
/usr/bin/time -f "whole process: %e s wall, %M KB max resident" \
    "$bin" -platform "${ZELVANE_BENCH_PLATFORM:-offscreen}" "$tmp/million.zelv"
"$bin" -platform "${ZELVANE_BENCH_PLATFORM:-offscreen}" --inserts "$tmp/million.zelv" | grep -E 'insertions|sorting'
