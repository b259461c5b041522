#!/usr/bin/env bash
# zelvane-cli search of a rare name (one match) in a snapshot of ten million nodes, beside
# zelvane-cli info of the same file, and the peers awk and cat over a text listing of the
# same names, in the same run. BEFORE=path/to/another/zelvane-cli times that one too.
#   bench/cli_search_rare.sh [BUILD_DIR [RUNS]]   (default build, 5 runs)
#   NODES=1000000 bench/cli_search_rare.sh build  (a smaller snapshot)
set -euo pipefail
build=${1:-build}
runs=${2:-5}
nodes=${NODES:-10000000}
cli="$build/src/cli/zelvane-cli"
[ -x "$cli" ] || cli="$build/zelvane-cli"
gen="$build/bench/bench_open_window"
[ -x "$cli" ] && [ -x "$gen" ] || { echo "build zelvane-cli and bench_open_window first" >&2; exit 2; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$gen" --generate "$tmp/big.zelv" "$nodes" "$tmp/names.txt"
pattern=9999999
cat "$tmp/big.zelv" "$tmp/names.txt" > /dev/null # warm cache
timed() {
    local label=$1
    shift
    /usr/bin/time -f "$label: %e s wall, %U+%S s processor, %M KB max resident" "$@" \
        > /dev/null 2> "$tmp/err" || true
    grep -v "match" "$tmp/err"
}
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
for run in $(seq "$runs"); do
    echo "--- run $run"
    timed "info" "$cli" info "$tmp/big.zelv"
    timed "search $pattern" "$cli" search "$tmp/big.zelv" "$pattern"
    [ -z "${BEFORE:-}" ] || timed "search $pattern (BEFORE)" "$BEFORE" search "$tmp/big.zelv" "$pattern"
    timed "peer awk /$pattern/ over the names" awk "/$pattern/" "$tmp/names.txt"
    timed "peer cat of the names" cat "$tmp/names.txt"
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
