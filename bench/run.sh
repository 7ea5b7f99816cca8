#!/usr/bin/env bash
# Benchmarks qvl against its yardsticks on a generated tree, warm cache:
#   index: qvl index  vs  find TREE -type d  and  updatedb.plocate (same tree)
#   find:  qvl find   vs  plocate -i -b     (both databases from the same folders)
#   exact search on a synthetic index of a million folders; peak memory of qvl index.
# Usage: bench/run.sh [WORKDIR]   (default /tmp/qvl-bench; the trees are kept for reruns)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-/tmp/qvl-bench}
mkdir -p "$work"

need=()
command -v hyperfine >/dev/null || need+=(hyperfine)
command -v updatedb.plocate >/dev/null || need+=(plocate)
command -v python3 >/dev/null || need+=(python3)
[ -x /usr/bin/time ] || need+=(time)
if [ ${#need[@]} -gt 0 ]; then
    if [ "$(id -u)" = 0 ]; then
        apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
    else
        echo "Missing: ${need[*]}. Install them with: sudo apt-get install ${need[*]}" >&2
        exit 1
    fi
fi

build="$repo/build-bench"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQVL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" >/dev/null
qvl="$build/qvl"

tree="$work/tree"   # about 200,000 folders, 5 files in each
dirs="$work/dirs"   # the same folders without the files
[ -f "$work/tree.done" ] || { rm -rf "$tree"; python3 "$repo/bench/gentree.py" "$tree" 200000 5 >/dev/null; touch "$work/tree.done"; }
[ -f "$work/dirs.done" ] || { rm -rf "$dirs"; python3 "$repo/bench/gentree.py" "$dirs" 200000 0 >/dev/null; touch "$work/dirs.done"; }
find "$tree" "$dirs" -type d >/dev/null # warm the cache

mean() { python3 -c "import json,sys; print('%.1f' % (json.load(open(sys.argv[1]))['results'][int(sys.argv[2])]['mean'] * 1000))" "$@"; }
hf() { hyperfine -N -i --style none "$@" >/dev/null 2>&1; }

echo "Building indexes..." >&2
export QVL_DATA_DIR="$work/data-tree" QVL_DRIVES="C=$tree"
updatedb="updatedb.plocate -U $tree -o $work/tree.plocate.db -l 0 --prunepaths '' --prunefs '' --prunenames ''"
hf -w 1 -r 5 --export-json "$work/index.json" "find $tree -type d" "$qvl index"
# updatedb.plocate reuses its previous database for folders that did not change: time
# it both from scratch (like qvl index, which always rebuilds) and reusing its database.
hf -r 3 --prepare "rm -f $work/tree.plocate.db" --export-json "$work/updatedb-fresh.json" "$updatedb"
hf -w 1 -r 5 --export-json "$work/updatedb-reuse.json" "$updatedb"
peak=$(/usr/bin/time -f %M "$qvl" index 2>&1 >/dev/null | tail -1)

export QVL_DATA_DIR="$work/data-dirs" QVL_DRIVES="C=$dirs"
"$qvl" index >/dev/null
updatedb.plocate -U "$dirs" -o "$work/dirs.plocate.db" -l 0 --prunepaths '' --prunefs '' --prunenames ''

{
echo "## Index, warm cache, $(find "$tree" -mindepth 1 -type d | wc -l) folders with $(find "$tree" -type f | wc -l) files"
echo
echo "| command | mean ms |"
echo "|---|---|"
echo "| find TREE -type d | $(mean "$work/index.json" 0) |"
echo "| qvl index | $(mean "$work/index.json" 1) |"
echo "| updatedb.plocate, from scratch | $(mean "$work/updatedb-fresh.json" 0) |"
echo "| updatedb.plocate, reusing its previous database | $(mean "$work/updatedb-reuse.json" 0) |"
echo
echo "Peak memory of qvl index: $((peak / 1024)) MB"
echo
echo "## Search, whole process, warm cache, the directories-only copy"
echo
echo "| needle | hits (qvl / plocate) | qvl find ms | plocate -i -b ms | ratio |"
echo "|---|---|---|---|---|"
for needle in belbelne harbel ta; do
    hq=$("$qvl" find "$needle" | wc -l)
    hp=$(plocate -d "$work/dirs.plocate.db" -i -b "$needle" | wc -l)
    hf -w 5 -r 50 --export-json "$work/find.json" "$qvl find $needle" \
        "plocate -d $work/dirs.plocate.db -i -b $needle"
    q=$(mean "$work/find.json" 0); p=$(mean "$work/find.json" 1)
    echo "| $needle | $hq / $hp | $q | $p | $(python3 -c "print('%.2f' % ($q / $p))") |"
done
echo
"$build/qvl_genstore" 1000000 "$work/data-million" "$build/fresh.dat" >/dev/null
export QVL_DATA_DIR="$work/data-million"
hits=$("$qvl" find -e belbelne | wc -l)
hf -w 5 -r 50 --export-json "$work/exact.json" "$qvl find -e belbelne" "$qvl find belbelne"
echo "## A million folders (synthetic index)"
echo
echo "| search | hits | mean ms |"
echo "|---|---|---|"
echo "| qvl find -e belbelne | $hits | $(mean "$work/exact.json" 0) |"
echo "| qvl find belbelne | $("$qvl" find belbelne | wc -l) | $(mean "$work/exact.json" 1) |"
echo
echo "## The window searching the million folders for \"n\" (offscreen)"
echo
QT_QPA_PLATFORM=offscreen "$build/qvl_searchwindow" "$work/data-million" n 2>/dev/null | sed 's/^/    /'
echo
echo "## The window during an index run of the tree (offscreen)"
echo
QT_QPA_PLATFORM=offscreen "$build/qvl_liveness" "$tree" 2>/dev/null | sed 's/^/    /'
} | tee "$work/results.md"
