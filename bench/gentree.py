#!/usr/bin/env python3
"""Builds a deterministic benchmark tree: about DIRS directories, about FILES_PER_DIR
empty files in each, and, with --dirs-only, the same tree without the files.

Names are made of syllables so that some substrings are rare, some medium and some
common; a few names carry periods, spaces, upper case and non-ASCII letters."""
import os, random, sys

def main():
    root = sys.argv[1]
    dirs = int(sys.argv[2]) if len(sys.argv) > 2 else 200_000
    files_per_dir = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    rng = random.Random(20261206)
    syll = ["ka", "lo", "mi", "ne", "ru", "ta", "vo", "zi", "pe", "do", "sa", "fu",
            "gri", "bel", "tor", "wen", "qua", "xen", "yul", "har", "dom", "pix"]
    words = sorted({"".join(rng.choice(syll) for _ in range(rng.randint(2, 4)))
                    for _ in range(3000)})
    def name():
        w = rng.choice(words)
        r = rng.random()
        if r < 0.15: w = w.capitalize()
        elif r < 0.18: w = w.upper()
        if rng.random() < 0.10: w += "." + rng.choice(["d", "old", "v2", "bak"])
        if rng.random() < 0.05: w += " " + rng.choice(words)
        if rng.random() < 0.02: w += rng.choice(["é", "ü", "ø", "Ärger"])
        if rng.random() < 0.25: w += str(rng.randint(0, 99))
        return w
    os.makedirs(root, exist_ok=True)
    made = 0
    frontier = [root]
    while made < dirs:
        parent = frontier.pop(rng.randrange(len(frontier))) if len(frontier) > 64 else rng.choice(frontier)
        for _ in range(rng.randint(1, 8)):
            if made >= dirs: break
            p = os.path.join(parent, name())
            if os.path.exists(p): continue
            os.mkdir(p)
            made += 1
            frontier.append(p)
            for i in range(files_per_dir):
                open(os.path.join(p, f"file{i}.txt"), "w").close()
    print(made)

main()
