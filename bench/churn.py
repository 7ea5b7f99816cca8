#!/usr/bin/env python3
"""Changes COUNT folders of a tree, spread over it: in each picked folder a subfolder
"chg" is made, or removed when an earlier run made it. Usage: churn.py LISTFILE COUNT SEED
where LISTFILE holds the tree's folders, one per line (find TREE -type d)."""
import os, random, sys

dirs = open(sys.argv[1], encoding="utf-8", errors="surrogateescape").read().splitlines()
rng = random.Random(int(sys.argv[3]))
for d in rng.sample(dirs, int(sys.argv[2])):
    p = os.path.join(d, "chg")
    try:
        os.rmdir(p)
    except FileNotFoundError:
        os.mkdir(p)
