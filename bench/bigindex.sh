#!/usr/bin/env bash
# qvl index of ten million folders: its time and peak memory, beside find over the same
# tree and beside another build's qvl. The tree (gentree.py, no files) takes about 10 GB
# of kernel memory on a tmpfs of its own, so the script needs root to mount it; it is
# made once and left mounted at WORKDIR/big (umount it to free the memory).
# Usage: bench/bigindex.sh [WORKDIR] [BASELINE_BUILD] [FOLDERS]   (default /tmp/qvl-bench)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-/tmp/qvl-bench}
baseline=${2:-}
folders=${3:-10000000}
big="$work/big"
mkdir -p "$big"
if ! mountpoint -q "$big"; then
    mount -t tmpfs -o size=20G,nr_inodes=0 tmpfs "$big" 2>/dev/null ||
        { echo "Cannot mount a tmpfs at $big (needs root)." >&2; exit 1; }
fi
[ -f "$big/done" ] || { python3 "$repo/bench/gentree.py" "$big/tree" "$folders" 0 >/dev/null; touch "$big/done"; }
build="$repo/build-bench"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQVL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" >/dev/null
export QVL_DRIVES="C=$big/tree"
run() { # wall seconds and peak MB of one run, the index on disk in WORKDIR/data-big
    rm -rf "$work/data-big"
    mkdir -p "$work/data-big"
    QVL_DATA_DIR="$work/data-big" /usr/bin/time -f "%e %M" "$@" 2>&1 >/dev/null | tail -1 |
        awk '{ printf "%.1f s, peak %d MB", $1, $2 / 1024 }'
}
findtime=$( { /usr/bin/time -f %e find "$big/tree" -type d >/dev/null; } 2>&1 | tail -1)
now=$(run "$build/qvl" index)
bytes=$(stat -c %s "$work/data-big/Files.dat")
before=""
[ -n "$baseline" ] && before=$(run "$baseline/qvl" index)
{
echo "## qvl index of $(find "$big/tree" -mindepth 1 -type d | wc -l) folders (tmpfs, warm)"
echo
echo "| command | result |"
echo "|---|---|"
echo "| find -type d (the yardstick) | $findtime s |"
[ -n "$baseline" ] && echo "| $baseline/qvl index | $before |"
echo "| qvl index | $now; Files.dat $bytes bytes |"
} | tee "$work/bigindex.md"
