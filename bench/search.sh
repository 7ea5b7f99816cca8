#!/usr/bin/env bash
# Whole-process qvl find, warm cache, each beside its yardstick in the same run:
#   on the 200,000-folder tree of run.sh (directories only): a rare needle against
#   plocate -i -b on the same folders, and a needle with no hit against `true`;
#   on a ten-million-folder store from qvl_genstore: exact (with and without a hit), rare,
#   absent, "%"/"_" patterns with no hit (runs of three bytes, which the blocks' grams
#   can rule out, and of two, which they cannot) and the count of about 3 million hits.
# Given the build folder of another version (with qvl and qvl_genstore built), its times are
# printed beside, each version reading an index it wrote itself (the layout may differ).
# Usage: bench/search.sh [WORKDIR] [BASELINE_BUILD]   (default /tmp/qvl-bench)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-/tmp/qvl-bench}
baseline=${2:-}
mkdir -p "$work"
for tool in hyperfine updatedb.plocate python3 sqlite3; do
    command -v "$tool" >/dev/null || { echo "Missing $tool (apt-get install hyperfine plocate python3 sqlite3)" >&2; exit 1; }
done
build="$repo/build-bench"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQVL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" >/dev/null
qvl="$build/qvl"

dirs="$work/dirs"
[ -f "$work/dirs.done" ] || { rm -rf "$dirs"; python3 "$repo/bench/gentree.py" "$dirs" 200000 0 >/dev/null; touch "$work/dirs.done"; }
big="$work/data-10m"
[ "$(sqlite3 "$big/Files.dat" 'PRAGMA user_version' 2>/dev/null)" = "$(sqlite3 "$build/fresh.dat" 'PRAGMA user_version')" ] ||
    "$build/qvl_genstore" 10000000 "$big" "$build/fresh.dat" >/dev/null

ms() { # median of a command in ms, whole process
    hyperfine -N -i --style none -w "${w:-5}" -r "${runs:-40}" --export-json "$work/one.json" "$1" >/dev/null 2>&1
    python3 -c "import json,sys; print('%.*f' % (int(sys.argv[2]), json.load(open(sys.argv[1]))['results'][0]['median'] * 1000))" \
        "$work/one.json" "${digits:-1}"
}
row() { # label, command with QVL_* set by the caller
    local now before=""
    now=$(ms "$qvl $2")
    [ -n "$baseline" ] && before=" $(QVL_DATA_DIR=$baseData ms "$baseline/qvl $2") |"
    echo "| $1 | $("$qvl" $2 | wc -l) |$before $now |"
}
header() {
    echo "| search | lines out |${baseline:+ $baseline ms |} ms |"
    echo "|---|---|${baseline:+---|}---|"
}

export QVL_DATA_DIR="$work/data-dirs" QVL_DRIVES="C=$dirs"
# An index of another layout than this build writes is rebuilt (a search of an older one is slower).
[ "$(sqlite3 "$QVL_DATA_DIR/Files.dat" 'PRAGMA user_version' 2>/dev/null)" = "$(sqlite3 "$build/fresh.dat" 'PRAGMA user_version')" ] ||
    { rm -rf "$QVL_DATA_DIR"; mkdir -p "$QVL_DATA_DIR"; "$qvl" index >/dev/null; }
baseData="$work/base-data-dirs"
if [ -n "$baseline" ]; then
    rm -rf "$baseData"
    mkdir -p "$baseData"
    QVL_DATA_DIR=$baseData "$baseline/qvl" index >/dev/null
fi
[ -f "$work/dirs.plocate.db" ] ||
    updatedb.plocate -U "$dirs" -o "$work/dirs.plocate.db" -l 0 --prunepaths '' --prunefs '' --prunenames ''
find "$dirs" -type d >/dev/null
{
echo "## $(find "$dirs" -mindepth 1 -type d | wc -l) folders (bench/gentree.py), whole process, warm cache"
echo
header
echo "| true (the floor) | 0 |${baseline:+ |} $(ms true) |"
row "qvl find belbelne (rare)" "find belbelne"
echo "| plocate -i -b belbelne | $(plocate -d "$work/dirs.plocate.db" -i -b belbelne | wc -l) |${baseline:+ |} $(ms "plocate -d $work/dirs.plocate.db -i -b belbelne") |"
row "qvl find zzzqqq (no hit)" "find zzzqqq"
echo
# This machine's speed drifts by a third from minute to minute, and two medians taken one
# after the other drift with it: the ratio is taken round by round, the two in turn. Each
# round warms up for 20 runs and times 100: a short burst of qvl runs often stays about a
# fifth slower than a long one spends most of its time at (plocate's runs vary less).
ratios=()
for _ in 1 2 3 4 5 6 7; do
    a=$(w=20 runs=100 digits=3 ms "$qvl find belbelne")
    b=$(w=20 runs=100 digits=3 ms "plocate -d $work/dirs.plocate.db -i -b belbelne")
    ratios+=("$(python3 -c "print('%.2f' % ($a / $b))")")
done
echo "Rare needle against plocate, 7 rounds of 100 runs each taken in turn: median ratio" \
    "$(printf '%s\n' "${ratios[@]}" | sort -n | sed -n 4p)x (rounds: ${ratios[*]})"
# The search a person starts now and then: each run after a fifth of a second of idleness.
hyperfine -N -i --style none -w 3 -r 30 --prepare "sleep 0.2" --export-json "$work/idle.json" \
    "$qvl find belbelne" "plocate -d $work/dirs.plocate.db -i -b belbelne" >/dev/null 2>&1
python3 -c "import json,sys; r=json.load(open(sys.argv[1]))['results']; a,b=(x['median']*1000 for x in r)
print('Each after 0.2 s idle, 30 runs: qvl %.2f ms, plocate %.2f ms, ratio %.2fx' % (a, b, a / b))" "$work/idle.json"
echo
export QVL_DATA_DIR="$big" QVL_DRIVES="C=/nonexistent"
baseData="$work/base-data-10m"
[ -z "$baseline" ] || "$baseline/qvl_genstore" 10000000 "$baseData" "$baseline/fresh.dat" >/dev/null
runs=15
echo "## 10,000,000 folders (qvl_genstore), whole process, warm cache"
echo
header
row "qvl find -e belbelne (exact)" "find -e belbelne"
row "qvl find belbelne (rare)" "find belbelne"
row "qvl find zzzqqq (no hit)" "find zzzqqq"
row "qvl find -e zzzqqq (exact, no hit)" "find -e zzzqqq"
row "qvl find qqq%_zzz (pattern, no hit)" "find qqq%_zzz"
row "qvl find qq%_zz (pattern, no hit, runs too short for grams)" "find qq%_zz"
row "qvl find -c ta (the count of 3 million hits)" "find -c ta"
} | tee "$work/search.md"
