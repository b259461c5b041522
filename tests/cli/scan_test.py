"""zelvane-cli scan: the summary and the saved tree, --append and what it refuses, the
failures, folders that cannot be read, and Ctrl-C."""
import os
import pathlib
import re
import shutil
import signal
import subprocess
import unittest

import harness
from harness import CliTest, run

SUMMARY = "{} folder(s) & {} file(s) successfuly added.\nTotal size is {} byte(s)\n"


class Scan(CliTest):
    def setUp(self):
        super().setUp()
        self.disk = self.tree("disk", ["Zeta/", "alpha/inner/notes.TXT", "Beta.txt", "apple.txt",
                                       "autorun.inf"])
        for name, size in [("Beta.txt", 5), ("alpha/inner/notes.TXT", 10)]:
            with open(os.path.join(self.disk, name), "wb") as f:
                f.write(b"1" * size)
        os.symlink("..", os.path.join(self.disk, "alpha", "loop"))
        self.other = self.tree("other", ["x.zip"])

    def test_summary_and_saved_tree(self):
        self.assertTrue(self.ok("scan", "--help").startswith(b"Usage: zelvane-cli scan PATH"))
        out = self.ok("scan", self.disk, "--title", "b disk", "-o", self.path("s.zelv"))
        self.assertEqual(out.decode(), SUMMARY.format(3, 5, 15))
        self.assertEqual(self.ok("list", self.path("s.zelv")).decode(),
                         "9 b disk\n  6  alpha\n    6  inner\n      5 notes.TXT\n    8 loop\n"
                         "  6  Zeta\n  5 apple.txt\n  3 autorun.inf\n  5 Beta.txt\n")
        out = self.ok("scan", self.disk, "--filter", "TXT", "-o", self.path("f.zelv"))
        self.assertEqual(out.decode(), SUMMARY.format(3, 1, 10))
        self.assertEqual(self.roots(self.path("f.zelv")), ["9 " + self.disk])
        os.mkdir(self.path("-dash"))  # after --, a path may begin with a dash
        self.ok("scan", "-o", "d.zelv", "--", "-dash", cwd=self.work)
        self.assertEqual(self.ok("list", self.path("d.zelv")), b"9 -dash\n")

    def test_append_and_standard_streams(self):
        snapshot, copy = self.scan(self.disk, "b disk"), self.path("copy.zelv")
        self.ok("scan", self.other, "--title", "A other", "--append", snapshot)
        self.assertEqual(self.roots(snapshot), ["9 A other", "9 b disk"])
        self.ok("scan", self.other, "--append", snapshot, "-o", copy)
        self.assertEqual((len(self.roots(copy)), len(self.roots(snapshot))), (3, 2))
        # -o -: the snapshot on standard output, the summary on standard error.
        code, out, err = run("scan", self.other, "--title", "T", "-o", "-")
        self.assertEqual((code, err, self.ok("list", "-", stdin=out)),
                         (0, SUMMARY.format(0, 1, 0), b"9 T\n  2 x.zip\n"))
        self.ok("scan", self.other, "--append", "-", "-o", copy, stdin=out)
        self.assertEqual(self.roots(copy), ["9 " + self.other, "9 T"])

    def test_append_refuses_a_damaged_file_unless_forced(self):
        text = self.path("text.zelv")
        with open(text, "wb") as f:
            f.write(b"some text\nnot a snapshot\n")
        self.fails(["scan", self.other, "--append", text], 2, text + ": not a well-formed")
        with open(text, "rb") as f:
            self.assertEqual(f.read(), b"some text\nnot a snapshot\n")
        self.ok("scan", self.other, "--append", text, "--force")
        self.assertEqual(sum(root.startswith("9 ") for root in self.roots(text)), 1)
        # A kind above 11 is kept and is no defect.
        odd = self.snapshot("odd.zelv", [(9, 0, "R"), (200, 1, "x")])
        self.ok("scan", self.other, "--title", "T", "--append", odd)
        self.assertEqual(self.ok("list", odd), b"9 R\n  200 x\n9 T\n  2 x.zip\n")

    def test_failures_write_nothing(self):
        evil, target = self.path("evil\x1b[2J"), self.path("m.zelv")
        missing = self.path("evil\\x1B[2J") + ": No such file or directory"
        for args, message in [
            ([evil, "-o", target], missing),
            ([self.disk + "/apple.txt", "-o", target], self.disk + "/apple.txt: Not a directory"),
            ([self.disk, "--append", evil], missing),
            ([self.disk], "an output file is needed"),
            (["-o", target], "a directory to capture is needed"),
            ([self.disk, self.other, "-o", target], "one directory, please"),
            ([self.disk, "--bogus", "-o", target], "unknown option '--bogus'"),
            ([self.disk, "-o", self.path("no", "such", "x.zelv")], "no/such/x.zelv: No such file"),
        ]:
            with self.subTest(args=args):
                self.fails(["scan", *args], 2, message)
                self.assertEqual(sorted(os.listdir(self.work)), ["disk", "other"])

    @unittest.skipIf(os.geteuid() == 0 and not shutil.which("setpriv"),
                     "root without setpriv: the folders' permissions would not apply")
    def test_folders_that_cannot_be_read_are_named_and_the_capture_saved(self):
        locked = self.tree("locked", ["open/a/f.txt", "shut/", "open/also shut/"])
        for folder in ["shut", "open/also shut"]:
            os.chmod(os.path.join(locked, folder), 0)
            self.addCleanup(os.chmod, os.path.join(locked, folder), 0o755)
        os.chmod(self.work, 0o777)
        nobody = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
        code, out, err = run("scan", locked, "-o", self.path("locked.zelv"),
                             wrap=nobody if os.geteuid() == 0 else ())
        self.assertEqual((code, out.decode()), (1, SUMMARY.format(4, 1, 0)), err)
        self.assertEqual(sorted(err.splitlines()), [
            f"zelvane-cli: {locked}/open/also shut: Permission denied",
            f"zelvane-cli: {locked}/shut: Permission denied"])
        self.assertEqual(len(self.ok("list", self.path("locked.zelv")).splitlines()), 6)


def state(pid):
    with open(f"/proc/{pid}/stat") as f:
        return f.read().rsplit(")", 1)[1].split()[0]


def inside(pid, folder):
    """Whether the process catches SIGINT and has folder or a folder inside it open."""
    with open(f"/proc/{pid}/status") as f:
        caught = int(re.search(r"^SigCgt:\s*(\w+)", f.read(), re.M)[1], 16)
    open_files = [os.readlink(f"/proc/{pid}/fd/{fd}") for fd in os.listdir(f"/proc/{pid}/fd")]
    folder = os.path.realpath(folder)
    return caught >> (signal.SIGINT - 1) & 1 and any(
        name == folder or name.startswith(folder + "/") for name in open_files)


class Interrupt(CliTest):
    """Ctrl-C at a known point: the scan is stopped (SIGSTOP) while it has a folder of the
    tree open, sent SIGINT, and let go on (SIGCONT) with the signal pending."""

    def hold(self, scan):
        """Stops the scan inside the tree; False when it ended before it was seen there."""
        while scan.poll() is None:
            try:
                if inside(scan.pid, self.big):
                    os.kill(scan.pid, signal.SIGSTOP)
                    while state(scan.pid) not in "TZ":
                        pass
                    if state(scan.pid) == "T" and inside(scan.pid, self.big):
                        return True
                    os.kill(scan.pid, signal.SIGCONT)
            except OSError:
                pass  # a descriptor closed while it was looked at
        return False

    def interrupt(self, *args):
        """(status, stdout, stderr) of a scan of the tree held and interrupted inside it. A
        scan that ended before it was caught runs again, on a fresh old.zelv, no new.zelv."""
        for _ in range(50):
            self.snapshot("old.zelv", [(9, 0, "old")])
            pathlib.Path(self.path("new.zelv")).unlink(missing_ok=True)
            with subprocess.Popen([harness.CLI, "scan", self.big, *args], stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE) as scan:
                try:
                    if held := self.hold(scan):
                        os.kill(scan.pid, signal.SIGINT)
                        os.kill(scan.pid, signal.SIGCONT)
                    out, err = scan.communicate(timeout=120)
                except BaseException:
                    scan.kill()  # never left stopped
                    raise
            if held:
                return scan.returncode, out, err.decode()
        self.fail("the scan was never caught inside the tree")

    def test_a_stopped_capture_is_saved_only_into_a_new_file(self):
        self.big, old = self.tree("big", ["d%d/" % i for i in range(1000)]), self.path("old.zelv")
        for args, told in [(["-o", old], old + " was left as it was"),
                           (["--append", old], old + " was left as it was"),
                           (["-o", "-"], "nothing was written")]:
            with self.subTest(args=args):
                code, out, err = self.interrupt(*args)
                self.assertEqual((code, out, err.splitlines()[-1]),
                                 (130, b"", "zelvane-cli: stopped; " + told))
                self.assertEqual(self.ok("list", old), b"9 old\n")
        code, out, err = self.interrupt("-o", self.path("new.zelv"))
        self.assertEqual((code, err, out.decode().splitlines()[-1]),
                         (130, "", "Note: Scanning process was interrupted."))
        self.assertEqual(self.roots(self.path("new.zelv")), ["9 " + self.big])


if __name__ == "__main__":
    harness.main()
