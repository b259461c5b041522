#!/bin/bash
# zelvane-cli scan end to end: the summary, the saved tree, --append and the failures.
# Usage: cli_scan_test.sh path/to/zelvane-cli
set -u
cli=$1
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

out=$("$cli" scan "$work/missing" -o "$work/m.zelv" 2> "$work/err")
check "missing path warned about" 1 "$(grep -c "missing: No such file" "$work/err")"
check "missing path" "0 folder(s) & 0 file(s) successfuly added.
Total size is 0 byte(s)" "$out"
check "missing path root" "9 $work/missing" "$("$cli" list "$work/m.zelv")"

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
