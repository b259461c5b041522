#!/usr/bin/env bash
# zelvane-cli list (each form), search of a pattern every node matches and export (each
# format) of a snapshot of ten million nodes, beside zelvane-cli info of the same snapshot
# and, as the time its bytes take to write, cat of each output to /dev/null, in the same run:
# the best wall time of RUNS runs, the peak memory, and the goal (to /dev/null, at most
# 2.5 x info + cat); then the same into a file against cat into a file.
# BEFORE=path/to/another/zelvane-cli times that one too. TMPDIR=/dev/shm keeps the files
# off the disk.
#   bench/cli_stream.sh [BUILD_DIR [RUNS]]   (default build, 3 runs)
#   NODES=1000000 bench/cli_stream.sh build  (a smaller snapshot)
set -euo pipefail
build=${1:-build}
runs=${2:-3}
nodes=${NODES:-10000000}
cli="$build/src/cli/zelvane-cli"
[ -x "$cli" ] || cli="$build/zelvane-cli"
gen="$build/bench/bench_open_window"
[ -x "$cli" ] && [ -x "$gen" ] || { echo "build zelvane-cli and bench_open_window first" >&2; exit 2; }
tmp=$(mktemp -d "${TMPDIR:-/tmp}/zelvane-stream-XXXXXX")
trap 'rm -rf "$tmp"' EXIT
"$gen" --generate "$tmp/big.zelv" "$nodes"
cat "$tmp/big.zelv" > /dev/null # warm cache

# "SECONDS KB": the best wall time and the largest peak resident size of RUNS runs.
best() {
    local seconds="" most=0 s kb status
    for _ in $(seq "$runs"); do
        status=0
        /usr/bin/time -f "%e %M" -o "$tmp/time" "$@" > /dev/null 2> "$tmp/err" || status=$?
        [ "$status" -lt 2 ] || { echo "failed ($status): $* $(cat "$tmp/err")" >&2; exit 2; }
        read -r s kb < <(tail -n 1 "$tmp/time")
        seconds=$(awk -v a="$seconds" -v b="$s" 'BEGIN { print (a == "" || b < a) ? b : a }')
        most=$((kb > most ? kb : most))
    done
    echo "$seconds $most"
}

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg); $nodes nodes, best of $runs"
read -r info infoKb < <(best "$cli" info "$tmp/big.zelv")
echo "info: $info s, $infoKb KB"
missed=0
check() {
    local label=$1
    shift
    rm -f "$tmp/out" "$tmp/copy"
    # The goal's measure: the command and cat, both writing to /dev/null.
    read -r t kb < <(best "$@" -o /dev/null)
    read -r _ _ < <(best "$@" -o "$tmp/out")
    read -r peer _ < <(best cat "$tmp/out")
    local size goal verdict
    size=$(stat -c %s "$tmp/out")
    goal=$(awk -v i="$info" -v c="$peer" 'BEGIN { printf "%.2f", 2.5 * i + c }')
    verdict=$(awk -v t="$t" -v g="$goal" 'BEGIN { print (t <= g) ? "met" : "MISSED" }')
    [ "$verdict" = met ] || missed=1
    echo "$label: $t s, $kb KB ($(awk -v k="$kb" -v b="$infoKb" -v n="$nodes" \
        'BEGIN { printf "%.1f", (k - b) * 1024 / n }') bytes a node above info);" \
        "peer cat of its $((size >> 20)) MB: $peer s; goal 2.5 x info + cat = $goal s: $verdict"
    # Into a file, against cat into a file: what writing the bytes costs the system.
    read -r t _ < <(best "$@" -o "$tmp/out")
    read -r peer _ < <(best sh -c 'cat "$1" > "$2"' sh "$tmp/out" "$tmp/copy")
    rm -f "$tmp/copy"
    echo "  into a file: $t s; peer cat into a file: $peer s"
    if [ -n "${BEFORE:-}" ]; then
        local cmd=("$@")
        cmd[0]=$BEFORE
        read -r t kb < <(best "${cmd[@]}" -o /dev/null)
        echo "  BEFORE: $t s, $kb KB"
    fi
}
big="$tmp/big.zelv"
check "list (tree text)" "$cli" list "$big"
check "list --path-style slash" "$cli" list "$big" --path-style slash
check "list --format tsv" "$cli" list "$big" --format tsv
check "list --format json" "$cli" list "$big" --format json
check "list -0" "$cli" list "$big" -0
check "search -g '*'" "$cli" search "$big" -g '*'
check "search -g '*' --format json" "$cli" search "$big" -g '*' --format json
check "export csv" "$cli" export "$big" -f csv
check "export json" "$cli" export "$big" -f json
check "export html" "$cli" export "$big" -f html
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
exit $missed
