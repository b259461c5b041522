#!/bin/bash
# Times zelvane-cli scan --archives of a folder of 1,000 zip files of 1,000 members each
# against bsdtar -tf over the same archives, in one run on a warm cache; then the same scan
# without --archives, against another zelvane-cli (today's, for instance) when one is given.
#
# Usage: bench/archives.sh [path/to/zelvane-cli] [path/to/baseline/zelvane-cli]
#   ZIPS and MEMBERS change the counts; the folder is made under $TMPDIR (default /tmp) and
#   removed afterwards. Each figure is the best of RUNS (default 3) runs.
set -euo pipefail

cli=${1:-build/src/cli/zelvane-cli}
baseline=${2:-}
zips=${ZIPS:-1000}
members=${MEMBERS:-1000}
runs=${RUNS:-3}
[ -x "$cli" ] || { echo "no zelvane-cli at $cli (build it first)" >&2; exit 2; }
command -v bsdtar > /dev/null || { echo "bsdtar is needed (libarchive-tools)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zelvane-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/zips"
echo "making $zips zip files of $members members in $work/zips ..." >&2
python3 - "$work/zips" "$zips" "$members" <<'EOF'
import os, sys, zipfile
from concurrent.futures import ProcessPoolExecutor
folder, zips, members = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
exts = [".txt", ".jpg", ".c", ".dll", ".html", ".mp3", ".pdf", ".png"]
def make(z):
    with zipfile.ZipFile(os.path.join(folder, f"archive-{z:04}.zip"), "w", zipfile.ZIP_DEFLATED) as f:
        for i in range(members):
            f.writestr(f"part-{i % 10}/member {z}-{i}{exts[i % len(exts)]}", f"content {z} {i}\n")
with ProcessPoolExecutor(2) as pool:
    list(pool.map(make, range(zips), chunksize=20))
EOF

now() { date +%s.%N; }
best() { # the best wall-clock time of runs of the command
    local best=999999 start end
    for _ in $(seq "$runs"); do
        start=$(now); "$@" > /dev/null; end=$(now)
        best=$(echo "$end - $start" | bc -l | awk -v b="$best" '{ print ($1 < b) ? $1 : b }')
    done
    printf '%.3f' "$best"
}
bsdtar_all() { find "$work/zips" -name '*.zip' -print0 | xargs -0 -n 50 sh -c 'for f; do bsdtar -tf "$f"; done' sh; }

listed=$(bsdtar_all | wc -l)
summary=$("$cli" scan "$work/zips" --archives -o "$work/a.zelv")
echo "bsdtar -tf lists $listed entries; zelvane-cli says: $(echo "$summary" | tr '\n' ' ')" >&2

with=$(best "$cli" scan "$work/zips" --archives -o "$work/a.zelv")
peer=$(best bsdtar_all)
without=$(best "$cli" scan "$work/zips" -o "$work/p.zelv")
echo "zelvane-cli scan --archives   $with s"
echo "bsdtar -tf, each archive      $peer s"
echo "zelvane-cli scan              $without s"
if [ -n "$baseline" ]; then
    echo "baseline zelvane-cli scan     $(best "$baseline" scan "$work/zips" -o "$work/b.zelv") s"
fi
