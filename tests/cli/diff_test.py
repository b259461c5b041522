"""zelvane-cli diff: two scans of a folder that changed in between, and snapshots written
record by record: the lines and their order, the formats, the statuses, the failures."""
import json
import os
import shutil

import harness
from harness import CliTest, run

D = [(9, 0, "D")]


class Diff(CliTest):
    def diff(self, old, new, *options, status=1):
        files = self.snapshot("old.zelv", old), self.snapshot("new.zelv", new)
        return self.ok("diff", *files, *options, status=status).decode("utf-8", "surrogateescape")

    def test_a_changed_folder_scanned_again(self):
        disk = self.tree("disk", ["Docs/a.txt", "Old/x/deep.mp3", "keep.exe", "gone.zip"])
        before = self.scan(disk, "Disk", "before.zelv")
        shutil.rmtree(os.path.join(disk, "Old"))
        os.remove(os.path.join(disk, "gone.zip"))
        after = self.scan(self.tree("disk", ["New/n.txt", "Docs/c\tnew\n.txt"]), "Disk", "a.zelv")
        self.assertEqual(self.ok("diff", before, after, "--path-style", "slash", status=1).decode(),
                         "+ Disk/Docs/c\\x09new\\x0A.txt\n+ Disk/New\n+ Disk/New/n.txt\n"
                         "- Disk/Old\n- Disk/Old/x\n- Disk/Old/x/deep.mp3\n- Disk/gone.zip\n")
        self.assertEqual(self.ok("diff", after, after), b"")

    def test_lines_follow_the_merged_tree_and_pair_stored_texts(self):
        for old, new, options, status, out in [
            # Folders first, letter case ignored: "B" between "a" and "c".
            (D + [(8, 1, "B"), (8, 1, "d")],
             D + [(6, 1, " E"), (8, 2, "e"), (8, 1, "a"), (8, 1, "c"), (8, 1, "d")],
             ["--path-style", "slash"], 1, "+ D/E\n+ D/E/e\n+ D/a\n- D/B\n+ D/c\n"),
            (D + [(6, 1, " a")], D + [(5, 1, "a")], ["--path-style", "native"], 1,
             "-  D\\ a\n+  D\\a\n"),
            (D + [(5, 1, "a"), (5, 1, "a")], D + [(5, 1, "a")], [], 1, "-  D\\a\n"),
            # Neither the order of the records nor the kinds count.
            (D + [(5, 1, "x"), (5, 1, "y")], D + [(7, 1, "y"), (8, 1, "x")], [], 0, ""),
            (D, [(4, 0, "D")], [], 0, ""),
            ([], [], [], 0, ""),
            ([], D + [(5, 1, "a")], ["--path-style", "slash"], 1, "+ D\n+ D/a\n"),
        ]:
            with self.subTest(old=old, new=new):
                self.assertEqual(self.diff(old, new, *options, status=status), out)

    def test_formats_carry_every_name_losslessly(self):
        odd = "z\udcff\udcfe\t\\\n\u65e5\u672c"
        old, new = D + [(5, 1, odd)], D + [(6, 1, " \u03a9")]
        self.assertEqual(self.diff(old, new, "--path-style", "slash"),
                         "+ D/\u03a9\n- D/z\\xFF\\xFE\\x09\\\\x0A\u65e5\u672c\n")
        self.assertEqual(self.diff(old, new, "--format", "tsv"),
                         f"+\t{self.path('new.zelv')}\t D\t \u03a9\t6\tfolder\n"
                         f"-\t{self.path('old.zelv')}\t D\tz\\xFF\\xFE\\t\\\\\\n\u65e5\u672c\t5"
                         "\tdocument\n")
        rows = [json.loads(line) for line in self.diff(old, new, "--format", "json").splitlines()]
        listed = [json.loads(self.ok("list", self.path(f), "--format", "json").splitlines()[1])
                  for f in ["new.zelv", "old.zelv"]]
        self.assertEqual(rows, [{"change": "+", **listed[0]}, {"change": "-", **listed[1]}])
        self.assertEqual(self.diff(old, new, "-0", "--path-style", "slash").encode(
            "utf-8", "surrogateescape"),
            b"+ D/\xce\xa9\0- D/z\xff\xfe\t\\\n\xe6\x97\xa5\xe6\x9c\xac\0")

    def test_standard_input_empty_files_and_failures(self):
        old, new = self.snapshot("old.zelv", D), self.snapshot("new.zelv", D)
        missing = self.path("missing.zelv")
        for args, message in [
            ([old, missing], missing + ": No such file"),
            ([missing, new], missing + ": No such file"),
            ([old], "an old and a new snapshot file are needed"),
            ([old, new, new], "two snapshot files, please"),
            ([old, new, "--colour"], "unknown option '--colour'"),
            ([old, new, "--format", "csv"], "--format is text, tsv or json"),
            ([old, new, "-0", "--format", "json"], "-0"),
        ]:
            with self.subTest(args=args):
                self.fails(["diff", *args], 2, message)
        with open(new, "rb") as f:
            stdin = f.read()
        for args, status, out in [(["/dev/null", new], 1, b"+ D\n"), (["-", new], 0, b""),
                                  ([new, "-"], 0, b""), (["/dev/null", "-"], 1, b"+ D\n")]:
            self.assertEqual(self.ok("diff", *args, status=status, stdin=stdin), out, args)


if __name__ == "__main__":
    harness.main()
