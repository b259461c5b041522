"""zelvane-cli export: CSV, JSON Lines and the HTML page of a folder of odd names, read back
with Python's own parsers; the output file, the choice of format and the failures."""
import base64
import csv
import io
import json
import os
import re

import harness
from harness import CliTest

ODD_FILES = ["D\u00f8/\u65e5\u672c.txt".encode(), b'x,y"z.mp3', b"tab\there", b"new\nline.exe",
             b"\xff\xfebad.doc"]
CSV_ROWS = [  # path, name, kind, kind name, depth, in the tree's order
    ["Disk", "Disk", "9", "drive-root", "0"],
    ["Disk/D\u00f8", "D\u00f8", "6", "folder", "1"],
    ["Disk/D\u00f8/\u65e5\u672c.txt", "\u65e5\u672c.txt", "5", "document", "2"],
    ["Disk/new\nline.exe", "new\nline.exe", "1", "program", "1"],
    ["Disk/tab\there", "tab\there", "8", "other-file", "1"],
    ['Disk/x,y"z.mp3', 'x,y"z.mp3', "7", "media-file", "1"],
    ["Disk/\udcff\udcfebad.doc", "\udcff\udcfebad.doc", "5", "document", "1"],
]


def catalogue(page):
    """The catalogue embedded in a page, and its nodes as (level, kind, name) in order."""
    found = re.search(rb'<script id="catalogue" type="application/json">(.*?)</script>', page, re.S)
    data = json.loads(found[1].decode("utf-8"))
    names = data["names"].split("\0") if data["depth"] else []
    return data, [(ord(d) - 48, ord(k) - 48, n)
                  for d, k, n in zip(data["depth"], data["kind"], names, strict=True)]


class Export(CliTest):
    def setUp(self):
        super().setUp()
        self.s = self.scan(self.tree("disk", ODD_FILES), "Disk")

    def export(self, *args):
        return self.ok("export", self.s, *args, "-o", "-")

    def test_csv_json_and_the_page_hold_the_same_tree(self):
        out = self.export("--format", "csv")
        for field in [b'\r\n"Disk/new\nline.exe","new\nline.exe",1,', b',"x,y""z.mp3",7,',
                      b"\r\nDisk/tab\there,tab\there,8,", b",\xff\xfebad.doc,5,document,1\r\n"]:
            self.assertIn(field, out)  # quoted only when needed, the bytes as they were
        rows = list(csv.reader(io.StringIO(out.decode("utf-8", "surrogateescape"), newline="")))
        self.assertEqual(rows, [["path", "name", "kind", "kind name", "depth"]] + CSV_ROWS)
        out = self.export("--format", "json")
        self.assertEqual(out, self.ok("list", self.s, "--format", "json"))
        page = self.export("--format", "html")
        data, nodes = catalogue(page)
        rows = map(json.loads, out.splitlines())
        self.assertEqual((data["title"], nodes),
                         ("s.zelv", [(len(r["path"]), r["kind"], r["name"]) for r in rows]))
        self.assertIn(b"<title>s.zelv</title>", page)

    def test_the_page_needs_no_other_file_and_carries_the_twelve_icons(self):
        page = self.export("--format", "html").decode("utf-8")
        icon = r'url\("data:image/svg\+xml;base64,([A-Za-z0-9+/=]+)"\)'
        icons = dict(re.findall(r"\.k(\d+) \{ background-image: " + icon + r"; \}", page))
        folder = os.path.join(harness.EXTRA[0], "res", "icons")
        for kind in range(12):
            [svg] = [f for f in os.listdir(folder) if f.startswith("kind%02d_" % kind)]
            with open(os.path.join(folder, svg), "rb") as f:
                self.assertEqual(base64.b64decode(icons.pop(str(kind))), f.read(), svg)
        self.assertEqual(icons, {})
        outside = re.sub(icon, "", page)
        for reference in ["://", " src=", "href=", "@import", "url(", "fetch(", "XMLHttpRequest",
                          "<link", "<iframe", "<img"]:
            self.assertNotIn(reference, outside)

    def test_the_page_keeps_hostile_names_deep_levels_and_every_kind(self):
        hostile = "</script><script>alert(1)</script><!--"
        records = [(9, 0, hostile), (6, 1, " </title>&amp;"), (5, 2, "\u2028\ud800x\U0001F600"),
                   (8, 1, "")] + [(k, 0, "r") for k in range(12)] + \
                  [(6, d, " f") for d in range(1, 256)] + [(200, 255, "x")]
        self.snapshot("s.zelv", records)
        page = self.export("--format", "html", "--title", "<b>T&C</b>")
        self.assertEqual(page.count(b"</script>"), 2)  # the data's and the code's own
        self.assertIn(b"<title>&lt;b&gt;T&amp;C&lt;/b&gt;</title>", page)
        data, nodes = catalogue(page)
        self.assertEqual((data["title"], nodes), ("<b>T&C</b>", [(d, k, n) for k, d, n in records]))
        rows = [json.loads(line) for line in self.export("--format", "json").splitlines()]
        self.assertEqual(data["kinds"], [row["kindName"] for row in rows[4:16]])
        self.snapshot("s.zelv", [])
        self.assertEqual([self.export("--format", "csv"), self.export("--format", "json"),
                          catalogue(self.export("--format", "html"))[1]],
                         [b"path,name,kind,kind name,depth\r\n", b"", []])

    def test_the_output_file_is_replaced_whole_and_its_name_may_give_the_format(self):
        mask = os.umask(0)
        os.umask(mask)
        for name, start in [("out.csv", b"path,name"), ("out.json", b'{"file":'),
                            ("out.jsonl", b'{"file":'), ("out.html", b"<!DOCTYPE html>"),
                            ("out.htm", b"<!DOCTYPE html>"), ("x.html", b"path,name")]:
            with open(self.path(name), "wb") as f:
                f.write(b"old contents that are longer than nothing" * 100)
            given = ["--format", "csv"] if name == "x.html" else []  # --format wins
            self.assertEqual(self.ok("export", self.s, *given, "-o", self.path(name)), b"")
            with open(self.path(name), "rb") as f:
                self.assertEqual((f.read(len(start)), os.stat(self.path(name)).st_mode & 0o777),
                                 (start, 0o666 & ~mask), name)
        self.assertEqual(len(os.listdir(self.work)), 8, "no temporary file is left")
        os.rename(self.s, self.path("-s.zelv"))
        self.assertTrue(self.ok("export", "--format", "csv", "-o", "-", "--", "-s.zelv",
                                cwd=self.work).startswith(b"path,name"))

    def test_failures_are_told_in_one_line_and_write_nothing(self):
        missing, out = self.path("missing.zelv"), self.path("never.csv")
        for args, message in [
            ([missing, "-o", out], missing + ": No such file"),
            ([self.s, "-o", self.path("no/such/dir/x.csv")], "no/such/dir/x.csv: No such file"),
            ([self.s, "-o", "/dev/full", "--format", "html"], "No space left on device"),
            ([self.s, "--format", "xml", "-o", "-"], "csv, json or html, not 'xml'"),
            ([self.s, "-o", self.path("x.txt")], "say which format"),
            ([self.s, "-o", "-"], "say which format"),
            ([self.s, "--format", "csv"], "say where to write"),
            ([self.s, "--format", "csv", "-o"], "-o needs a value"),
            (["--format", "csv", "-o", "-"], "a snapshot file is needed"),
            ([self.s, self.s, "--format", "csv", "-o", "-"], "one snapshot file"),
            ([self.s, "--frmat", "csv", "-o", "-"], "unknown option '--frmat'"),
        ]:
            with self.subTest(args=args):
                self.fails(["export", *args], 2, message)
                self.assertEqual(sorted(os.listdir(self.work)), ["disk", "s.zelv"])


if __name__ == "__main__":
    harness.main()
