#!/usr/bin/env bash
# qvl index against updatedb.plocate from a cold cache, on the directories-only tree of
# run.sh (200,000 folders): the page cache is dropped before each run, which needs root
# (/proc/sys/vm/drop_caches); without it the script says so and stops. Median of 3 each,
# with the peak memory of qvl index.
# Usage: bench/cold.sh [WORKDIR] [BASELINE_BUILD]   (default /tmp/qvl-bench)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-/tmp/qvl-bench}
baseline=${2:-}
mkdir -p "$work"
if ! (sync && echo 3 >/proc/sys/vm/drop_caches) 2>/dev/null; then
    echo "Cannot drop the page cache here (needs root): no cold figures." >&2
    exit 1
fi
command -v updatedb.plocate >/dev/null || { echo "Missing plocate (apt-get install plocate)" >&2; exit 1; }
build="$repo/build-bench"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQVL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" >/dev/null
dirs="$work/dirs"
[ -f "$work/dirs.done" ] || { rm -rf "$dirs"; python3 "$repo/bench/gentree.py" "$dirs" 200000 0 >/dev/null; touch "$work/dirs.done"; }
export QVL_DATA_DIR="$work/data-cold" QVL_DRIVES="C=$dirs"
mkdir -p "$QVL_DATA_DIR"

cold() { # median wall seconds of 3 cold runs of the command
    for _ in 1 2 3; do
        rm -f "$work/cold.plocate.db"
        sync
        echo 3 >/proc/sys/vm/drop_caches
        /usr/bin/time -f %e "$@" 2>&1 >/dev/null | tail -1
    done | sort -n | sed -n 2p
}
updatedb=$(cold updatedb.plocate -U "$dirs" -o "$work/cold.plocate.db" -l 0 --prunepaths '' --prunefs '' --prunenames '')
qvl=$(cold "$build/qvl" index)
before=""
[ -n "$baseline" ] && before=$(cold "$baseline/qvl" index)
peak=$(/usr/bin/time -f %M "$build/qvl" index 2>&1 >/dev/null | tail -1)
{
echo "## Index from a cold cache, $(find "$dirs" -mindepth 1 -type d | wc -l) folders"
echo
echo "| command | median s |"
echo "|---|---|"
echo "| updatedb.plocate, from scratch (the yardstick) | $updatedb |"
[ -n "$baseline" ] && echo "| $baseline/qvl index | $before |"
echo "| qvl index | $qvl ($(python3 -c "print('%.2f' % ($qvl / $updatedb))")x) |"
echo
echo "Peak memory of qvl index (warm): $((peak / 1024)) MB"
} | tee "$work/cold.md"
