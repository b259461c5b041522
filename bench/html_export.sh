#!/bin/bash
# The HTML export of a large snapshot: how long zelvane-cli takes to write it, how big it
# is, and how soon headless Chromium shows its tree (the page notes the milliseconds from
# its start to the first tree shown in data-ready-ms, and those of a filter in
# data-filter-ms). For comparison, in the same run: the time Chromium takes to show a plain
# page of the same size (the listing as one <pre>), and cat(1) of the snapshot's CSV.
#
# Usage: bench/html_export.sh [path/to/zelvane-cli] [entries]
#   Needs chromium (Debian: apt-get install chromium). Files go under $TMPDIR (default /tmp).
set -euo pipefail

cli=${1:-build/src/cli/zelvane-cli}
entries=${2:-1000000}
runs=${RUNS:-3}
[ -x "$cli" ] || { echo "no zelvane-cli at $cli (build it first)" >&2; exit 2; }
command -v chromium > /dev/null || { echo "chromium is not installed" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/zelvane-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "writing a snapshot of about $entries nodes ..." >&2
"$here/cli_diff.sh" --make-snapshot "$entries" "$work/s.zelv"

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
t0=$(now)
"$cli" export "$work/s.zelv" --format html -o "$work/s.html"
t1=$(now)
"$cli" export "$work/s.zelv" --format csv -o "$work/s.csv"
t2=$(now)
{
    echo '<!DOCTYPE html><meta charset="utf-8"><title>plain</title><pre>'
    sed 's/&/\&amp;/g; s/</\&lt;/g' "$work/s.csv"
    echo '</pre><script>document.documentElement.dataset.readyMs = Math.round(performance.now())</script>'
} > "$work/plain.html"

# Chromium's own figure for a page, in milliseconds: data-NAME-ms of the page after it ran.
browse() { # url attribute
    timeout 300 chromium --headless=new --no-sandbox --disable-gpu --virtual-time-budget=60000 \
        --dump-dom "$1" 2> /dev/null | grep -o "data-$2-ms=\"[0-9]*\"" | grep -o '[0-9]*' || echo "?"
}
echo "nodes:            $(tail -n +2 "$work/s.csv" | wc -l)"
echo "export html:      $(elapsed "$t0" "$t1") s, $(stat -c %s "$work/s.html") bytes" \
     "($(awk -v b="$(stat -c %s "$work/s.html")" 'BEGIN { printf "%.1f", b / 1048576 }') MiB)"
echo "export csv:       $(elapsed "$t1" "$t2") s, $(stat -c %s "$work/s.csv") bytes"
for ((i = 0; i < runs; i++)); do
    echo "run $((i + 1)): catalogue page shown after $(browse "file://$work/s.html" ready) ms;" \
         "plain page of the listing after $(browse "file://$work/plain.html" ready) ms;" \
         "filter 'file 12345-' $(browse "file://$work/s.html#filter=file%2012345-" filter) ms," \
         "filter 'e' (every node) $(browse "file://$work/s.html#filter=e" filter) ms"
done
