#!/usr/bin/env python3
# zelvane-cli diff end to end: two scans of a folder that changed in between, and snapshot
# files written record by record; the lines and their order, the formats, the exit
# statuses and the failures.
# Usage: cli_diff_test.py path/to/zelvane-cli
import json
import os
import shutil
import subprocess

import cli_export_test as support
from cli_export_test import CliTest, run, write_snapshot


class Diff(CliTest):
    def snapshots(self, old, new):
        write_snapshot(self.path("old.zelv"), old)
        write_snapshot(self.path("new.zelv"), new)
        return self.path("old.zelv"), self.path("new.zelv")

    def diff(self, old, new, *options, status=1):
        code, out, err = run("diff", *self.snapshots(old, new), *options)
        self.assertEqual((code, err), (status, ""), options)
        return out.decode("utf-8", "surrogateescape")

    def test_a_changed_folder_scanned_again(self):
        disk = self.path("disk")
        for name in ["Docs/a.txt", "Docs/b.txt", "Old/x/deep.mp3", "keep.exe", "gone.zip"]:
            os.makedirs(os.path.dirname(os.path.join(disk, name)), exist_ok=True)
            open(os.path.join(disk, name), "wb").close()
        scans = []
        for step in range(2):
            scans.append(self.path("scan%d.zelv" % step))
            code, _, err = run("scan", disk, "--title", "Disk", "-o", scans[-1])
            self.assertEqual(code, 0, err)
            if step == 1:
                break
            shutil.rmtree(os.path.join(disk, "Old"))
            os.remove(os.path.join(disk, "gone.zip"))
            os.makedirs(os.path.join(disk, "New"))
            open(os.path.join(disk, "New", "n.txt"), "wb").close()
            open(os.path.join(disk, "Docs", "c\tnew\n.txt"), "wb").close()
        code, out, err = run("diff", *scans, "--path-style", "slash")
        self.assertEqual((code, err), (1, ""))
        self.assertEqual(out.decode().splitlines(), [
            "+ Disk/Docs/c\\x09new\\x0A.txt",
            "+ Disk/New",
            "+ Disk/New/n.txt",
            "- Disk/Old",
            "- Disk/Old/x",
            "- Disk/Old/x/deep.mp3",
            "- Disk/gone.zip",
        ])
        code, out, err = run("diff", scans[1], scans[1])
        self.assertEqual((code, out, err), (0, b"", ""), "a snapshot against itself")

    def test_lines_follow_the_merged_tree_in_the_snapshots_sort_order(self):
        # Between shared nodes the added and removed meet in the sort order: folders first,
        # letter case ignored ("B" between "a" and "c", not before them as in code order).
        root = [(9, 0, "D")]
        out = self.diff(root + [(8, 1, "B"), (8, 1, "d")],
                        root + [(6, 1, " E"), (8, 2, "e"), (8, 1, "a"), (8, 1, "c"), (8, 1, "d")],
                        "--path-style", "slash")
        self.assertEqual(out, "+ D/E\n+ D/E/e\n+ D/a\n- D/B\n+ D/c\n")

    def test_paths_are_stored_texts_and_same_names_pair_in_order(self):
        root = [(9, 0, "D")]
        self.assertEqual(self.diff(root + [(6, 1, " a")], root + [(5, 1, "a")],
                                   "--path-style", "native"),
                         "-  D\\ a\n+  D\\a\n")
        self.assertEqual(self.diff(root + [(5, 1, "a"), (5, 1, "a")], root + [(5, 1, "a")]),
                         "-  D\\a\n")
        self.assertEqual(self.diff(root + [(5, 1, "x"), (5, 1, "y")],
                                   root + [(7, 1, "y"), (8, 1, "x")], status=0), "",
                         "neither order nor kinds count")
        self.assertEqual(self.diff(root, [(4, 0, "D")], status=0), "")
        self.assertEqual(self.diff([], [], status=0), "")
        self.assertEqual(self.diff([], root + [(5, 1, "a")], "--path-style", "slash"),
                         "+ D\n+ D/a\n")

    def test_formats_carry_every_name_losslessly(self):
        odd = "z\udcff\udcfe\t\\\n日本"
        old = [(9, 0, "D"), (5, 1, odd)]
        new = [(9, 0, "D"), (6, 1, " Ω")]
        old_file, new_file = self.snapshots(old, new)
        self.assertEqual(self.diff(old, new, "--path-style", "slash"),
                         "+ D/Ω\n- D/z\\xFF\\xFE\\x09\\\\x0A日本\n")
        self.assertEqual(self.diff(old, new, "--format", "tsv"),
                         "+\t%s\t D\t Ω\t6\tfolder\n"
                         "-\t%s\t D\tz\\xFF\\xFE\\t\\\\\\n日本\t5\tdocument\n" % (new_file, old_file))
        rows = [json.loads(line) for line in self.diff(old, new, "--format", "json").splitlines()]
        self.assertEqual(rows, [
            {"change": "+", "file": new_file, "path": ["D"], "name": " Ω", "kind": 6,
             "kindName": "folder"},
            {"change": "-", "file": old_file, "path": ["D"], "name": odd, "kind": 5,
             "kindName": "document"},
        ])
        self.assertEqual(rows[1]["name"].encode("utf-8", "surrogateescape"),
                         b"z\xff\xfe\t\\\n\xe6\x97\xa5\xe6\x9c\xac")
        code, out, _ = run("diff", old_file, new_file, "-0", "--path-style", "slash")
        self.assertEqual((code, out),
                         (1, b"+ D/\xce\xa9\0- D/z\xff\xfe\t\\\n\xe6\x97\xa5\xe6\x9c\xac\0"))

    def test_failures_exit_with_2(self):
        old_file, new_file = self.snapshots([(9, 0, "D")], [(9, 0, "D")])
        missing = self.path("missing.zelv")
        self.assertFails(["diff", old_file, missing], 2, missing + ": No such file")
        self.assertFails(["diff", missing, new_file], 2, missing + ": No such file")
        for args, message in [
            ([old_file], "an old and a new snapshot file are needed"),
            ([old_file, new_file, new_file], "two snapshot files, please"),
            ([old_file, new_file, "--colour"], "unknown option '--colour'"),
            ([old_file, new_file, "--format", "csv"], "--format is text, tsv or json"),
            ([old_file, new_file, "-0", "--format", "json"], "-0"),
        ]:
            self.assertFails(["diff", *args], 2, message)
        code, out, _ = run("diff", "/dev/null", new_file)
        self.assertEqual((code, out), (1, b"+ D\n"), "an empty file is an empty snapshot")
        with open(new_file, "rb") as f:
            new_bytes = f.read()
        for args in [["-", new_file], [new_file, "-"]]:
            code, out, err = run("diff", *args, stdin=new_bytes)
            self.assertEqual((code, out, err), (0, b"", ""), "- reads standard input")
        code, out, err = run("diff", "/dev/null", "-", stdin=new_bytes)
        self.assertEqual((code, out), (1, b"+ D\n"))

    def test_an_output_that_cannot_be_written_is_an_error(self):
        old_file, new_file = self.snapshots([], [(9, 0, "D")])
        with open("/dev/full", "wb") as full:
            done = subprocess.run([support.CLI, "diff", old_file, new_file], stdout=full,
                                  stderr=subprocess.PIPE)
        self.assertEqual(done.returncode, 2)
        self.assertIn(b"No space left on device", done.stderr)


if __name__ == "__main__":
    support.main()
