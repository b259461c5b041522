#!/usr/bin/env python3
"""Mutation testing of the toolkit-free code: do the tests notice small faults?

    python3 tools/mutate.py [--count 40] [--seed 1] [-j 1] [--files 'src/search/*']
                            [--work DIR] [--list] [--min 85]

The tracked and untracked-but-not-ignored files are copied into a scratch folder per job,
DIR/tree-0, DIR/tree-1 ... (default DIR /tmp/zelvane-mutate); only changed files are copied
again, so a later run reuses the builds in DIR/tree-*/build-mutate. The copies are built
without the GUI (-O0, no debug info, with AddressSanitizer and UndefinedBehaviorSanitizer
as in CI unless --no-sanitize), and the tests run once: if they fail, the run stops.

The candidates are the .cpp files under src/ in compile_commands.json and the function
bodies of the headers under src/ but *_qt.h, narrowed by --files. Mutants are drawn with a
fixed seed: a random line of a random file (weighted by its number of candidate lines), then
a random operator: relational flip, integer constant off by one, true/false, &&/||, binary
+/-, negated if/while condition, or a dropped call/assignment statement. Each mutant is
built incrementally and the tests run until the first failure (KILLED), or all pass
(SURVIVED). A mutant that does not build is STILLBORN and one that leaves every object file
unchanged is EQUIVALENT; neither is scored, and the next one drawn is taken instead. -j N
runs N mutants at once, one per copy, on a share of the cores each; the verdicts come in the
order drawn, the same for any N. The mutated files are always restored, Ctrl-C too.

--list prints the mutants without building them; --min P exits 1 when the score is
below P percent. Exit 2: a copy does not configure or build, or the baseline fails;
exit 130 when interrupted.
"""
import argparse
import contextlib
import fcntl
import fnmatch
import hashlib
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import threading
import time
from collections import Counter
from concurrent.futures import FIRST_COMPLETED, ThreadPoolExecutor, wait
from pathlib import Path

BUILD = "build-mutate"
CMAKE_OPTIONS = ["-G", "Ninja", "-DZELVANE_GUI=OFF", "-DZELVANE_BENCH=OFF", "-DZELVANE_TESTS=ON",
                 "-DCMAKE_BUILD_TYPE=Debug", "-DCMAKE_CXX_FLAGS_DEBUG=-O0"]
# The tests run under AddressSanitizer and UndefinedBehaviorSanitizer, as in CI, so that a
# mutant that leaks, overruns a buffer or overflows is caught like any other fault.
SANITIZE = ["-DZELVANE_SANITIZE=ON"]
CTEST = ["--stop-on-failure", "--timeout", "60"]
SCORED = ("KILLED", "SURVIVED")
LOCK, STOPPED = threading.Lock(), threading.Event()
RUNNING = {}  # thread id: its child process, for stop() to kill


def run(cmd, timeout=None):
    """Runs cmd in its own process group (ended as a whole on timeout, Ctrl-C or stop())."""
    with LOCK:
        if STOPPED.is_set():
            return -1, ""
        proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                text=True, errors="replace", start_new_session=True)
        RUNNING[threading.get_ident()] = proc
    try:
        out, _ = proc.communicate(timeout=timeout)
    except BaseException:
        stop([proc])
        raise
    finally:
        with LOCK:
            del RUNNING[threading.get_ident()]
    return proc.returncode, out


def stop(procs=None):
    """Ends the process groups of procs, or else of all that the workers run, which then
    start nothing more: SIGTERM first, so that ninja stops the compilers it runs in groups
    of their own, then SIGKILL for what still runs after 5 s."""
    if procs is None:
        with LOCK:
            STOPPED.set()
            procs = list(RUNNING.values())
    deadline = time.monotonic() + 5
    for sig in (signal.SIGTERM, signal.SIGKILL):
        for proc in procs:
            with contextlib.suppress(ProcessLookupError, subprocess.TimeoutExpired):
                os.killpg(proc.pid, sig)
                proc.wait(max(0, deadline - time.monotonic()) if sig == signal.SIGTERM else None)


def fail(message, output=""):
    print(*output.splitlines()[-30:], message, sep="\n", file=sys.stderr)
    sys.exit(2)


# ---- the scratch copy -------------------------------------------------------------------

def sync(top, tree):
    """Makes tree hold exactly the project's files; returns how many were (re)written."""
    names = set()
    for extra in ([], ["--others", "--exclude-standard"]):
        out = subprocess.run(["git", "ls-files", "-z", *extra], cwd=top, check=True,
                             capture_output=True).stdout.decode()
        names.update(n for n in out.split("\0") if n)
    written = 0
    for name in sorted(names):
        src, dst = top / name, tree / name
        if not src.is_file():  # deleted in the working tree
            continue
        data = src.read_bytes()
        if dst.is_file() and dst.read_bytes() == data:
            continue
        dst.parent.mkdir(parents=True, exist_ok=True)
        dst.write_bytes(data)  # a fresh mtime, so ninja rebuilds what depends on it
        shutil.copymode(src, dst)
        written += 1
    for path in sorted(tree.rglob("*"), reverse=True):  # stale files, then empty folders
        rel = path.relative_to(tree).as_posix()
        if rel == BUILD or rel.startswith(BUILD + "/"):
            continue
        if path.is_dir() and not path.is_symlink():
            if not any(path.iterdir()):
                path.rmdir()
        elif rel not in names:
            path.unlink()
    return written


def sources(tree, pattern):
    """The src/**.cpp files of the build and the toolkit-free src/**.h files, sorted."""
    found = {os.path.relpath(entry["file"], tree)
             for entry in json.loads((tree / BUILD / "compile_commands.json").read_text())}
    found = {rel for rel in found if rel.endswith(".cpp")}
    found.update(path.relative_to(tree).as_posix() for path in (tree / "src").rglob("*.h"))
    return sorted(rel for rel in found if rel.startswith("src/") and not rel.endswith("_qt.h")
                  and (not pattern or fnmatch.fnmatch(rel, pattern)))


def objects(build):
    """{object file: hash} for every object of the build."""
    return {path: hashlib.sha1(path.read_bytes()).digest() for path in build.rglob("*.o")}


# ---- reading C++ lines ------------------------------------------------------------------

# What a brace opens, told by the code before it: a function or lambda body, a scope, or else
# a braced initializer (which leaves that code going on).
BODY = re.compile(r"(\)[\w\s&]*(->.*)?|\)\s*:.*[)}]|[=(,]\s*\[[^\[\]]*\][\w\s]*)$")
SCOPE = re.compile(r"\b(namespace|class|struct|union|enum)\b|\bextern\s+_+\s*$")


def braces(code, stack, head):
    """Follows the braces of one line: stack holds "body", "scope" or "init" for each open
    brace, head the code since the last statement or block. Returns the new head and
    whether a function body opens on the line."""
    opened = False
    for c in code:
        if c == "{":
            kind = ("body" if "body" in stack or BODY.search(head.rstrip()) else
                    "scope" if SCOPE.search(head) and "init" not in stack else "init")
            stack.append(kind)
            opened = opened or kind == "body"
        elif c == "}":
            kind = stack.pop() if stack else "scope"
        head = "" if c == ";" or c in "{}" and kind != "init" else head + c
    return head + " ", opened


def scan(text, bodies=False):
    """Yields (line number, line, code, statement start) for the lines worth mutating.

    code is the line with comments blanked and literals turned into '_' (same length);
    statement start tells that the line begins a statement at paren depth 0. With bodies,
    only lines in or opening a function body count (for headers)."""
    state = None  # None, "/*", or the closing ')delim"' of a raw string
    depth, prev, pp, stack, head = 0, ";", False, [], ""
    for number, line in enumerate(text.split("\n"), 1):
        inside, start_depth = state is not None, depth
        code, i, n = list(line), 0, len(line)
        while i < n:
            if state:
                j = line.find("*/" if state == "/*" else state, i)
                end = n if j < 0 else j + (2 if state == "/*" else len(state))
                code[i:end] = (" " if state == "/*" else "_") * (end - i)
                state, i = (state if j < 0 else None), end
                continue
            c = line[i]
            if line.startswith("//", i):
                code[i:] = " " * (n - i)
                break
            if line.startswith("/*", i):
                state, code[i:i + 2], i = "/*", "  ", i + 2
                continue
            word = re.search(r"\w*$", line[:i]).group() if c in "\"'" else ""
            if c == '"' and word in ("R", "u8R", "uR", "UR", "LR"):
                opener = line.find("(", i)
                state = ")" + line[i + 1:opener] + '"'
                code[i:opener + 1] = "_" * (opener + 1 - i)
                i = opener + 1
                continue
            if c == "'" and word[:1].isdigit():  # digit separator
                i += 1
                continue
            if c in "\"'":
                j = i + 1
                while j < n and line[j] != c:
                    j += 2 if line[j] == "\\" else 1
                code[i:j + 1] = "_" * (min(j + 1, n) - i)
                i = j + 1
                continue
            depth += {"(": 1, "[": 1, ")": -1, "]": -1}.get(c, 0)
            i += 1
        code = "".join(code)
        stripped = code.strip()
        directive = pp or stripped.startswith("#")
        pp = directive and line.rstrip().endswith("\\")
        if directive or not stripped:
            continue
        in_body = "body" in stack
        head, opened = braces(code, stack, head)
        starts = start_depth == 0 and (prev[-1] in ";{}:" or re.match(
            r"(\}\s*)?(else|(if|for|while)\b.*\))$", prev) is not None)
        prev = stripped
        if inside or "static_assert" in code or re.fullmatch(r"[{}();,\s]*", code):
            continue
        if bodies and not (in_body or opened):
            continue
        yield number, line, code, starts


# ---- mutation operators: each yields (start, end, replacement) on the line ------------------

def spaced(code, start, end):
    return start > 0 and code[start - 1] == " " and (end == len(code.rstrip()) or code[end] == " ")


def relational(code, starts):
    flip = {"<=": "<", ">=": ">", "==": "!=", "!=": "==", "<": "<=", ">": ">="}
    for m in re.finditer(r"<=>|<<=|>>=|<<|>>|->|<=|>=|==|!=|<|>", code):
        if m.group() in flip and (len(m.group()) == 2 or spaced(code, *m.span())):
            yield m.start(), m.end(), flip[m.group()]


def constant(code, starts):
    for m in re.finditer(r"(?<![\w.'])(0[xX][0-9a-fA-F']+|\d[\d']*)(?=[uUlLzZ]*(?![\w.']))", code):
        digits = m.group().replace("'", "")
        hexa = digits[1:2] in ("x", "X")
        base = 16 if hexa else 8 if len(digits) > 1 and digits[0] == "0" else 10
        value = int(digits[2:] if hexa else digits, base)
        for other in (value + 1, value - 1):
            if other >= 0:
                text = (format(other, "X" if digits[2:].isupper() else "x") if hexa
                        else format(other, "o") if base == 8 else str(other))
                yield m.start(), m.end(), (digits[:2] if hexa else "0" if base == 8 else "") + text


def boolean(code, starts):
    for m in re.finditer(r"\b(true|false)\b", code):
        yield m.start(), m.end(), "false" if m.group() == "true" else "true"


def logical(code, starts):
    for m in re.finditer(r"&&|\|\|", code):
        if spaced(code, *m.span()):
            yield m.start(), m.end(), "||" if m.group() == "&&" else "&&"


def arithmetic(code, starts):
    for m in re.finditer(r"\+\+|--|\+=|-=|->|\+|-", code):
        if m.group() in "+-" and spaced(code, *m.span()):
            yield m.start(), m.end(), "-" if m.group() == "+" else "+"


def negation(code, starts):
    for m in re.finditer(r"\b(if|while)\s*(constexpr\s*)?\(", code):
        depth = 0
        for close in range(m.end() - 1, len(code)):
            depth += {"(": 1, ")": -1}.get(code[close], 0)
            if depth == 0:
                break
        cond = code[m.end():close]
        if depth == 0 and ";" not in cond and not re.search(r"(?<![=!<>])=(?!=)", cond):
            yield m.end(), close, None  # None: wrap the span in !( )


ASSIGNED = r"[*&]*[\w:]+(?:(?:\.|->)\w+|\[[^\]]*\]|\([^()]*\))*"
CALLED = r"[\w:]+(?:<[^()]*>)?(?:(?:\.|->)[\w:]+(?:<[^()]*>)?|\[[^\]]*\])*\s*\(.*\)"


def dropped(code, starts):
    body = code.strip()
    if not starts or not body.endswith(";") or body.count(";") != 1:
        return
    body = body[:-1].rstrip()
    balanced = all(body.count(a) == body.count(b) for a, b in ("()", "[]", "{}"))
    keyword = re.match(r"(return|break|continue|goto|throw|co_\w+|delete|using|typedef|case)\b",
                       body)
    if not balanced or keyword:
        return
    assign = re.fullmatch(rf"({ASSIGNED})\s*(?:[-+*/%|&^]|<<|>>)?=(?!=)(?!\s*(default|delete)$).*",
                          body)
    step = re.fullmatch(rf"(\+\+|--){ASSIGNED}|{ASSIGNED}(\+\+|--)", body)
    if assign or step or re.fullmatch(CALLED, body):
        indent = len(code) - len(code.lstrip())
        yield indent, len(code.rstrip()), ";"


OPERATORS = [relational, constant, boolean, logical, arithmetic, negation, dropped]


def mutations(line, code, starts):
    """{operator name: [mutated lines]} for one line."""
    found = {}
    for op in OPERATORS:
        for start, end, new in op(code, starts):
            text = (line[:start] + new + line[end:] if new is not None
                    else line[:start] + "!(" + line[start:end] + ")" + line[end:])
            if text != line and text not in found.setdefault(op.__name__, []):
                found[op.__name__].append(text)
        if not found.get(op.__name__):
            found.pop(op.__name__, None)
    return found


def draw(tree, files, seed):
    """Yields (file, line number, original line, mutated line) at random, never twice."""
    lines = []  # per file: [(number, original, {operator: [mutated]})]
    for rel in files:
        found = []
        text = (tree / rel).read_bytes().decode(errors="surrogateescape")
        for number, line, code, starts in scan(text, rel.endswith(".h")):
            ops = mutations(line, code, starts)
            if ops:
                found.append((number, line, ops))
        lines.append(found)
    total = len({(f, n, t) for f, found in zip(files, lines) for n, _, ops in found
                 for texts in ops.values() for t in texts})
    rng, seen = random.Random(seed), set()
    while len(seen) < total:
        index = rng.choices(range(len(files)), weights=[len(found) for found in lines])[0]
        number, line, ops = rng.choice(lines[index])
        text = rng.choice(ops[rng.choice(sorted(ops))])
        if (files[index], number, text) not in seen:
            seen.add((files[index], number, text))
            yield files[index], number, line, text


# ---- the run ----------------------------------------------------------------------------

def failed_tests(output):
    lines = output.splitlines()
    if "The following tests FAILED:" not in lines:
        return lines[-15:]
    return [line for line in lines[lines.index("The following tests FAILED:") + 1:]
            if line.startswith("\t")]


def attempt(mutant, copy):
    """Builds and tests one mutant in a copy: (verdict, seconds). The file is restored."""
    (rel, number, old, new), (tree, baseline, make, test) = mutant, copy
    began, path = time.monotonic(), tree / rel
    original = path.read_bytes()
    lines = original.split(b"\n")
    lines[number - 1] = new.encode(errors="surrogateescape")
    try:
        path.write_bytes(b"\n".join(lines))
        if run(make)[0]:
            verdict = "STILLBORN"
        elif objects(tree / BUILD) == baseline:
            verdict = "EQUIVALENT"
        else:
            try:
                verdict = "KILLED" if run(test, timeout=900)[0] else "SURVIVED"
            except subprocess.TimeoutExpired:
                verdict = "KILLED"
    finally:
        path.write_bytes(original)
    return verdict, time.monotonic() - began


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--count", type=int, default=40, help="mutants to score (40)")
    parser.add_argument("--seed", type=int, default=1, help="random seed (1)")
    parser.add_argument("-j", "--jobs", type=int, default=1, metavar="N",
                        help="mutants built and tested at once (1)")
    parser.add_argument("--files", metavar="GLOB", help="only these sources, e.g. 'src/search/*'")
    parser.add_argument("--work", default="/tmp/zelvane-mutate", help="scratch folder")
    parser.add_argument("--list", action="store_true", help="only print the mutants")
    parser.add_argument("--min", type=float, metavar="P", help="exit 1 below P percent")
    parser.add_argument("--target", action="append", default=[],
                        help="build only this ninja target (repeatable; default: everything)")
    parser.add_argument("--tests", metavar="REGEX", help="run only the ctest tests matching REGEX")
    parser.add_argument("--no-sanitize", action="store_true",
                        help="build without AddressSanitizer and UndefinedBehaviorSanitizer")
    args = parser.parse_args()
    if args.jobs < 1:
        parser.error("-j takes a number from 1")
    for sig in (signal.SIGTERM, signal.SIGHUP):  # also restore the mutated files on these
        signal.signal(sig, signal.default_int_handler)

    top = Path(subprocess.run(["git", "rev-parse", "--show-toplevel"], check=True, text=True,
                              capture_output=True, cwd=Path(__file__).parent).stdout.strip())
    work = Path(args.work).resolve()
    work.mkdir(parents=True, exist_ok=True)
    lock = open(work / ".lock", "w")
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except OSError:
        fail(f"{work} is in use by another run; pick another one with --work")

    began = time.monotonic()
    trees = [work / f"tree-{k}" for k in range(1 if args.list else args.jobs)]
    sanitize = [] if args.no_sanitize else SANITIZE
    for tree in trees:
        tree.mkdir(exist_ok=True)
        print(f"Copy {tree}: {sync(top, tree)} file(s) refreshed", flush=True)
        rc, out = run(["cmake", "-S", str(tree), "-B", str(tree / BUILD), *CMAKE_OPTIONS,
                       *sanitize])
        if rc:
            fail("The copy does not configure (the tree may be mid-change: try again later).",
                 out)
    files = sources(trees[0], args.files)
    if not files:
        fail(f"No source under src/ matches {args.files!r}.")
    mutants = draw(trees[0], files, args.seed)
    if args.list:
        for k, (rel, number, old, new) in enumerate(mutants, 1):
            print(f"[{k}] {rel}:{number}  {old.strip()!r} -> {new.strip()!r}")
            if k == args.count:
                break
        return 0

    targets = args.target
    select = ["-R", args.tests] if args.tests else []
    for tree in trees:
        rc, out = run(["ninja", "-C", str(tree / BUILD), *targets])
        if rc:
            fail("The copy does not build (the tree may be mid-change: try again later).", out)
    cores = len(os.sched_getaffinity(0))
    rc, out = run(["ctest", "--test-dir", str(trees[0] / BUILD), f"-j{cores}", "--timeout", "60",
                   *select])
    if rc:
        print("The tests fail before any mutation:", *failed_tests(out), sep="\n")
        return 2
    print(f"Baseline built and passed in {time.monotonic() - began:.0f} s", flush=True)

    share = f"-j{max(1, cores // args.jobs)}"
    copies = [(tree, objects(tree / BUILD), ["ninja", "-C", str(tree / BUILD), share, *targets],
               ["ctest", "--test-dir", str(tree / BUILD), *CTEST, share, *select])
              for tree in trees]
    # Never more mutants at once than could still be scored, and the verdicts taken in the
    # order drawn: so that any -j scores the same first --count mutants of the draw.
    verdicts, running, shown, scored = {}, {}, 0, 0  # draw index: (mutant, verdict, seconds)
    with ThreadPoolExecutor(args.jobs) as pool:
        try:
            while True:
                done = sum(verdict in SCORED for _, verdict, _ in verdicts.values())
                while copies and done + len(running) < args.count and (
                        mutant := next(mutants, None)):
                    copy, k = copies.pop(), len(verdicts) + len(running)
                    running[pool.submit(attempt, mutant, copy)] = k, mutant, copy
                if not running:
                    break
                for future in wait(running, return_when=FIRST_COMPLETED).done:
                    k, mutant, copy = running.pop(future)
                    copies.append(copy)
                    verdicts[k] = mutant, *future.result()
                while shown in verdicts and scored < args.count:
                    (rel, number, old, new), status, took = verdicts[shown]
                    print(f"[{scored + 1}/{args.count}] {status:<10} {rel}:{number}  "
                          f"{old.strip()!r} -> {new.strip()!r}  ({took:.1f} s)", flush=True)
                    shown, scored = shown + 1, scored + (status in SCORED)
        except BaseException:  # Ctrl-C, or a worker failed: each worker restores its file
            for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
                signal.signal(sig, signal.SIG_IGN)
            stop()
            raise

    results = [verdicts[k] for k in range(shown)]
    counts = Counter(verdict for _, verdict, _ in results)
    score = 100.0 * counts["KILLED"] / scored if scored else 100.0
    print(f"\nScore: {counts['KILLED']}/{scored} = {score:.1f}%")
    print(f"Stillborn: {counts['STILLBORN']}, equivalent: {counts['EQUIVALENT']}; "
          f"{sum(took for *_, took in results) / max(shown, 1):.1f} s a mutant, "
          f"{time.monotonic() - began:.0f} s in all")
    if scored < args.count:
        print(f"Only {scored} mutant(s) could be scored: the candidates ran out.")
    for (rel, number, old, new), verdict, _ in results:
        if verdict == "SURVIVED":
            print(f"SURVIVED {rel}:{number}\n    - {old.strip()}\n    + {new.strip()}")
    return 1 if args.min is not None and score < args.min else 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except KeyboardInterrupt:
        print("\nInterrupted; the copies' sources are restored.", file=sys.stderr)
        sys.exit(130)
