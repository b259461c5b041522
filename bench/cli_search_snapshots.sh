#!/bin/bash
# zelvane-cli search over ten snapshots of 100,000 nodes each, beside grep over a text
# listing of the same names (one whole path a line), in the same run.
# Usage: cli_search_snapshots.sh path/to/zelvane-cli [runs]
set -eu
cli=$(realpath "$1")
runs=${2:-5}
work=$(mktemp -d "${TMPDIR:-/tmp}/zelvane-search-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

# Ten discs: a root, 1000 folders of 99 files each (100,001 nodes), names from a small
# vocabulary so that patterns match as they would in a real catalogue.
python3 - "$work" <<'PY'
import random, sys
work = sys.argv[1]
words = ["holiday", "invoice", "photo", "report", "backup", "music", "video", "draft",
         "letter", "scan", "IMG", "DSC", "notes", "budget", "game", "setup", "readme",
         "archive", "family", "project", "Stra\u00dfe", "\u65e5\u672c", "summer", "winter"]
exts = [".jpg", ".txt", ".mp3", ".doc", ".zip", ".exe", ".pdf", ".avi", ".dll", ".png"]
rng = random.Random(1)

def name8(text):
    if all(ord(c) <= 0xFF for c in text):
        return text.encode("latin-1") + b"\0"
    return b"\xff\xff" + text.encode("utf-16-le") + b"\0\0"

for disc in range(10):
    records = [bytes([9, 0]) + name8(f"Disc {disc}")]
    lines = []
    for f in range(1000):
        folder = f"{rng.choice(words)} {f}"
        records.append(bytes([6, 1]) + name8(" " + folder))
        for i in range(99):
            name = f"{rng.choice(words)}_{rng.randrange(10000)}{rng.choice(exts)}"
            records.append(bytes([8, 2]) + name8(name))
            lines.append(f"Disc {disc}/{folder}/{name}")
    open(f"{work}/disc{disc}.zelv", "wb").write(b"".join(records))
    open(f"{work}/disc{disc}.txt", "w", encoding="utf-8").write("\n".join(lines) + "\n")
PY

best() { # runs the command $runs times; prints the best wall time and the best CPU time
    python3 - "$runs" "$@" <<'PY'
import os, subprocess, sys, time
runs, cmd = int(sys.argv[1]), sys.argv[2:]
wall, cpu = [], []
for _ in range(runs):
    start = time.perf_counter()
    # Into a file: GNU grep stops at the first match when its output is /dev/null.
    with open("out.tmp", "wb") as out:
        p = subprocess.Popen(cmd, stdout=out, stderr=subprocess.DEVNULL)
        _, _, usage = os.wait4(p.pid, 0)
    wall.append(time.perf_counter() - start)
    cpu.append(usage.ru_utime + usage.ru_stime)
print(f"{min(wall):.3f}/{min(cpu):.3f}")
PY
}

cd "$work"
printf '%-44s %12s %12s %8s\n' "search over 10 x 100,001 nodes" "zelvane-cli" "grep" "matches"
for pattern in holiday Stra zzz; do
    n=$("$cli" search disc*.zelv "$pattern" 2>&1 > /dev/null | grep -o '^[0-9]*')
    printf '%-44s %12s %12s %8s\n' "plain, case ignored: $pattern" \
        "$(best "$cli" search disc*.zelv "$pattern")" "$(best grep -iF "$pattern" disc*.txt)" "$n"
done
printf '%-44s %12s %12s\n' "--glob '*_12??.jpg' / grep -E" \
    "$(best "$cli" search disc*.zelv '*_12??.jpg' --glob)" \
    "$(best grep -iE '/[^/]*_12..\.jpg$' disc*.txt)"
printf '%-44s %12s %12s\n' "--regex 'IMG_\\d{4}\\.jpg$' / grep -P" \
    "$(best "$cli" search disc*.zelv 'IMG_\d{4}\.jpg$' --regex)" \
    "$(best grep -iP 'IMG_\d{4}\.jpg$' disc*.txt)"
printf '%-44s %12s %12s\n' "--ignore-case-unicode strasse / grep -i" \
    "$(best "$cli" search disc*.zelv strasse --ignore-case-unicode)" \
    "$(best grep -i 'straße' disc*.txt)"
printf '%-44s %12s\n' "--format json, plain holiday" \
    "$(best "$cli" search disc*.zelv holiday --format json)"
echo "(best of $runs runs: wall/CPU seconds; grep reads a listing of the same names, one path a line)"
