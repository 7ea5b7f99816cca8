#!/usr/bin/env bash
# qvl watch on a large tree, with the user's watch limit as the system sets it:
#   watches it holds, and those it leaves to the user's other programs (yardstick: at
#   least half the limit); the kernel memory of its watches (/proc/slabinfo, as root);
#   its resident memory and its CPU over a minute once started; how soon folders made at
#   once in random places are found, watched or swept.
# Usage: bench/watchscale.sh [FOLDERS] [WORKDIR]   (default 1000000, /dev/shm/qvl-scale)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
folders=${1:-1000000}
work=${2:-/dev/shm/qvl-scale}
mkdir -p "$work"
build="$repo/build-bench"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQVL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" >/dev/null
qvl="$build/qvl"

tree="$work/tree-$folders"
[ -f "$tree.done" ] || { rm -rf "$tree"; python3 "$repo/bench/gentree.py" "$tree" "$folders" 0 >/dev/null; touch "$tree.done"; }
find "$tree" -depth -type d -name 'scale*x' -exec rmdir {} + 2>/dev/null || true
export QVL_DATA_DIR="$work/data-$folders" QVL_DRIVES="C=$tree"
rm -rf "$QVL_DATA_DIR"
"$qvl" index >/dev/null
indexed=$("$qvl" find -c '')

limit=$(cat /proc/sys/fs/inotify/max_user_watches)
slab() { awk '$1 == "inotify_inode_mark" {print $2 * $4}' /proc/slabinfo 2>/dev/null || true; }
slab0=$(slab)
started=$(date +%s.%N)
"$qvl" watch 2>"$work/watch.log" &
watcher=$!
trap 'kill $watcher 2>/dev/null || true' EXIT
for _ in $(seq 3000); do grep -q 'Ctrl+C stops' "$work/watch.log" && break; sleep 0.1; done
ready=$(python3 -c "import sys; print('%.1f' % (float(sys.argv[1]) - float(sys.argv[2])))" "$(date +%s.%N)" "$started")
held=$(cat /proc/$watcher/fdinfo/* 2>/dev/null | grep -c '^inotify wd:' || true)
slab1=$(slab)
rss_kb=$(awk '/VmRSS/ {print $2}' /proc/$watcher/status)
ticks0=$(awk '{print $14 + $15}' /proc/$watcher/stat)
sleep 60
ticks1=$(awk '{print $14 + $15}' /proc/$watcher/stat)
hz=$(getconf CLK_TCK)

# Folders made at once in random places; each is looked for until found or a whole sweep
# pass and a minute have gone by.
patience=$(grep -o 'each every [0-9]* s' "$work/watch.log" | grep -o '[0-9]*' || echo 0)
latency=$(python3 - "$tree" "$qvl" "$((patience + 60))" <<'EOF'
import os, random, subprocess, sys, time
tree, qvl, patience = sys.argv[1], sys.argv[2], float(sys.argv[3])
dirs = [r for r, _, _ in os.walk(tree)]
rng = random.Random(31)
made = {}
for i in range(40):
    name = "scale%dx" % i
    os.mkdir(os.path.join(rng.choice(dirs), name))
    made[name] = time.monotonic()
found = {}
while len(found) < len(made) and time.monotonic() - min(made.values()) < patience:
    for name, t in made.items():
        if name not in found and subprocess.run([qvl, "find", "-c", "-e", name], capture_output=True).stdout.strip() == b"1":
            found[name] = time.monotonic() - t
    time.sleep(0.05)
ms = sorted(v * 1000 for v in found.values())
print("%d of %d found; median %.0f ms, worst %.0f ms" % (len(ms), len(made), ms[len(ms) // 2] if ms else 0, ms[-1] if ms else 0))
EOF
)
kill -INT $watcher
wait $watcher || true

echo "## qvl watch over $indexed folders (tmpfs), $(date -u +%Y-%m-%d)"
echo
echo "| figure | measured | yardstick |"
echo "|---|---|---|"
echo "| start: update and watches until ready | ${ready} s | |"
echo "| watches held | $held | at most half of the limit, $((limit / 2)) |"
echo "| watches left to the user's other programs | $((limit - held)) of $limit | at least $((limit / 2)) |"
if [ -n "$slab0" ] && [ -n "$slab1" ]; then
    echo "| kernel memory of the watches (inotify_inode_mark slab) | $(((slab1 - slab0) / 1024)) KiB | |"
fi
echo "| resident memory once started | $((rss_kb / 1024)) MB | under 100 MB at 10 million |"
echo "| CPU over the minute after it started | $(((ticks1 - ticks0) * 1000 / hz)) ms | under 1 s an hour (17 ms a minute) |"
echo "| mkdir to found, 40 folders at once in random places | $latency | within 1 s worst |"
echo
echo "What it said:"
sed 's/^/    /' "$work/watch.log"
