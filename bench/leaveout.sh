#!/usr/bin/env bash
# Folders left out: what the rules cost a walk, against find pruning by the same rules.
#   qvl index, no rules          vs  find TREE -type d (the plain walk's yardstick)
#   qvl index, rules             vs  find TREE \( rules \) -prune -o -type d -print
#   qvl update, rules unchanged  and  qvl update, rules just changed (the drive read whole)
# and the folders each kept, counted, which must agree.
# Usage: bench/leaveout.sh [WORKDIR]   (default /tmp/qvl-bench; shares bench/run.sh's tree)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-/tmp/qvl-bench}
mkdir -p "$work"
command -v hyperfine >/dev/null || { echo "needs hyperfine (apt-get install hyperfine)" >&2; exit 1; }

build="$repo/build-bench"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQVL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" >/dev/null
qvl="$build/qvl"

dirs="$work/dirs" # about 200,000 folders, no files (bench/run.sh makes the same)
[ -f "$work/dirs.done" ] || { rm -rf "$dirs"; python3 "$repo/bench/gentree.py" "$dirs" 200000 0 >/dev/null; touch "$work/dirs.done"; }
find "$dirs" -type d >/dev/null # warm the cache

data="$work/data-leaveout"
rm -rf "$data"
mkdir -m 700 "$data"
export QVL_DATA_DIR="$data" QVL_DRIVES="C=$dirs"
# Part of the tree: names with a suffix, a name whole, names that begin alike
# and one subtree by its path.
first=$(find "$dirs" -mindepth 1 -maxdepth 1 -type d | sort | head -1)
prune=(-name '*.bak' -o -name '*.old' -o -name node_modules -o -name 'Zi*' -o -path "$first" -o -name '.*')

mean() { python3 -c "import json,sys; print('%.0f' % (json.load(open(sys.argv[1]))['results'][int(sys.argv[2])]['mean'] * 1000))" "$@"; }
hf() { hyperfine -N -i --style none --warmup 1 --runs "${RUNS:-5}" "$@" >/dev/null 2>&1; }

hf --export-json "$work/lo-plain.json" "$qvl index C" "find $dirs -type d"
plain=$("$qvl" find -c "")

"$qvl" leave-out add name '*.bak' '*.old' node_modules 'Zi*' >/dev/null
"$qvl" leave-out add path "$first" >/dev/null
findPrune=$(printf '%q ' find "$dirs" -mindepth 1 '(' "${prune[@]}" ')' -prune -o -type d -print)
hf --export-json "$work/lo-rules.json" "$qvl index C" "$findPrune"
kept=$("$qvl" find -c "" || true)
pruned=$(find "$dirs" -mindepth 1 \( "${prune[@]}" \) -prune -o -type d -print | wc -l)

hf --export-json "$work/lo-update.json" "$qvl update C"
# Each run adds a rule the last one took away, or takes it away, so every update finds
# the rules changed since the drive was read and reads it whole.
toggle="$qvl leave-out remove name zz-none >/dev/null 2>&1 || $qvl leave-out add name zz-none >/dev/null 2>&1"
hf --export-json "$work/lo-changed.json" "sh -c '$toggle; exec $qvl update C'"

{
    echo "| 200,000 folders, warm cache | ms | yardstick ms |"
    echo "|---|---:|---:|"
    echo "| qvl index, no rules ($plain folders) | $(mean "$work/lo-plain.json" 0) | find -type d: $(mean "$work/lo-plain.json" 1) |"
    echo "| qvl index, 5 rules ($kept kept; find -prune keeps $pruned) | $(mean "$work/lo-rules.json" 0) | find -prune: $(mean "$work/lo-rules.json" 1) |"
    echo "| qvl update, rules unchanged | $(mean "$work/lo-update.json" 0) | |"
    echo "| qvl update, rules changed (read whole) | $(mean "$work/lo-changed.json" 0) | qvl index: $(mean "$work/lo-rules.json" 0) |"
} | tee "$work/leaveout.md"
[ "$kept" = "$pruned" ] || { echo "qvl kept $kept folders, find -prune $pruned" >&2; exit 1; }
