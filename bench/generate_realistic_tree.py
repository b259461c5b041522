#!/usr/bin/env python3
"""Generates a directory tree shaped like a real disk, for the capture benchmarks.

    bench/generate_realistic_tree.py DIR [ENTRIES] [--seed N]

About ENTRIES entries (default 1,000,000) under DIR, which must not exist: folders of
about ten entries each (from 1 to 19), nested up to 15 levels below DIR, names of about 17
characters in mixed case with digits, spaces and punctuation, one in eight with letters
outside Latin-1 (Cyrillic, Greek, CJK) and a few with accented Latin letters, files with
a spread of extensions (a third of them in no classification group). Files are empty.
The same seed gives the same tree.
"""
import os
import random
import sys

MAX_DEPTH = 15
LATIN = "abcdefghijklmnopqrstuvwxyz"
WORDS = ["report", "photo", "backup", "Project", "data", "IMG", "final", "draft", "notes",
         "Invoice", "music", "track", "setup", "lib", "src", "build", "test", "Archive",
         "holiday", "scan", "Config", "module", "Readme", "cache", "export", "summary"]
FOREIGN = ["фото", "отчёт", "документ", "музыка", "αρχείο", "φωτογραφία", "日本語",
           "資料", "文档", "照片", "Ärger", "café", "naïve", "Straße", "über", "ñandú"]
EXTENSIONS = [".txt", ".jpg", ".png", ".c", ".h", ".cpp", ".html", ".pdf", ".doc", ".mp3",
              ".zip", ".gz", ".dll", ".exe", ".ini", ".xml", ".js", ".py", ".json", ".md",
              ".svg", ".o", ".so", ".rs", ".go", ".log", ".dat", ".JPG", ".PNG", ""]


def name_of(rng, length):
    parts = []
    size = 0
    foreign = rng.random() < 0.125
    while size < length:
        if foreign and rng.random() < 0.5:
            word = rng.choice(FOREIGN)
        elif rng.random() < 0.7:
            word = rng.choice(WORDS)
            word = word.upper() if rng.random() < 0.1 else word
        else:
            word = "".join(rng.choice(LATIN) for _ in range(rng.randint(2, 6)))
        if rng.random() < 0.3:
            word += str(rng.randint(0, 2000))
        parts.append(word)
        size += len(word) + 1
    separator = rng.choice([" ", "-", "_", ".", "", " - ", "(", "'"])
    return separator.join(parts)[:length].strip() or "x"


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--seed")]
    seed = 17
    for a in sys.argv[1:]:
        if a.startswith("--seed="):
            seed = int(a.split("=", 1)[1])
    if not args:
        print(__doc__, file=sys.stderr)
        return 2
    root = args[0]
    entries = int(args[1]) if len(args) > 1 else 1000000
    rng = random.Random(seed)

    # The folders first: each new folder goes under a random folder that is not yet at the
    # deepest level, which gives about one subfolder per folder and a spread of depths.
    folders = entries // 10
    parent = [-1]
    depth = [0]
    open_folders = [0]
    for i in range(1, folders):
        p = open_folders[rng.randrange(len(open_folders))]
        parent.append(p)
        depth.append(depth[p] + 1)
        if depth[i] < MAX_DEPTH:
            open_folders.append(i)
    subfolders = [0] * folders
    for p in parent[1:]:
        subfolders[p] += 1

    os.mkdir(root)
    paths = [root]
    made = folders - 1
    names_used = [set() for _ in range(folders)]
    for i in range(1, folders):
        p = parent[i]
        while True:
            name = name_of(rng, rng.randint(10, 24))
            if name not in names_used[p] and name not in (".", ".."):
                break
        names_used[p].add(name)
        path = os.path.join(paths[p], name)
        paths.append(path)
        os.mkdir(path)

    # Then about ten entries in each folder, its subfolders included, until ENTRIES.
    want = [max(0, rng.randint(1, 19) - subfolders[i]) for i in range(folders)]
    total = made + sum(want)
    while total != entries:
        i = rng.randrange(folders)
        if total < entries:
            want[i] += 1
            total += 1
        elif want[i] > 0:
            want[i] -= 1
            total -= 1
    for i in range(folders):
        for _ in range(want[i]):
            while True:
                name = name_of(rng, rng.randint(8, 20)) + rng.choice(EXTENSIONS)
                if name not in names_used[i]:
                    break
            names_used[i].add(name)
            fd = os.open(os.path.join(paths[i], name), os.O_CREAT | os.O_WRONLY, 0o644)
            os.close(fd)
        names_used[i] = None
    return 0


if __name__ == "__main__":
    sys.exit(main())
