"""What the zelvane-cli tests share: the program run with a time bound, a scratch folder
for each test, trees of empty files and snapshots written record by record. Each test file
runs as FILE path/to/zelvane-cli [EXTRA...] (the manual page or the source folder)."""
import os
import subprocess
import sys
import tempfile
import unittest

CLI = None
EXTRA = []


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
        scratch = tempfile.TemporaryDirectory(prefix="zelvane-cli-test-")
        self.addCleanup(scratch.cleanup)
        self.work = scratch.name

    def path(self, *names):
        return os.path.join(self.work, *names)

    def tree(self, folder, names):
        """The folder, with empty files at the relative paths names (str or bytes; a name
        that ends with / is a folder)."""
        for name in names:
            where = os.path.join(os.fsencode(self.path(folder)), os.fsencode(name))
            os.makedirs(os.path.dirname(where), exist_ok=True)
            if not where.endswith(b"/"):
                open(where, "wb").close()
        return self.path(folder)

    def scan(self, folder, title, name="s.zelv"):
        self.ok("scan", folder, "--title", title, "-o", self.path(name))
        return self.path(name)

    def snapshot(self, name, records):
        with open(self.path(name), "wb") as f:
            f.write(b"".join(record(*r) for r in records))
        return self.path(name)

    def roots(self, snapshot):
        return [line for line in self.ok("list", snapshot).decode().splitlines() if line[0] != " "]

    def ok(self, *args, status=0, **options):
        """Standard output of a run that ends with status and says nothing on stderr."""
        code, out, err = run(*args, **options)
        self.assertEqual((code, err), (status, ""), args)
        return out

    def fails(self, args, status, message):
        """A failure: its status, no output, the message alone (a usage error adds a hint)
        with no control character."""
        code, out, err = run(*args)
        self.assertEqual((code, out), (status, b""), (args, err))
        self.assertIn(message, err, args)
        self.assertEqual(err.count("\n"), 2 if "Try 'zelvane-cli" in err else 1, err)
        self.assertNotIn("\x1b", err)


def main():
    global CLI
    CLI = os.path.abspath(sys.argv[1])
    EXTRA.extend(sys.argv[2:])
    unittest.main(argv=sys.argv[:1], verbosity=2)
