"""zelvane-cli list and the output every command shares: odd names (tab, newline, backslash,
bytes that are not UTF-8, names that are not Latin) come back byte for byte from JSON Lines,
TSV and -0, and no control character is shown; standard input, long output, a full disk, a
closed pipe, too little memory, --version and the manual page."""
import json
import os
import re
import resource
import signal
import subprocess

import harness
from harness import CliTest, run

SUB = b"sub \xe9\\dir"
ODD = [b"tab\there", b"new\nline", b"back\\slash", b"invalid\xff\xfe.txt",
       "\u65e5\u672c\u8a9e \u03a9.mp3".encode(), b" space"]
FULL = "zelvane-cli: cannot write the output: No space left on device\n"
TSV_ESCAPES = {b"t": b"\t", b"n": b"\n", b"r": b"\r", b"\\": b"\\"}


def tsv_field(field):
    """A TSV field read back as documented: \\\\ \\t \\n \\r, and \\xNN for the byte NN."""
    return re.sub(rb"\\(x..|.)", lambda m: TSV_ESCAPES.get(m[1]) or bytes([int(m[1][1:], 16)]),
                  field)


class List(CliTest):
    def test_odd_names_come_back_byte_for_byte(self):
        files = ODD + [SUB + b"/" + name for name in ODD]
        s = self.scan(self.tree("disk", files), "R", "s\t\udcff.zelv")
        expected = sorted([SUB, *files])
        out = self.ok("list", s, "--null", "--path-style", "slash")
        self.assertEqual(sorted(out.split(b"\0")), [b"", b"R", *(b"R/" + p for p in expected)])
        rows = [json.loads(line) for line in self.ok("list", s, "--format", "json").splitlines()]
        self.assertEqual(rows[0], {"file": s, "path": [], "name": "R", "kind": 9,
                                   "kindName": "drive-root"})
        # The folders' texts below the root and the name, without a folder's leading space.
        paths = ["/".join([t[1:] for t in r["path"][1:]] + [r["name"][r["kind"] == 6:]])
                 for r in rows[1:]]
        self.assertEqual(sorted(p.encode("utf-8", "surrogateescape") for p in paths), expected)
        # Only a folder below a root loses its space in the slash form, not a root or a file.
        odd = self.snapshot("odd.zelv", [(6, 0, " odd"), (6, 1, " f"), (8, 2, " x")])
        self.assertEqual(self.ok("list", odd, "-0", "--path-style", "slash"),
                         b" odd\0 odd/f\0 odd/f/ x\0")
        lines = self.ok("list", s, "--format", "tsv", "--path-style", "slash").split(b"\n")
        fields = [[tsv_field(field) for field in line.split(b"\t")] for line in lines[:-1]]
        self.assertEqual(({len(f) for f in fields}, {f[0] for f in fields}, lines[-1]),
                         ({5}, {os.fsencode(s)}, b""))
        self.assertEqual(sorted((f[1] + b"/" + f[2])[2:] for f in fields[1:]), expected)
        # Text: one line a node, a tab only between search's columns, no control character.
        for out, tabs, count in [(self.ok("list", s), 0, len(rows)),
                                 (self.ok("list", s, "--path-style", "slash"), 0, len(rows)),
                                 (run("search", s, s, "*", "--glob")[1], 1, 2 * len(rows))]:
            self.assertEqual([line.count(b"\t") for line in out.split(b"\n")], [tabs] * count + [0])
            self.assertNotRegex(out, rb"[\x00-\x08\x0b-\x1f\x7f]")
        with open(s, "rb") as f:
            out = self.ok("list", "-", "--format", "json", stdin=f.read())
        self.assertEqual([json.loads(line)["file"] for line in out.splitlines()], ["-"] * len(rows))

    def test_long_output_whole_cut_by_a_closed_pipe_or_not_written(self):
        names = [b"%0100d" % i for i in range(1000)]
        big = self.snapshot("big.zelv", [(9, 0, "big")] + [(8, 1, n.decode()) for n in names])
        lines = [b"9 big\n"] + [b"  8 %s\n" % n for n in names]
        self.assertEqual(self.ok("list", big), b"".join(lines))
        self.assertEqual(run("search", big, "0"), (0, b"".join(b" big\t%s\n" % n for n in names),
                                                   "1000 matches found.\n"))
        for args, pipe in [(a, p) for a in (["list", big], ["search", big, "0"])
                           for p in (signal.SIG_DFL, signal.SIG_IGN)]:
            with self.subTest(args=args, sigpipe=pipe), subprocess.Popen(
                    [harness.CLI, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                    preexec_fn=lambda: signal.signal(signal.SIGPIPE, pipe)) as p:
                p.stdout.readline()
                p.stdout.close()
                self.assertEqual((p.stderr.read(), p.wait(timeout=120)),
                                 (b"", -signal.SIGPIPE if pipe == signal.SIG_DFL else 2))
        disk = self.tree("disk", ["a"])
        for args in (["list", big], ["search", big, "0"], ["info", big], ["--version"],
                     ["list", "--help"], ["scan", disk, "-o", self.path("x.zelv")],
                     ["scan", disk, "-o", "-"], ["diff", "/dev/null", big]):
            with self.subTest(args=args), open("/dev/full", "wb") as full:
                self.assertEqual(run(*args, stdout=full)[::2], (2, FULL))

    def test_running_out_of_memory_is_told_in_one_line(self):
        def little_memory():
            resource.setrlimit(resource.RLIMIT_AS, (120 << 20, 120 << 20))

        if run("--version", preexec_fn=little_memory)[0] != 0:
            self.skipTest("the program does not start in 120 MB (a sanitizer build?)")
        for args in (["list", "/dev/zero"], ["search", "/dev/zero", "x"]):
            code, _, err = run(*args, preexec_fn=little_memory)
            self.assertEqual(code, 2, args)
            self.assertRegex(err, r"^zelvane-cli: (/dev/zero: Cannot allocate memory|out of memory)"
                                  r"\n(0 matches found.\n)?$")

    def test_version_and_the_manual_page(self):
        with open(harness.EXTRA[0], encoding="utf-8") as f:
            man = f.read().replace("\\-", "-")
        version = re.search(r'^\.TH \S+ 1 "[^"]*" "Zelvane ([^"]*)"', man, re.M)[1]
        commands = re.findall(r"^  (\w+) ", self.ok("--help").decode(), re.M)
        self.assertEqual(commands, ["diff", "export", "info", "list", "scan", "search"])
        for args in [["--version"]] + [[c, "--version"] for c in commands]:
            self.assertEqual(self.ok(*args).decode(), f"zelvane-cli {version}\n", args)
        for command in commands:
            self.assertRegex(man, rf"\n\.SS {command}\n")
            usage = self.ok(command, "--help").decode()
            for option in re.findall(r"(?<![\w-])(--?[a-z][\w-]*)", usage):
                self.assertIn(option, man, command)
        # The kind table, 0 to 11, names the kinds as the program does; others are unknown.
        table = dict(re.findall(r"^\s*(\d+)\s+([a-z][a-z-]*)\s", man, re.M))
        self.assertEqual(sorted(table, key=int), [str(k) for k in range(12)])
        kinds = self.snapshot("kinds.zelv", [(k, 0, "r") for k in range(13)])
        self.assertEqual([json.loads(row)["kindName"] for row in
                          self.ok("list", kinds, "--format", "json").splitlines()],
                         [table[str(k)] for k in range(12)] + ["unknown"])


if __name__ == "__main__":
    harness.main()
