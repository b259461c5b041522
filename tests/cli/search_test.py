"""zelvane-cli search: what each option changes (how names match is the matchers' own test),
several snapshots, the count on standard error, the statuses, the refused arguments."""
import json

import harness
from harness import CliTest, run


class Search(CliTest):
    def test_each_option_and_several_files(self):
        s = self.scan(self.tree("disk", ["Docs/ReadMe.txt", "readme.md"]), "Disk")
        t = self.scan(self.tree("two", ["Sub/README", "Stra\u00dfe.txt"]), "Two", "t.zelv")
        missing = self.path("missing.zelv")
        for args, status, out in [
            ([s, "readme"], 0, " Disk\\ Docs\tReadMe.txt\n Disk\treadme.md\n"),
            ([s, "readme", "--match-case", "--format", "text"], 0, " Disk\treadme.md\n"),
            (["--whole", s, " Docs"], 0, " Disk\t Docs\n"),
            ([s, "D", "--no-recursive"], 0, "\tDisk\n"),
            ([s, "D", "--files-only", "--no-recursive"], 1, ""),
            ([s, "--", "--x"], 1, ""),
            ([s, t, "readme"], 0, f"{s}: Disk\\ Docs\tReadMe.txt\n{s}: Disk\treadme.md\n"
                                  f"{t}: Two\\ Sub\tREADME\n"),
            (["-e", "readme", t, s], 0, f"{t}: Two\\ Sub\tREADME\n{s}: Disk\\ Docs\tReadMe.txt\n"
                                        f"{s}: Disk\treadme.md\n"),
            ([missing, t, "README"], 2, f"{t}: Two\\ Sub\tREADME\n"),
            ([t, "-e", "STRASSE"], 1, ""),
            ([t, "-e", "STRASSE", "--ignore-case-unicode"], 0, " Two\tStra\u00dfe.txt\n"),
            ([t, "*e*", "--glob", "--path-style", "slash", "--kinds", "numbers"], 0,
             "Two/Sub/README\t8\nTwo/Stra\u00dfe.txt\t5\n"),
            ([s, "[r]*.m?", "--glob", "--kinds", "names"], 0, " Disk\treadme.md\tother-file\n"),
            ([s, "^read.*txt$", "--regex"], 0, " Disk\\ Docs\tReadMe.txt\n"),
            ([s, "^read.*txt$", "--regex", "--match-case"], 1, ""),
            ([s, "d..k", "--regex", "--whole"], 0, "\tDisk\n"),
        ]:
            with self.subTest(args=args):
                told = f"zelvane-cli: {missing}: No such file or directory\n" * (missing in args)
                count = f"{len(out.splitlines())} matches found.\n"
                self.assertEqual(run("search", *args), (status, out.encode(), told + count))
        got = run("search", s, t, "-e", "readme", "-0", "--path-style", "slash")[1]
        self.assertEqual(got.split(b"\0"), [s.encode(), b"Disk/Docs/ReadMe.txt", s.encode(),
                                            b"Disk/readme.md", t.encode(), b"Two/Sub/README", b""])
        got = run("search", t, s, "README", "--format", "json")[1]
        self.assertEqual([json.loads(row)["file"] for row in got.splitlines()], [t, s, s])

    def test_refused_arguments(self):
        s = self.snapshot("s.zelv", [(9, 0, "Disk")])
        for args, message in [
            ([s], "a snapshot file and a pattern are needed"),
            ([s, ""], "the pattern is empty"),
            (["-e", "x"], "a snapshot file is needed"),
            (["", "x"], "the snapshot file name is empty"),
            ([s, "x", "-e"], "-e needs a pattern"),
            ([s, "x", "--wholly"], "unknown option '--wholly'"),
            ([s, "x", "--glob", "--regex"], "--glob and --regex do not go together"),
            ([s, "x", "--match-case", "--ignore-case-unicode"], "do not go together"),
            ([s, "(", "--regex"], "search: "),
            ([s, "x", "-0", "--format", "json"], "-0 prints whole paths"),
            ([s, "x", "--format", "xml"], "--format is text, tsv or json, not 'xml'"),
            ([s, "x", "--kinds"], "--kinds needs a value"),
        ]:
            with self.subTest(args=args):
                self.fails(["search", *args], 2, message)


if __name__ == "__main__":
    harness.main()
