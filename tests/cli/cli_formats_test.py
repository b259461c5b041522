#!/usr/bin/env python3
"""zelvane-cli list and search through every output form, over a tree of odd names (tab,
newline, backslash, invalid UTF-8, non-Latin, terminal escapes): JSON Lines, TSV and -0 give
back the names byte for byte; the text form and every message show no control character;
failed writes, closed pipes, running out of memory, standard input and --version.

Usage: cli_formats_test.py path/to/zelvane-cli [path/to/zelvane-cli.1]"""

import json
import os
import re
import resource
import signal
import subprocess
import sys
import tempfile

CLI = os.path.abspath(sys.argv[1])
MAN = sys.argv[2] if len(sys.argv) > 2 else None
failures = []


def check(what, expected, actual):
    if expected != actual:
        failures.append(f"{what}\n  expected: {expected!r}\n  actual:   {actual!r}")


def run(*args, stdin=None, **kwargs):
    return subprocess.run([CLI, *args], capture_output=True, stdin=stdin, **kwargs)


ODD = [
    b"tab\there",
    b"new\nline",
    b"back\\slash",
    b"invalid\xff\xfe.txt",
    "\u65e5\u672c\u8a9e \u03a9.mp3".encode(),
    b"esc\x1b]0;title\x07.txt",
    b"cr\r.doc",
    b" leading space",
    "emoji \U0001f600.jpg".encode(),
]


def make_tree(base):
    """A folder of odd names with a sub-folder of odd names; returns every relative path."""
    paths = []
    os.makedirs(os.path.join(base, b"sub \xe9\\dir"))
    paths.append(b"sub \xe9\\dir")
    for name in ODD:
        for folder in (b"", b"sub \xe9\\dir"):
            rel = os.path.join(folder, name) if folder else name
            open(os.path.join(base, rel), "wb").close()
            paths.append(rel)
    return sorted(paths)


def tsv_unescape(field):
    """The documented reading of a TSV field: \\\\ \\t \\n \\r, \\xNN (a character below
    80, else a raw byte), \\uXXXX (a UTF-16 unit)."""
    out = bytearray()
    i = 0
    units = []

    def flush_units():
        if units:
            out.extend(b"".join(u.to_bytes(2, "little") for u in units).decode(
                "utf-16-le", "surrogatepass").encode("utf-8", "surrogateescape"))
            units.clear()

    while i < len(field):
        c = field[i]
        if c == "\\":
            kind = field[i + 1]
            if kind in "\\tnr":
                flush_units()
                out.extend({"\\": b"\\", "t": b"\t", "n": b"\n", "r": b"\r"}[kind])
                i += 2
            elif kind == "x":
                flush_units()
                out.append(int(field[i + 2:i + 4], 16))
                i += 4
            else:
                units.append(int(field[i + 2:i + 6], 16))
                i += 6
            continue
        flush_units()
        out.extend(c.encode("utf-8"))
        i += 1
    flush_units()
    return bytes(out)


def main():
    work = tempfile.mkdtemp(prefix="zelvane-cli-formats-").encode()
    base = os.path.join(work, b"disk")
    os.mkdir(base)
    expected = make_tree(base)
    snap = os.path.join(work, b"s.zelv")
    r = run("scan", base, "--title", "R", "-o", snap)
    check("scan status", 0, r.returncode)

    # -0 in the slash style: the relative paths, byte for byte, after the root's title.
    r = run("list", snap, "-0", "--path-style", "slash")
    check("list -0 status", 0, r.returncode)
    got = r.stdout.split(b"\0")
    check("list -0 ends with a NUL", b"", got[-1])
    check("list -0 paths", [b"R"] + [b"R/" + p for p in expected], sorted(got[:-1]))

    # JSON Lines: the path array and the name give back the stored texts; names that are
    # not UTF-8 come back with surrogateescape.
    r = run("list", snap, "--format", "json")
    rows = [json.loads(line) for line in r.stdout.decode("utf-8").splitlines()]
    check("one JSON object a node", len(expected) + 1, len(rows))
    rebuilt = []
    for row in rows:
        check("file field", snap.decode(), row["file"])
        if not row["path"]:
            check("the root", ("R", 9, "drive-root"), (row["name"], row["kind"], row["kindName"]))
            continue
        texts = row["path"][1:] + [row["name"]]
        names = [t[1:] if t.startswith(" ") and k == 6 else t
                 for t, k in zip(texts, [6] * (len(texts) - 1) + [row["kind"]])]
        rebuilt.append(b"/".join(n.encode("utf-8", "surrogateescape") for n in names))
    check("JSON names, byte for byte", expected, sorted(rebuilt))
    kinds = {row["name"]: (row["kind"], row["kindName"]) for row in rows}
    check("a folder's kind", (6, "folder"), kinds[" sub \udce9\\dir"])
    check("a media file's kind", (7, "media-file"), kinds["\u65e5\u672c\u8a9e \u03a9.mp3"])

    # TSV: five columns; the fields read back by the documented escapes.
    r = run("list", snap, "--format", "tsv", "--path-style", "slash")
    lines = r.stdout.decode("utf-8").split("\n")
    check("TSV ends with a newline", "", lines[-1])
    rebuilt = []
    for line in lines[:-1]:
        fields = line.split("\t")
        check("five TSV columns", 5, len(fields))
        if fields[1]:
            whole = tsv_unescape(fields[1]) + b"/" + tsv_unescape(fields[2])
            rebuilt.append(whole[len(b"R/"):])
    check("TSV names, byte for byte", expected, sorted(rebuilt))

    # Text: no control character reaches the terminal, in listings or in messages.
    for args in (["list", snap], ["list", snap, "--path-style", "slash"],
                 ["search", snap, "e"], ["search", snap, snap, "*", "--glob"]):
        r = run(*args)
        check(f"{args[0]} text status", 0, r.returncode)
        bad = set(re.findall(rb"[\x00-\x08\x0b-\x1f\x7f]", r.stdout))
        check(f"no control characters in {args[0]} text", set(), bad)
    r = run("search", snap, "back\\slash", "--whole")
    check("a backslash is not doubled", b" R\\ sub \\xE9\\dir\tback\\slash\n R\tback\\slash\n",
          r.stdout)
    evil = os.path.join(work, b"evil\x1b]0;x\x07.zelv")
    for args in (["info", evil], ["list", evil], ["search", evil, "x"],
                 ["scan", evil, "-o", snap], ["scan", base, "--append", evil],
                 ["list", "--bogus\x1b[2J"]):
        r = run(*args)
        check(f"{args[0]} of a missing file status", 2, r.returncode)
        check(f"{args[0]}: no escape in the message", False, b"\x1b" in r.stderr)
        check(f"{args[0]}: the name shown escaped", True, b"\\x1B" in r.stderr)

    # Several files: -0 gives the file and a NUL before each path; JSON names the file.
    other = os.path.join(work, b"t.zelv")
    run("scan", os.path.join(base, b"sub \xe9\\dir"), "--title", "T", "-o", other)
    r = run("search", "-e", "tab", snap, other, "-0", "--path-style", "slash")
    check("search -0 over two files",
          [snap, b"R/sub \xe9\\dir/tab\there", snap, b"R/tab\there", other, b"T/tab\there", b""],
          r.stdout.split(b"\0"))
    r = run("search", other, snap, "\u65e5\u672c", "--format", "json")
    check("JSON rows name their files", [other.decode(), snap.decode(), snap.decode()],
          [json.loads(x)["file"] for x in r.stdout.decode().splitlines()])

    # Standard input as a snapshot.
    with open(snap, "rb") as f:
        r = run("list", "-", "--format", "json", stdin=f)
    check("list - reads standard input", len(expected) + 1, len(r.stdout.splitlines()))
    check("and names it -", "-", json.loads(r.stdout.splitlines()[0])["file"])

    # Output that cannot be written: status 2 and one line; a closed pipe: quiet.
    for args in (["list", snap], ["search", snap, "e"], ["info", snap], ["--version"],
                 ["list", "--help"], ["scan", base, "-o", os.path.join(work, b"x.zelv")],
                 ["scan", base, "-o", "-"]):
        with open("/dev/full", "wb") as full:
            r = subprocess.run([CLI, *args], stdout=full, stderr=subprocess.PIPE)
        check(f"{args} > /dev/full status", 2, r.returncode)
        check(f"{args} > /dev/full message", 1, len(r.stderr.decode(errors="replace").splitlines()))
    big = os.path.join(work, b"big")
    os.mkdir(big)
    for i in range(1000):
        open(os.path.join(big, b"%0100d" % i), "wb").close()
    run("scan", big, "-o", os.path.join(work, b"big.zelv"))
    for args in (["list", os.path.join(work, b"big.zelv")],
                 ["search", os.path.join(work, b"big.zelv"), "0"]):
        p = subprocess.Popen([CLI, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        p.stdout.readline()
        p.stdout.close()
        err = p.stderr.read()
        p.wait()
        check(f"{args[0]} | head: killed by SIGPIPE", -signal.SIGPIPE, p.returncode)
        check(f"{args[0]} | head: quiet", b"", err)

    # Running out of memory: one line and status 2, never an abort.
    def little_memory():
        resource.setrlimit(resource.RLIMIT_AS, (120 << 20, 120 << 20))

    probe = subprocess.run([CLI, "--version"], capture_output=True, preexec_fn=little_memory)
    if probe.returncode != 0:
        print("skipped: running out of memory (the program does not start with 120 MB of "
              "address space; a sanitizer build?)")
    for args in (["list", "/dev/zero"], ["search", "/dev/zero", "x"]) if probe.returncode == 0 else ():
        r = subprocess.run([CLI, *args], capture_output=True, preexec_fn=little_memory,
                           timeout=60)
        check(f"{args} with little memory: status", 2, r.returncode)
        lines = r.stderr.decode().splitlines()
        check(f"{args} with little memory: one line", 1,
              len([x for x in lines if x != "0 matches found."]))
        check(f"{args} with little memory: the reason", True,
              "Cannot allocate memory" in lines[0] or "out of memory" in lines[0])

    # The version, from the program and from every command.
    commands = re.findall(r"^  (\w+) ", run("--help").stdout.decode(), re.M)
    check("commands listed", True, {"info", "list", "scan", "search"} <= set(commands))
    for args in [["--version"]] + [[c, "--version"] for c in commands]:
        r = run(*args)
        check(f"{args} status", 0, r.returncode)
        check(f"{args}", b"zelvane-cli 2.0\n", r.stdout)

    # The manual page describes every option of every command's --help, and the kinds.
    if MAN:
        with open(MAN, encoding="utf-8") as f:
            man = f.read().replace("\\-", "-")
        check("the manual's version", f'"Zelvane {run("--version").stdout.decode().split()[-1]}"',
              re.match(r'\.TH \S+ 1 "[^"]*" ("[^"]*")', man).group(1))
        for command in commands:
            help_text = run(command, "--help").stdout.decode()
            check(f"{command} in the manual", True, f"\n.SS {command}" in man or
                  f'\n.SS "{command}' in man or f"\n.SS zelvane-cli {command}" in man)
            for option in sorted(set(re.findall(r"(?<![\w-])(--?[a-z][\w-]*)", help_text))):
                check(f"{command} {option} in the manual", True, option in man)
        # The kind table: numbers 0 to 11 with their names, as the program prints them.
        table = dict(re.findall(r"^\s*(\d+)\s+([a-z][a-z-]*)\s", man, re.M))
        check("the kind table's numbers", [str(k) for k in range(12)], sorted(table, key=int))
        for row in rows:
            check(f"kind {row['kind']} named as in the manual", table.get(str(row["kind"])),
                  row["kindName"])

    subprocess.run(["rm", "-rf", work])
    for failure in failures:
        print("FAIL:", failure)
    if failures:
        print(f"{len(failures)} check(s) failed")
        sys.exit(1)
    print("all checks passed")


main()
