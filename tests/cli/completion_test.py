"""The shell completions and the manual page against --help: each shell completes every
command, and every option of each command; every option --help names is in the manual page.
Runs as completion_test.py zelvane-cli MANPAGE COMPLETIONS_DIR."""
import os
import re
import shutil
import subprocess
import sys
import unittest

import harness

HERE = os.path.dirname(os.path.abspath(__file__))


def help_options(command):
    """The long options (and short ones) that COMMAND --help lists."""
    _, out, _ = harness.run(command, "--help")
    text = out.decode()
    options = set(re.findall(r"^\s+(?:-(\w), )?--([\w-]+)", text, re.M))
    return {o for pair in options for o in (("-" + pair[0]) if pair[0] else None,
                                            "--" + pair[1]) if o}


def commands():
    _, out, _ = harness.run("--help")
    return re.findall(r"^  (\w+) ", out.decode(), re.M)


def complete(shell, line):
    """The words shell offers for the command line (which ends where Tab is pressed)."""
    folder = os.path.join(harness.EXTRA[1], shell)
    env = dict(os.environ, PATH=os.path.dirname(harness.CLI) + os.pathsep + os.environ["PATH"])
    if shell == "bash":
        words = line.split(" ")
        script = (f"source {folder}/zelvane-cli; COMP_WORDS=({' '.join(repr(w) for w in words)});"
                  f" COMP_CWORD={len(words) - 1}; _zelvane_cli; printf '%s\\n' \"${{COMPREPLY[@]}}\"")
        out = subprocess.run(["bash", "--norc", "-c", script], capture_output=True, env=env,
                             timeout=30).stdout
    elif shell == "fish":
        script = f"source {folder}/zelvane-cli.fish; complete -C '{line}'"
        out = subprocess.run(["fish", "--no-config", "-c", script], capture_output=True,
                             env=env, timeout=30).stdout
    else:
        target = os.path.join(os.environ.get("TMPDIR", "/tmp"), f"zelvane-zsh-{os.getpid()}")
        subprocess.run(["zsh", "-f", os.path.join(HERE, "complete.zsh"), folder, target, line],
                       env=env, timeout=30, check=True)
        with open(target, "rb") as f:
            out = f.read()
        os.unlink(target)
    return {w.split("\t")[0] for w in out.decode().splitlines() if w}


class CompletionTest(unittest.TestCase):
    def test_every_shell_completes_the_commands_and_each_commands_options(self):
        names = commands()
        self.assertIn("search", names)
        for shell in ("bash", "zsh", "fish"):
            if shutil.which(shell) is None:
                self.skipTest(f"{shell} is not installed")
            with self.subTest(shell=shell):
                self.assertLessEqual(set(names), complete(shell, "zelvane-cli "))
                for command in names:
                    longs = {o for o in help_options(command) if o.startswith("--")}
                    self.assertLessEqual(longs, complete(shell, f"zelvane-cli {command} --"),
                                         command)
                self.assertEqual(complete(shell, "zelvane-cli search --format "),
                                 {"text", "tsv", "json"})

    def test_the_manual_page_names_every_option_of_help(self):
        with open(harness.EXTRA[0], encoding="utf-8") as f:
            named = set(re.findall(r"(?<![\w-])--?[\w][\w-]*", f.read().replace("\\-", "-")))
        for command in commands():
            self.assertLessEqual(help_options(command), named, command)


if __name__ == "__main__":
    harness.CLI, harness.EXTRA = sys.argv[1], sys.argv[2:]
    unittest.main(argv=sys.argv[:1])
