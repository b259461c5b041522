#!/bin/bash
# zelvane-cli search, info and list end to end over a scanned folder: Path, a tab, Item,
# then the count; the options, escaped control characters, exit statuses and failures.
# Usage: cli_search_test.sh path/to/zelvane-cli
set -u
cli=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/zelvane-cli-search-XXXXXX")
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

mkdir -p "$work/disk/Docs"
: > "$work/disk/Docs/ReadMe.txt"
: > "$work/disk/Docs/bad"$'\e'"[31m.txt"
: > "$work/disk/readme.md"
: > "$work/disk/del"$'\x7f'".txt"
"$cli" scan "$work/disk" --title Disk -o "$work/s.zelv" > /dev/null
s=$work/s.zelv
tab=$'\t'

search() { # expected, arguments...
    local expected=$1
    shift
    local out
    out=$("$cli" search "$@" 2> /dev/null)
    check "status of search $*" 0 $?
    check "search $*" "$expected" "$out"
}
search " Disk\\\\ Docs${tab}ReadMe.txt
 Disk${tab}readme.md
2 matches found." "$s" readme
search " Disk${tab}readme.md
1 matches found." "$s" readme --match-case
search " Disk${tab} Docs
1 matches found." --whole "$s" " Docs"
search "0 matches found." "$s" D --files-only --no-recursive
search "${tab}Disk
1 matches found." "$s" D --no-recursive
search "0 matches found." "$s" -- --x # after -- a pattern may begin with a dash
search " Disk\\\\ Docs${tab}bad\\x1B[31m.txt
1 matches found." "$s" bad
search " Disk${tab}del\\x7F.txt
1 matches found." "$s" DEL

out=$("$cli" list "$s")
check "status of list" 0 $?
check "list" "9 Disk
  6  Docs
    5 bad\\x1B[31m.txt
    5 ReadMe.txt
  5 del\\x7F.txt
  8 readme.md" "$out"
out=$("$cli" info "$s")
check "status of info" 0 $?
check "info" "Roots:${tab}1
Folders:${tab}1
Files:${tab}4
Records:${tab}6
Deepest level:${tab}2
UTF-16 names:${tab}0
Well formed" "$out"
head -c -1 "$s" > "$work/cut.zelv"
out=$("$cli" info "$work/cut.zelv")
check "status of info with the last name cut" 1 $?
check "info with the last name cut" "UTF-16 names:${tab}0
Defect: the last name is cut off by the end of the file
Not well formed" "$(tail -3 <<< "$out")"
# More than the 64 KiB written at a time, each line once; the overview's columns.
mkdir "$work/big"
for i in $(seq 1200); do : > "$work/big/$(printf '%064d' "$i")"; done
"$cli" scan "$work/big" -o "$work/big.zelv" > /dev/null
check "lines of a long search" "1201 1201" "$("$cli" search "$work/big.zelv" 0 | wc -l) \
$("$cli" list "$work/big.zelv" | wc -l)"
check "overview" "  search  lists the nodes whose names match a pattern" \
    "$("$cli" --help | grep '^  search')"
for command in info list; do
    "$cli" $command "$work/missing.zelv" > /dev/null 2>&1
    check "status of $command on a missing file" 2 $?
    "$cli" $command "$s" "$s" > /dev/null 2>&1
    check "status of $command with two files" 2 $?
done

for arguments in "$s" "$s|" "$s|a|b" "$s|a|--wholly" "$work/missing.zelv|a"; do
    IFS='|' read -r -a words <<< "$arguments"
    [ "${arguments: -1}" = "|" ] && words+=("")
    out=$("$cli" search "${words[@]}" 2> /dev/null)
    check "status of search $arguments" 2 $?
    check "no output for search $arguments" "" "$out"
done
"$cli" search --help | grep -q '^Usage: zelvane-cli search FILE PATTERN'
check "--help" 0 $?

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
