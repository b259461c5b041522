#!/bin/bash
# Generates the benchmark tree: about ENTRIES entries under DIR (which must not exist),
# folders in three levels (25 x 25 x n), 19 files in each leaf folder, with a mix of
# extensions and some names that are not ASCII.
#   bench/generate_tree.sh DIR [ENTRIES]
set -euo pipefail
tree=$1
entries=${2:-300000}
mkdir "$tree"
list=$(mktemp)
trap 'rm -f "$list"' EXIT
leaves=$(( (entries / 20 + 624) / 625 ))
awk -v root="$tree" -v leaves="$leaves" 'BEGIN {
    for (a = 0; a < 25; a++) for (b = 0; b < 25; b++) for (c = 0; c < leaves; c++)
        print root "/Top " a "/sub-" b "/Ordner \303\244" c;
}' > "$list"
tr '\n' '\0' < "$list" | xargs -0 mkdir -p
awk -v n=19 'BEGIN { split(".txt .jpg .c .dll .zip .exe .html .mp3 .ZELV .gz .inf", ext, " ") }
{ for (i = 0; i < n; i++) printf "%s/file %d-%d%s%c", $0, NR, i, ext[(NR + i) % 11 + 1], 0 }' \
    "$list" | xargs -0 touch
