#!/usr/bin/env bash
# qvl watch on a large tree, with the user's watch limit as the system sets it:
#   watches it holds, and those it leaves to the user's other programs (yardstick: at
#   least half the limit); the kernel memory of its watches (/proc/slabinfo, as root);
#   its resident memory and its CPU over a minute once started; how soon folders made at
#   once in random places are found, watched or swept. With "service" (as root), the
#   same with the system's change service running (qvl serve-changes), and its own CPU
#   and memory.
# Usage: bench/watchscale.sh [FOLDERS] [WORKDIR] [service]   (default 1000000, /dev/shm/qvl-scale)
# PATIENCE=SECONDS waits that long for the folders made instead of a sweep pass and a minute.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
folders=${1:-1000000}
work=${2:-/dev/shm/qvl-scale}
service=${3:-}
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

servicePid=
if [ "$service" = service ]; then
    export QVL_CHANGES_SOCKET="$work/changes.sock"
    "$qvl" serve-changes --socket "$QVL_CHANGES_SOCKET" "$tree" 2>"$work/service.log" &
    servicePid=$!
    for _ in $(seq 100); do [ -S "$QVL_CHANGES_SOCKET" ] && break; sleep 0.1; done
    [ -S "$QVL_CHANGES_SOCKET" ] || { cat "$work/service.log"; exit 1; }
fi

limit=$(cat /proc/sys/fs/inotify/max_user_watches)
slab() { awk '$1 == "inotify_inode_mark" {print $2 * $4}' /proc/slabinfo 2>/dev/null || true; }
slab0=$(slab)
started=$(date +%s.%N)
"$qvl" watch 2>"$work/watch.log" &
watcher=$!
trap 'kill $watcher $servicePid 2>/dev/null || true' EXIT
for _ in $(seq 3000); do grep -q 'Ctrl+C stops' "$work/watch.log" && break; sleep 0.1; done
ready=$(python3 -c "import sys; print('%.1f' % (float(sys.argv[1]) - float(sys.argv[2])))" "$(date +%s.%N)" "$started")
held=$(cat /proc/$watcher/fdinfo/* 2>/dev/null | grep -c '^inotify wd:' || true)
slab1=$(slab)
rss_kb=$(awk '/VmRSS/ {print $2}' /proc/$watcher/status)
sleep 10 # what the start left to finish (its memory given back, its last listings)
# Time on the CPU in nanoseconds (the scheduler's own count: clock ticks are too coarse for
# a process that wakes for microseconds at a time).
cpu() { awk '{print $1}' /proc/$1/schedstat; }
ticks0=$(cpu $watcher)
[ -z "$servicePid" ] || serviceTicks0=$(cpu $servicePid)
sleep 60
ticks1=$(cpu $watcher)
[ -z "$servicePid" ] || serviceTicks1=$(cpu $servicePid)

# Folders made at once in random places; each is looked for until found or a whole sweep
# pass and a minute have gone by.
patience=$(grep -o 'each every [0-9]* s' "$work/watch.log" | grep -o '[0-9]*' || echo 0)
patience=${PATIENCE:-$((patience + 60))}
latency=$(python3 - "$tree" "$QVL_DATA_DIR/Files.dat" "$patience" <<'EOF'
import os, random, sqlite3, sys, time
tree, index, patience = sys.argv[1], sys.argv[2], float(sys.argv[3])
dirs = [r for r, _, _ in os.walk(tree)]
# A new choice each run: the watcher watches the folders changed last first, and the same
# parents as the last run's (changed by its mkdir and the rmdir before this one) would be.
rng = random.Random(os.urandom(8))
# The rows the watcher adds come after the last one there is: read straight from the
# file every 10 ms (a search a round would take longer than the watcher).
db = sqlite3.connect("file:%s?mode=ro" % index, uri=True, timeout=5)
last = db.execute("SELECT max(rowid) FROM tblDirs").fetchone()[0]
made = {}
for i in range(40):
    name = "scale%dx" % i
    os.mkdir(os.path.join(rng.choice(dirs), name))
    made[name] = time.monotonic()
found = {}
while len(found) < len(made) and time.monotonic() - min(made.values()) < patience:
    try:
        rows = db.execute("SELECT Directory FROM tblDirs WHERE rowid > ?", (last,)).fetchall()
    except sqlite3.OperationalError:
        rows = []  # the watcher is writing
    now = time.monotonic()
    for (name,) in rows:
        if name in made and name not in found:
            found[name] = now - made[name]
    time.sleep(0.01)
ms = sorted(v * 1000 for v in found.values())
print("%d of %d found within %.0f s; median %.0f ms, worst %.0f ms of those" % (len(ms), len(made), patience, ms[len(ms) // 2] if ms else 0, ms[-1] if ms else 0))
EOF
)
kill -INT $watcher
wait $watcher || true
[ -z "$servicePid" ] || serviceRss=$(awk '/VmRSS/ {print $2}' /proc/$servicePid/status)
[ -z "$servicePid" ] || { kill $servicePid; wait $servicePid || true; }

echo "## qvl watch over $indexed folders (tmpfs)${servicePid:+ with the change service}, $(date -u +%Y-%m-%d)"
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
echo "| CPU over a minute, from 10 s after it was ready | $(((ticks1 - ticks0) / 1000000)) ms | under 1 s an hour (17 ms a minute) |"
echo "| mkdir to found, 40 folders at once in random places | $latency | within 1 s worst |"
if [ -n "$servicePid" ]; then
    echo "| the service: CPU over that minute, resident memory | $(((serviceTicks1 - serviceTicks0) / 1000000)) ms, $((serviceRss / 1024)) MB | |"
fi
echo
echo "What it said:"
sed 's/^/    /' "$work/watch.log"
[ -z "$servicePid" ] || sed 's/^/    /' "$work/service.log"
