#!/usr/bin/env bash
# A "%"/"_" pattern that made the matcher go back and forth: "a_" written 100 times, then
# "b", over 20,000 folders named 240 times "a" and a number. Beside it, as the yardstick,
# a plain needle with no hit over the same folders (what reading the names costs; two
# letters, too short for the blocks' grams to rule them out unread), and,
# with a build folder of another version, the same pattern there.
# Usage: bench/matcher.sh [WORKDIR] [BASELINE_BUILD]   (default /tmp/qvl-bench)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-/tmp/qvl-bench}
baseline=${2:-}
build="$repo/build-bench"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQVL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" >/dev/null
tree="$work/aaaa-tree"
export QVL_DATA_DIR="$work/aaaa-data" QVL_DRIVES="C=$tree"
[ "$(sqlite3 "$QVL_DATA_DIR/Files.dat" 'PRAGMA user_version' 2>/dev/null)" = "$(sqlite3 "$build/fresh.dat" 'PRAGMA user_version')" ] || rm -rf "$QVL_DATA_DIR"
if [ ! -f "$QVL_DATA_DIR/Files.dat" ]; then
    python3 -c "
import os, sys
for i in range(20000):
    os.makedirs(os.path.join(sys.argv[1], 'd%d' % (i // 200), 'a' * 240 + str(i)), exist_ok=True)
" "$tree"
    mkdir -p "$QVL_DATA_DIR"
    "$build/qvl" index >/dev/null
fi
pattern="$(printf 'a_%.0s' $(seq 100))b"
echo "## The matcher's worst pattern, 20,000 folders of 240 a's"
farm-bench -n 7 --vs "$build/qvl find zz" -- "$build/qvl" find "$pattern" | grep -E 'wall'
if [ -n "$baseline" ]; then
    echo "against $baseline:"
    mkdir -p "$work/base-aaaa-data"
    QVL_DATA_DIR="$work/base-aaaa-data" "$baseline/qvl" index >/dev/null
    farm-bench -n 7 --vs "env QVL_DATA_DIR=$work/base-aaaa-data $baseline/qvl find $pattern" -- "$build/qvl" find "$pattern" | grep -E 'wall'
fi
