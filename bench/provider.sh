#!/usr/bin/env bash
# The desktop's search at one and ten million folders (stores from qvl_genstore): the
# provider started by a session bus of its own, then each question timed from the call
# until the answer is in (qvl_providerlatency), beside the bus's own round trip.
# Texts: a rare name, one with an exact match, a common run of letters (hundreds of
# thousands of hits), a single letter (most of the index) and one with no hit.
# Usage: bench/provider.sh [WORKDIR] [ROUNDS]   (default /tmp/qvl-bench, 40 rounds)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-/tmp/qvl-bench}
rounds=${2:-40}
command -v dbus-daemon >/dev/null && command -v sqlite3 >/dev/null ||
    { echo "Missing dbus-daemon or sqlite3 (apt-get install dbus-daemon sqlite3)" >&2; exit 1; }
build="$repo/build-bench"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQVL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" >/dev/null
mkdir -p "$work"
busPid=
trap '[ -z "$busPid" ] || kill "$busPid" 2>/dev/null; pkill -f "^$build/quorvel-search-provider" || true' EXIT

for size in 1000000 10000000; do
    data="$work/data-$((size / 1000000))m"
    [ "$(sqlite3 "$data/Files.dat" 'PRAGMA user_version' 2>/dev/null)" = "$(sqlite3 "$build/fresh.dat" 'PRAGMA user_version')" ] ||
        "$build/qvl_genstore" "$size" "$data" "$build/fresh.dat" >/dev/null
    mkdir -p "$work/services"
    printf '[D-BUS Service]\nName=org.quorvel.Quorvel.SearchProvider\nExec=%s\n' "$build/quorvel-search-provider" \
        >"$work/services/org.quorvel.Quorvel.SearchProvider.service"
    cat >"$work/bus.conf" <<CONF
<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><servicedir>$work/services</servicedir>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/></policy></busconfig>
CONF
    QVL_DATA_DIR=$data dbus-daemon --config-file="$work/bus.conf" --fork --print-address=1 --print-pid=1 >"$work/bus" </dev/null
    { read -r address; read -r busPid; } <"$work/bus"
    echo "## $(printf "%'d" "$size") folders (qvl_genstore), $rounds rounds each, warm cache"
    echo
    DBUS_SESSION_BUS_ADDRESS=$address "$build/qvl_providerlatency" "$rounds" belbelne Kalo ta t zzzqqq
    echo
    kill "$busPid"
    busPid=
    pkill -f "^$build/quorvel-search-provider" || true
done
