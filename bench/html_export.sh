#!/bin/bash
# The HTML export of a large snapshot: how long zelvane-cli takes to write it, how big it
# is, and how soon headless Chromium shows its tree (the page notes the milliseconds from
# its start to the first tree shown in data-ready-ms, and those of a filter in
# data-filter-ms). For comparison, in the same run: the same page with its code replaced
# by one line that only parses the catalogue, the least any page holding these bytes can
# take. (A page that shows every node at once, the listing as one <pre>, did not even
# finish within five minutes for a million nodes.)
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
python3 - "$work/s.html" "$work/parse-only.html" << 'PY'
import re, sys
page = open(sys.argv[1], "rb").read()
code = (b'<script>JSON.parse(document.getElementById("catalogue").textContent);'
        b'document.documentElement.dataset.readyMs = Math.round(performance.now())</script>')
open(sys.argv[2], "wb").write(re.sub(rb'<script>\n"use strict";.*?</script>', lambda m: code, page,
                                     count=1, flags=re.S))
PY

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
         "the same bytes only parsed after $(browse "file://$work/parse-only.html" ready) ms;" \
         "filter 'file 12345-' $(browse "file://$work/s.html#filter=file%2012345-" filter) ms," \
         "filter 'e' (every node) $(browse "file://$work/s.html#filter=e" filter) ms"
done
