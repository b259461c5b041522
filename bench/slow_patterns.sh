#!/bin/bash
# Times zelvane-cli search with patterns that backtrack without end in a naive matcher
# (nested quantifiers, a star before a long literal over a name of a million units)
# against grep over the same names in a text file, in one run. zelvane-cli either matches
# or says "pattern too slow for NAME" (status 2) within ICU's limits; grep is a DFA.
#
# Usage: [LIMIT=seconds] bench/slow_patterns.sh [path/to/zelvane-cli]   (each run cut at LIMIT, 120)
#   The files are made under $TMPDIR (default /tmp) and removed afterwards.
set -euo pipefail
cli=${1:-build/src/cli/zelvane-cli}
[ -x "$cli" ] || { echo "no zelvane-cli at $cli (build it first)" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/zelvane-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
python3 - "$work" << 'PY'
import sys
names = ["holiday_photos_from_the_beach_2019_final_version_2.jpeg", "a" * 40 + "!", "a" * 1000000]
with open(sys.argv[1] + "/s.zelv", "wb") as out:
    out.write(b"\x09\x00D\x00" + b"".join(b"\x05\x01" + n.encode() + b"\x00" for n in names))
open(sys.argv[1] + "/names.txt", "w").write("".join(n + "\n" for n in names))
PY
long=$(printf 'a%.0s' $(seq 20000))
seconds() { /usr/bin/time -f "%e" -o "$work/time" "$@" > /dev/null 2> "$work/err" || true; tail -n 1 "$work/time"; }
# Each case: a label, zelvane-cli's search arguments, grep's arguments.
cases=(
    "-E '^(\\w+_?)+\\.jpg\$'" "-E ^(\\w+_?)+\\.jpg\$" "-E ^(\\w+_?)+\\.jpg\$"
    "-E '(a+)+\$'" "-E (a+)+\$" "-E (a+)+\$"
    "-E '(a|aa)*b'" "-E (a|aa)*b" "-E (a|aa)*b"
    "-g '*' + 20,000 a + 'b'" "-g *${long}b" "-E ${long}b\$"
)
for ((i = 0; i < ${#cases[@]}; i += 3)); do
    read -r -a ours <<< "${cases[i + 1]}"
    read -r -a peer <<< "${cases[i + 2]}"
    a=$(seconds timeout "${LIMIT:-120}" "$cli" search "$work/s.zelv" "${ours[@]}")
    said=$(grep -v "found" "$work/err" | cut -c1-60 || true)
    b=$(seconds timeout 120 grep "${peer[@]}" "$work/names.txt")
    echo "${cases[i]}: zelvane-cli search $a s${said:+ ($said...)}, grep $b s"
done
echo "load average while measuring: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
