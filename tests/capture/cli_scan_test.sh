#!/bin/bash
# zelvane-cli scan end to end: the summary, the saved tree, --append and the failures,
# unreadable folders, Ctrl-C, and the snapshot on standard output.
# Usage: cli_scan_test.sh path/to/zelvane-cli
set -u
cli=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/zelvane-cli-test-XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
check() { # description, expected, actual
    if [ "$2" != "$3" ]; then
        echo "FAIL: $1"
        echo "  expected: $(printf '%q' "$2")"
        echo "  actual:   $(printf '%q' "$3")"
        failures=$((failures + 1))
    fi
}

mkdir -p "$work/disk/Zeta" "$work/disk/alpha/inner"
printf '12345' > "$work/disk/Beta.txt"
printf '1234567890' > "$work/disk/alpha/inner/notes.TXT"
: > "$work/disk/apple.txt"
: > "$work/disk/autorun.inf"
ln -s .. "$work/disk/alpha/loop"
mkdir "$work/other"
: > "$work/other/x.zip"

"$cli" scan --help | grep -q '^Usage: zelvane-cli scan PATH'
check "--help" 0 $?

out=$("$cli" scan "$work/disk" --title "b disk" -o "$work/s.zelv")
check "exit status" 0 $?
check "summary" "3 folder(s) & 5 file(s) successfuly added.
Total size is 15 byte(s)" "$out"
check "saved tree" "9 b disk
  6  alpha
    6  inner
      5 notes.TXT
    8 loop
  6  Zeta
  5 apple.txt
  3 autorun.inf
  5 Beta.txt" "$("$cli" list "$work/s.zelv")"

out=$("$cli" scan "$work/disk" --filter TXT -o "$work/f.zelv")
check "filter summary" "3 folder(s) & 1 file(s) successfuly added.
Total size is 10 byte(s)" "$out"
check "root labelled with the path" "9 $work/disk" "$("$cli" list "$work/f.zelv" | head -1)"

out=$("$cli" scan "$work/other" --title "A other" --append "$work/s.zelv")
check "append exit status" 0 $?
check "roots in text order after --append" "9 A other
9 b disk" "$("$cli" list "$work/s.zelv" | grep -v '^ ')"

"$cli" scan "$work/other" --append "$work/s.zelv" -o "$work/copy.zelv" > /dev/null
check "append to another file" "3" "$("$cli" list "$work/copy.zelv" | grep -vc '^ ')"
check "the appended file stays" "2" "$("$cli" list "$work/s.zelv" | grep -vc '^ ')"

# A path that cannot be opened: one line naming it, status 2, nothing written.
for path in "$work/missing" "$work/disk/apple.txt"; do
    out=$("$cli" scan "$path" -o "$work/m.zelv" 2> "$work/err")
    check "status for $path" 2 $?
    check "no summary for $path" "" "$out"
    check "one line for $path" 1 "$(grep -c "^zelvane-cli: $path: " "$work/err")"
    check "nothing written for $path" no "$([ -e "$work/m.zelv" ] && echo yes || echo no)"
done

# The snapshot to standard output, the summary to standard error; - reads one back.
"$cli" scan "$work/other" --title T -o - 2> "$work/err" > "$work/stdout.zelv"
check "status with -o -" 0 $?
check "snapshot on standard output" "9 T
  2 x.zip" "$("$cli" list - < "$work/stdout.zelv")"
check "summary on standard error" "0 folder(s) & 1 file(s) successfuly added." \
    "$(head -1 "$work/err")"
"$cli" scan "$work/other" --append - -o "$work/from-stdin.zelv" < "$work/stdout.zelv" > /dev/null
check "--append - reads standard input" "9 $work/other
9 T" "$("$cli" list "$work/from-stdin.zelv" | grep -v '^ ')"

# --append refuses a file that is not a well-formed snapshot, unless --force.
printf 'some text\nnot a snapshot\n' > "$work/text.zelv"
cp "$work/text.zelv" "$work/text-before"
"$cli" scan "$work/other" --append "$work/text.zelv" > /dev/null 2> "$work/err"
check "status of --append to a text file" 2 $?
check "one line for it" 1 "$(wc -l < "$work/err")"
check "the text file stays" "" "$(cmp "$work/text.zelv" "$work/text-before")"
"$cli" scan "$work/other" --append "$work/text.zelv" --force > /dev/null 2>&1
check "status with --force" 0 $?
check "--force appends" 1 "$("$cli" list "$work/text.zelv" | grep -c '^9 ')"

# Folders that cannot be read: one line each, the capture is saved, status 1. Needs a user
# that permissions apply to.
mkdir -p "$work/locked/open/a" "$work/locked/shut" "$work/locked/open/also shut"
: > "$work/locked/open/a/f.txt"
chmod 000 "$work/locked/shut" "$work/locked/open/also shut"
chmod 777 "$work"
run_unprivileged=("$cli")
if [ "$(id -u)" -eq 0 ]; then
    run_unprivileged=(setpriv --reuid=65534 --regid=65534 --clear-groups "$cli")
fi
if [ "$(id -u)" -eq 0 ] && ! command -v setpriv > /dev/null; then
    echo "skipped: unreadable folders (root without setpriv)"
else
    out=$("${run_unprivileged[@]}" scan "$work/locked" -o "$work/locked.zelv" 2> "$work/err")
    check "status with unreadable folders" 1 $?
    check "one line each" "zelvane-cli: $work/locked/open/also shut: Permission denied
zelvane-cli: $work/locked/shut: Permission denied" "$(sort "$work/err")"
    check "the capture is saved" "4 folder(s) & 1 file(s) successfuly added." \
        "$(head -1 <<< "$out")"
    check "with every folder" 6 "$("$cli" list "$work/locked.zelv" | wc -l)"
fi
chmod 755 "$work/locked/shut" "$work/locked/open/also shut"

# Ctrl-C: a stopped capture goes only to a new file, and the status is 130. The signal is
# sent once the program listens for it, while it scans a tree of many folders.
mkdir "$work/big"
(cd "$work/big" && mkdir $(seq -f 'd%g' 1000))
interrupt() { # arguments of scan; the status is the scan's
    "$cli" scan "$work/big" "$@" > "$work/int-out" 2> "$work/int-err" &
    local pid=$!
    for _ in $(seq 2000); do
        grep -q '^SigCgt:.*[2367abef]$' "/proc/$pid/status" 2> /dev/null && break
    done
    kill -INT "$pid"
    wait "$pid"
}
cp "$work/s.zelv" "$work/old.zelv"
interrupt -o "$work/old.zelv"
check "status when stopped" 130 $?
check "an existing file stays" "" "$(cmp "$work/s.zelv" "$work/old.zelv")"
check "and says so" "zelvane-cli: stopped; $work/old.zelv was left as it was" \
    "$(tail -1 "$work/int-err")"
interrupt --append "$work/old.zelv"
check "status when stopped appending" 130 $?
check "the appended file stays" "" "$(cmp "$work/s.zelv" "$work/old.zelv")"
interrupt -o "$work/new.zelv"
check "status when stopped into a new file" 130 $?
check "the new file is saved" yes "$([ -s "$work/new.zelv" ] && echo yes || echo no)"
check "the summary tells" "Note: Scanning process was interrupted." "$(tail -1 "$work/int-out")"
interrupt -o - > /dev/null
check "status when stopped into standard output" 130 $?
check "nothing on standard output" "" "$(cat "$work/int-out")"

mkdir "$work/-dash"
(cd "$work" && "$cli" scan -o d.zelv -- -dash > /dev/null)
check "a path after -- may start with a dash" "9 -dash" "$("$cli" list "$work/d.zelv")"

"$cli" scan "$work/disk" > /dev/null 2>&1
check "no output file" 2 $?
"$cli" scan -o "$work/x.zelv" > /dev/null 2>&1
check "no path" 2 $?
"$cli" scan "$work/disk" "$work/other" -o "$work/x.zelv" > /dev/null 2>&1
check "two paths" 2 $?
"$cli" scan "$work/disk" --bogus -o "$work/x.zelv" > /dev/null 2>&1
check "unknown option" 2 $?
"$cli" scan "$work/disk" -o "$work/no/such/dir/x.zelv" > /dev/null 2> "$work/err"
check "unwritable output" 2 $?
grep -q "no/such/dir/x.zelv" "$work/err"
check "the error names the file" 0 $?
"$cli" scan "$work/disk" --append "$work/absent.zelv" > /dev/null 2>&1
check "append to a missing snapshot" 2 $?
check "nothing created" "no" "$([ -e "$work/absent.zelv" ] && echo yes || echo no)"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
