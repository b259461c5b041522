"""zelvane-cli info: the counts, each defect and note, the statuses; and the file arguments
that info and list share."""
import harness
from harness import CliTest


class Info(CliTest):
    def test_counts_defects_and_notes(self):
        records = [(9, 0, "Disk"), (6, 1, " Docs"), (5, 2, "\u03a9.txt"), (5, 2, "b"), (8, 1, "a")]
        whole = b"".join(harness.record(*r) for r in records)
        self.assertEqual(self.ok("info", "-", stdin=whole).decode(),
                         "Roots:\t1\nFolders:\t1\nFiles:\t3\nRecords:\t5\nDeepest level:\t2\n"
                         "UTF-16 names:\t1\nWell formed\n")
        for data, status, findings in [
            (whole[:-1], 1, "Defect: the last name is cut off by the end of the file\n"),
            (b"\x09\0A\0\x06\5 B\0\x05\2C\0\x06\2 D\0", 1,
             "Defect: 1 record(s) have no parent at their depth and were placed at the top level\n"
             "Defect: 1 record(s) are more than one level below the record before\n"),
            (b"\x05\7x\0\x05\x08y\0\x09", 1,
             "Defect: the first record is deeper than 0\n"
             "Defect: the file ends after a kind byte\n"),
            # Kinds above 11 are kept, as are long names: noted, but the file is well formed.
            (b"\x09\0r\0\xc8\1x\0\x05\1" + b"y" * 1024 + b"\0", 0,
             "Note: 1 name(s) are longer than 1023 characters\n"
             "Note: 1 record(s) have a kind above 11\n"),
        ]:
            with self.subTest(findings=findings):
                out = self.ok("info", "-", stdin=data, status=status).decode()
                self.assertEqual(out.split("\n", 6)[6],
                                 findings + ("Not well formed\n" if status else "Well formed\n"))

    def test_info_and_list_take_one_readable_file(self):
        s = self.snapshot("s.zelv", [(9, 0, "D")])
        evil = self.path("evil\x1b]0;x\x07.zelv")
        for command in ["info", "list"]:
            for args, message in [
                ([evil], self.path("evil\\x1B]0;x\\x07.zelv") + ": No such file or directory"),
                ([self.work], self.work + ": Is a directory"),
                ([s, s], "one snapshot file, please"),
                ([], "a snapshot file is needed"),
                ([s, "--bogus\x1b[2J"], "unknown option '--bogus\\x1B[2J'"),
            ]:
                with self.subTest(command=command, args=args):
                    self.fails([command, *args], 2, message)


if __name__ == "__main__":
    harness.main()
