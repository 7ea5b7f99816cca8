#!/usr/bin/env bash
# Results as you type in the main window, offscreen, at one and ten million folders
# (stores from qvl_genstore): for every key, the time until the pane shows a first screen
# that answers the text typed so far (goal: within 50 ms at one million, 100 ms at ten),
# a key every 250 ms (an unhurried typist) and every 60 ms (a fast one, each key
# cancelling a search that may still run).
# Usage: bench/typing.sh [WORKDIR]   (default /tmp/qvl-bench)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-/tmp/qvl-bench}
build="$repo/build-bench"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQVL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" >/dev/null
export QT_QPA_PLATFORM=offscreen
for size in 1000000 10000000; do
    store="$work/data-$((size / 1000000))m"
    [ "$(sqlite3 "$store/Files.dat" 'PRAGMA user_version' 2>/dev/null)" = "$(sqlite3 "$build/fresh.dat" 'PRAGMA user_version')" ] ||
        "$build/qvl_genstore" "$size" "$store" "$build/fresh.dat" >/dev/null
    cat "$store/Files.dat" >/dev/null # warm the cache
    for pace in 250 60; do
        echo "- $size folders: $("$build/qvl_typing" "$store" "$pace" belbelne kalo tor tagri 2>/dev/null)"
    done
done | tee "$work/typing.md"
