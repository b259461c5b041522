#!/usr/bin/env python3
# zelvane-cli export end to end: CSV, JSON Lines and the HTML page of a scanned folder with
# odd names (tab, newline, backslash, comma and quote, bytes that are not UTF-8, names that
# are not Latin), read back with Python's own parsers; the page's embedded catalogue parses
# back to the same tree; failures and the choice of format.
# Usage: cli_export_test.py path/to/zelvane-cli [path/to/source]
# The helpers at the top are shared with cli_diff_test.py.
import base64
import csv
import io
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest

CLI = None
SOURCE = None


def run(*args, cwd=None, stdin=b""):
    """Runs zelvane-cli; returns (status, stdout bytes, stderr text)."""
    env = dict(os.environ, LC_ALL="C")
    done = subprocess.run([CLI, *args], input=stdin, capture_output=True, env=env, cwd=cwd,
                          timeout=300)
    return done.returncode, done.stdout, done.stderr.decode("utf-8", "replace")


def record(kind, depth, text):
    """One snapshot record; the code points of text are its UTF-16 units."""
    if all(ord(c) <= 0xFF for c in text) and not text.startswith("\xff\xff"):
        return bytes([kind, depth]) + text.encode("latin-1") + b"\0"
    return bytes([kind, depth]) + b"\xff\xff" + text.encode("utf-16-le", "surrogatepass") + b"\0\0"


def write_snapshot(path, records):
    with open(path, "wb") as f:
        f.write(b"".join(record(*r) for r in records))


class CliTest(unittest.TestCase):
    def setUp(self):
        self._dir = tempfile.TemporaryDirectory(prefix="zelvane-cli-test-")
        self.work = self._dir.name

    def tearDown(self):
        self._dir.cleanup()

    def path(self, name):
        return os.path.join(self.work, name)

    def assertFails(self, args, status, message):
        code, out, err = run(*args)
        self.assertEqual(code, status, (args, err))
        self.assertIn(message, err, args)
        self.assertEqual(err.count("\n"), 2 if "Try 'zelvane-cli" in err else 1, err)
        return out


def main():
    global CLI, SOURCE
    CLI = os.path.abspath(sys.argv.pop(1))
    SOURCE = sys.argv.pop(1) if len(sys.argv) > 1 and not sys.argv[1].startswith("-") else \
        os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
    unittest.main(verbosity=1)


# The folder every export test scans, and the CSV rows it must give (path, name, kind,
# kind name, depth), in the tree's order.
ODD_FILES = [b"Docs/a.txt", "Ünï cødé/日本語.txt".encode(), b'x,y"z.mp3', b"tab\there",
             b"new\nline.txt", b"back\\slash.exe", b"\xff\xfebad.doc"]
CSV_ROWS = [
    ["Disk", "Disk", "9", "drive-root", "0"],
    ["Disk/Docs", "Docs", "6", "folder", "1"],
    ["Disk/Docs/a.txt", "a.txt", "5", "document", "2"],
    ["Disk/Ünï cødé", "Ünï cødé", "6", "folder", "1"],
    ["Disk/Ünï cødé/日本語.txt", "日本語.txt", "5", "document", "2"],
    ["Disk/back\\slash.exe", "back\\slash.exe", "1", "program", "1"],
    ["Disk/new\nline.txt", "new\nline.txt", "5", "document", "1"],
    ["Disk/tab\there", "tab\there", "8", "other-file", "1"],
    ['Disk/x,y"z.mp3', 'x,y"z.mp3', "7", "media-file", "1"],
    ["Disk/\udcff\udcfebad.doc", "\udcff\udcfebad.doc", "5", "document", "1"],
]


def page_catalogue(page):
    """The catalogue embedded in an exported page, as (level, kind, name) in tree order."""
    found = re.search(rb'<script id="catalogue" type="application/json">(.*?)</script>', page, re.S)
    data = json.loads(found.group(1).decode("utf-8"))
    depth, kind = data["depth"], data["kind"]
    names = data["names"].split("\0") if depth else []
    return data, [(ord(d) - 48, ord(k) - 48, n) for d, k, n in zip(depth, kind, names, strict=True)]


class Export(CliTest):
    def setUp(self):
        super().setUp()
        disk = os.path.join(os.fsencode(self.work), b"disk")
        for name in ODD_FILES:
            os.makedirs(os.path.dirname(os.path.join(disk, name)), exist_ok=True)
            open(os.path.join(disk, name), "wb").close()
        self.snapshot = self.path("s.zelv")
        code, _, err = run("scan", os.fsdecode(disk), "--title", "Disk", "-o", self.snapshot)
        self.assertEqual(code, 0, err)

    def export(self, *args):
        code, out, err = run("export", self.snapshot, *args, "-o", "-")
        self.assertEqual((code, err), (0, ""), args)
        return out

    def test_csv_is_rfc4180_and_gives_the_names_bytes_back(self):
        out = self.export("--format", "csv")
        self.assertTrue(out.startswith(b"path,name,kind,kind name,depth\r\n"))
        self.assertIn(b'\r\n"Disk/new\nline.txt","new\nline.txt",5,document,1\r\n', out)
        self.assertIn(b'\r\n"Disk/x,y""z.mp3","x,y""z.mp3",7,media-file,1\r\n', out)
        self.assertIn(b"\r\nDisk/tab\there,tab\there,8,", out)
        self.assertIn(b"\r\nDisk/\xff\xfebad.doc,\xff\xfebad.doc,5,", out)
        self.assertTrue(out.endswith(b"\r\n"))
        rows = list(csv.reader(io.StringIO(out.decode("utf-8", "surrogateescape"), newline="")))
        self.assertEqual(rows[0], ["path", "name", "kind", "kind name", "depth"])
        self.assertEqual(rows[1:], CSV_ROWS)

    def test_json_lines_are_the_rows_of_list_and_carry_every_name_losslessly(self):
        out = self.export("--format", "json")
        code, listed, _ = run("list", self.snapshot, "--format", "json")
        self.assertEqual((code, out), (0, listed))
        rows = [json.loads(line) for line in out.decode("utf-8").splitlines()]
        self.assertEqual(len(rows), len(CSV_ROWS))
        self.assertEqual({row["file"] for row in rows}, {self.snapshot})
        # Each file's path below the root, folders without their leading space, is the
        # path it was created with, byte for byte.
        files = {"/".join([folder[1:] for folder in row["path"][1:]] + [row["name"]])
                 .encode("utf-8", "surrogateescape") for row in rows if row["kind"] not in (6, 9)}
        self.assertEqual(files, set(ODD_FILES))

    def test_page_holds_the_same_tree_as_the_json_lines(self):
        page = self.export("--format", "html")
        data, nodes = page_catalogue(page)
        rows = [json.loads(line) for line in self.export("--format", "json").splitlines()]
        self.assertEqual(nodes, [(len(r["path"]), r["kind"], r["name"]) for r in rows])
        self.assertEqual(data["title"], "s.zelv")
        self.assertEqual(data["kinds"][6], "folder")
        self.assertIn(b"<title>s.zelv</title>", page)

    def test_page_needs_no_other_file_and_carries_the_twelve_icons(self):
        page = self.export("--format", "html").decode("utf-8")
        icons = dict(re.findall(r'\.k(\d+) \{ background-image: url\("data:image/svg\+xml;base64,'
                                r'([A-Za-z0-9+/=]+)"\); \}', page))
        folder = os.path.join(SOURCE, "res", "icons")
        for kind in range(12):
            [svg] = [f for f in os.listdir(folder) if f.startswith("kind%02d_" % kind)]
            with open(os.path.join(folder, svg), "rb") as f:
                self.assertEqual(base64.b64decode(icons.pop(str(kind))), f.read(), svg)
        self.assertEqual(icons, {})
        outside = re.sub(r'url\("data:image/svg\+xml;base64,[A-Za-z0-9+/=]+"\)', "", page)
        for reference in ["://", " src=", "href=", "@import", "url(", "fetch(", "XMLHttpRequest",
                          "<link", "<iframe", "<img"]:
            self.assertFalse(reference in outside, reference)

    def test_nothing_in_a_name_or_title_can_end_the_script_or_the_title(self):
        hostile = "</script><script>alert(1)</script><!--"
        write_snapshot(self.snapshot, [(9, 0, hostile), (6, 1, " </title>&amp;"),
                                       (5, 2, "\u2028\ud800x\U0001F600"), (8, 1, "")])
        page = self.export("--format", "html", "--title", "<b>T&C</b>")
        self.assertEqual(page.count(b"</script>"), 2)  # the data's and the code's own
        self.assertIn(b"<title>&lt;b&gt;T&amp;C&lt;/b&gt;</title>", page)
        data, nodes = page_catalogue(page)
        self.assertEqual(data["title"], "<b>T&C</b>")
        self.assertEqual(nodes, [(0, 9, hostile), (1, 6, " </title>&amp;"),
                                 (2, 5, "\u2028\ud800x\U0001F600"), (1, 8, "")])

    def test_an_empty_snapshot_exports_a_header_no_rows_and_an_empty_tree(self):
        write_snapshot(self.snapshot, [])
        self.assertEqual(self.export("--format", "csv"), b"path,name,kind,kind name,depth\r\n")
        self.assertEqual(self.export("--format", "json"), b"")
        self.assertEqual(page_catalogue(self.export("--format", "html"))[1], [])

    def test_the_page_names_the_twelve_kinds_as_the_json_rows_do(self):
        write_snapshot(self.snapshot, [(kind, 0, "r%d" % kind) for kind in range(12)])
        rows = [json.loads(line) for line in self.export("--format", "json").splitlines()]
        data = page_catalogue(self.export("--format", "html"))[0]
        self.assertEqual(data["kinds"], [row["kindName"] for row in rows])

    def test_deep_levels_and_kinds_above_the_table_survive_the_page(self):
        records = [(9, 0, "r")] + [(6, d, " f%d" % d) for d in range(1, 256)] + [(200, 255, "x")]
        write_snapshot(self.snapshot, records)
        self.assertEqual(page_catalogue(self.export("--format", "html"))[1],
                         [(d, k, n) for k, d, n in records])

    def test_the_output_file_is_replaced_whole_and_the_format_can_come_from_its_name(self):
        for name, start in [("out.csv", b"path,name"), ("out.json", b'{"file":'),
                            ("out.jsonl", b'{"file":'), ("out.html", b"<!DOCTYPE html>"),
                            ("out.htm", b"<!DOCTYPE html>")]:
            target = self.path(name)
            with open(target, "wb") as f:
                f.write(b"old contents that are longer than nothing" * 100)
            code, out, err = run("export", self.snapshot, "-o", target)
            self.assertEqual((code, out, err), (0, b"", ""), name)
            with open(target, "rb") as f:
                self.assertTrue(f.read().startswith(start), name)
            self.assertEqual(os.stat(target).st_mode & 0o777, 0o666 & ~current_umask(), name)
        self.assertEqual(sorted(os.listdir(self.work)),
                         sorted(["disk", "s.zelv", "out.csv", "out.json", "out.jsonl", "out.html",
                                 "out.htm"]), "no temporary file is left")
        code, _, err = run("export", self.snapshot, "--format", "csv", "-o", self.path("x.html"))
        self.assertEqual(code, 0, err)
        with open(self.path("x.html"), "rb") as f:
            self.assertTrue(f.read().startswith(b"path,name"), "--format wins over the name")

    def test_failures_are_told_in_one_line_and_write_nothing(self):
        missing = self.path("missing.zelv")
        out_file = self.path("never.csv")
        self.assertFails(["export", missing, "-o", out_file], 2, missing + ": No such file")
        self.assertFalse(os.path.exists(out_file))
        self.assertFails(["export", self.snapshot, "-o", self.path("no/such/dir/x.csv")], 2,
                         "no/such/dir/x.csv: No such file or directory")
        self.assertFails(["export", self.snapshot, "-o", "/dev/full", "--format", "html"], 2,
                         "No space left on device")
        for args, message in [
            ([self.snapshot, "--format", "xml", "-o", "-"], "csv, json or html, not 'xml'"),
            ([self.snapshot, "-o", self.path("x.txt")], "say which format"),
            ([self.snapshot, "-o", "-"], "say which format"),
            ([self.snapshot, "--format", "csv"], "say where to write"),
            ([self.snapshot, "--format", "csv", "-o"], "-o needs a value"),
            (["--format", "csv", "-o", "-"], "a snapshot file is needed"),
            ([self.snapshot, self.snapshot, "--format", "csv", "-o", "-"], "one snapshot file"),
            ([self.snapshot, "--frmat", "csv", "-o", "-"], "unknown option '--frmat'"),
        ]:
            self.assertFails(["export", *args], 2, message)

    def test_options_end_at_a_double_dash(self):
        dashed = self.path("-s.zelv")
        os.rename(self.snapshot, dashed)
        code, out, err = run("export", "--format", "csv", "-o", "-", "--", "-s.zelv", cwd=self.work)
        self.assertEqual(code, 0, err)
        self.assertTrue(out.startswith(b"path,name"))


def current_umask():
    mask = os.umask(0)
    os.umask(mask)
    return mask


if __name__ == "__main__":
    main()
