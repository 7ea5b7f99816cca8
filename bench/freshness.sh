#!/usr/bin/env bash
# Benchmarks keeping the index fresh, on the tree of bench/run.sh (about 200,000 folders
# with 5 files each), each figure beside its yardstick, a full qvl index:
#   qvl update of an unchanged tree, warm and cold cache (cold where caches can be dropped)
#   qvl update after 1% of the folders changed
#   mkdir to found with qvl watch running, 1,000 folders (median and worst)
#   qvl watch memory and CPU while idle over every folder of the tree
# Usage: bench/freshness.sh [WORKDIR]   (default /tmp/qvl-bench, shared with run.sh)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-/tmp/qvl-bench}
mkdir -p "$work"
command -v hyperfine >/dev/null || { [ "$(id -u)" = 0 ] && apt-get install -y -qq hyperfine >/dev/null; }

build="$repo/build-bench"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQVL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" >/dev/null
qvl="$build/qvl"

tree="$work/tree"
[ -f "$work/tree.done" ] || { rm -rf "$tree"; python3 "$repo/bench/gentree.py" "$tree" 200000 5 >/dev/null; touch "$work/tree.done"; }
# Folders an earlier run of this benchmark made go first, so every run starts alike.
find "$tree" -depth -type d \( -name chg -o -name 'latency*x' \) -exec rmdir {} + 2>/dev/null || true
find "$tree" -type d > "$work/tree.dirs"
folders=$(($(wc -l < "$work/tree.dirs") - 1))

export QVL_DATA_DIR="$work/data-fresh" QVL_DRIVES="C=$tree"
mean() { python3 -c "import json,sys; print('%.0f' % (json.load(open(sys.argv[1]))['results'][int(sys.argv[2])]['mean'] * 1000))" "$@"; }
ratio() { python3 -c "import sys; print('%.2f' % (float(sys.argv[1]) / float(sys.argv[2])))" "$@"; }
hf() { hyperfine -N -i --style none "$@" >/dev/null 2>&1; }

"$qvl" index >/dev/null
sleep 2.5 # folder times closer than 2 s to a walk are not trusted; let the tree age
"$qvl" index >/dev/null
"$qvl" update >/dev/null
hf -w 1 -r 5 --export-json "$work/update-warm.json" "$qvl index" "$qvl update"
# The index just written holds times too young to trust: age it once more.
sleep 2.5; "$qvl" index >/dev/null; sleep 2.5; "$qvl" update >/dev/null

cold="not measured: the page cache cannot be dropped here (needs root)"
if [ -w /proc/sys/vm/drop_caches ]; then
    hf -r 3 --prepare "sh -c 'sync; echo 3 > /proc/sys/vm/drop_caches'" --export-json "$work/update-cold.json" \
        "$qvl index" "$qvl update"
    # the index above rewrote the times: let them age before the update runs
    cold=measured
fi

# 1% of the folders changed before each run; the index is made anew first each time
# for the full index's figure, and kept for the update's.
changed=$((folders / 100))
hf -r 5 --prepare "python3 $repo/bench/churn.py $work/tree.dirs $changed 1" --export-json "$work/churn-index.json" "$qvl index"
sleep 2.5; "$qvl" index >/dev/null; sleep 2.5
hf -r 5 --prepare "python3 $repo/bench/churn.py $work/tree.dirs $changed 2" --export-json "$work/churn-update.json" "$qvl update"

# The watcher: every folder watched needs the watch limit above the folders.
limit=$(cat /proc/sys/fs/inotify/max_user_watches)
limitNote="fs.inotify.max_user_watches is $limit"
if [ "$limit" -lt $((folders + 1000)) ] && [ -w /proc/sys/fs/inotify/max_user_watches ]; then
    echo $((folders * 2)) > /proc/sys/fs/inotify/max_user_watches
    limitNote="fs.inotify.max_user_watches raised by this benchmark from $limit to $((folders * 2)), as root"
fi
sleep 2.5; "$qvl" index >/dev/null
"$qvl" watch 2> "$work/watch.log" & watcher=$!
for _ in $(seq 600); do grep -q watching "$work/watch.log" && break; sleep 0.1; done
latency=$("$build/qvl_watchlatency" "$QVL_DATA_DIR" "$tree" 1000 || true)
sleep 3
rss_kb=$(awk '/VmRSS/ {print $2}' /proc/$watcher/status)
ticks0=$(awk '{print $14 + $15}' /proc/$watcher/stat)
sleep 30
ticks1=$(awk '{print $14 + $15}' /proc/$watcher/stat)
kill -INT $watcher; wait $watcher || true
[ "$limit" != "$(cat /proc/sys/fs/inotify/max_user_watches)" ] && echo "$limit" > /proc/sys/fs/inotify/max_user_watches

{
echo "## Keeping the index fresh, $folders folders with 5 files each"
echo
echo "| run | mean ms | yardstick: qvl index, ms | ratio |"
echo "|---|---|---|---|"
i=$(mean "$work/update-warm.json" 0); u=$(mean "$work/update-warm.json" 1)
echo "| qvl update, nothing changed, warm cache | $u | $i | $(ratio "$u" "$i") |"
if [ "$cold" = measured ]; then
    i=$(mean "$work/update-cold.json" 0); u=$(mean "$work/update-cold.json" 1)
    echo "| qvl update, nothing changed, cold cache | $u | $i | $(ratio "$u" "$i") |"
else
    echo "| qvl update, cold cache | $cold | | |"
fi
i=$(mean "$work/churn-index.json" 0); u=$(mean "$work/churn-update.json" 0)
echo "| qvl update after $changed folders (1%) changed | $u | $i | $(ratio "$u" "$i") |"
echo
echo "qvl watch over every folder ($limitNote):"
echo
echo "- $latency"
echo "- idle: $((rss_kb / 1024)) MB resident, $((ticks1 - ticks0)) clock ticks of CPU in 30 s (1 tick = 10 ms)"
notes=$(grep -v '^qvl: watching' "$work/watch.log" | head -3 | tr '\n' ' ')
[ -z "$notes" ] || echo "- its notes: $notes"
} | tee "$work/freshness.md"
