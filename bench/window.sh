#!/usr/bin/env bash
# The main window on ten million folders (a synthetic index from qvl_genstore), offscreen:
#   a %/_ pattern with no hit whose runs are too short to skip blocks by their grams: the
#   longest stall of the window's event loop (goal under 100 ms), and, with F9 pressed
#   100 ms after Enter, the time from F9 to the search's end
#   (goal under 50 ms); a needle with about 3.5 million hits: first screen, final count,
#   longest stall and the pane's memory.
# Usage: bench/window.sh [WORKDIR] [BASELINE_BUILD]   (default /tmp/qvl-bench; with a
# build folder of another version, its figures are printed beside, as the yardstick)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-/tmp/qvl-bench}
baseline=${2:-}
build="$repo/build-bench"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQVL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" >/dev/null
store="$work/data-10m"
# Each version reads a store it wrote itself: the layout of the blocks may differ.
[ "$(sqlite3 "$store/Files.dat" 'PRAGMA user_version' 2>/dev/null)" = "$(sqlite3 "$build/fresh.dat" 'PRAGMA user_version')" ] ||
    "$build/qvl_genstore" 10000000 "$store" "$build/fresh.dat" >/dev/null
[ -z "$baseline" ] || "$baseline/qvl_genstore" 10000000 "$work/base-data-10m" "$baseline/fresh.dat" >/dev/null
export QT_QPA_PLATFORM=offscreen
run() {
    local b=$1 store=$2
    cat "$store/Files.dat" >/dev/null # warm the cache
    # Runs of two bytes: too short for the blocks' grams, so every name is read.
    echo "- no hit, %/_: $("$b/qvl_searchwindow" "$store" 'qq%_zz' 2>/dev/null)"
    echo "- no hit, %/_, F9 at 100 ms: $("$b/qvl_searchwindow" "$store" 'qq%_zz' 100 2>/dev/null | tail -1)"
    echo "- 3.5 million hits: $("$b/qvl_searchwindow" "$store" n 2>/dev/null)"
}
{
echo "## The window on ten million folders"
echo
echo "This version:"
echo
run "$build" "$store"
if [ -n "$baseline" ]; then
    echo
    echo "Baseline ($baseline):"
    echo
    run "$baseline" "$work/base-data-10m"
fi
} | tee "$work/window.md"
