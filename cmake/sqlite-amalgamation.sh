#!/usr/bin/env bash
# Writes sqlite3.c and sqlite3.h into OUTDIR, built from Debian's own signed source
# package of the SQLite version installed on this machine, so the Windows build uses the
# same SQLite as the Linux one. The machine's apt configuration is left untouched: a
# temporary one with deb-src entries derived from its sources is used instead.
# Needs dpkg-dev (apt-get source) and tcl (the amalgamation is made by a Tcl script).
set -euo pipefail
out=$(realpath -m "$1")
[ -f "$out/sqlite3.c" ] && exit 0
version=$(dpkg-query -W -f='${Version}' libsqlite3-dev)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/parts" "$tmp/lists/partial" "$tmp/cache/archives/partial"
for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # Only Debian's own archives: their source packages carry Debian's signatures.
    awk 'BEGIN{RS=""; ORS="\n\n"} /deb\.debian\.org|debian-archive-keyring/ {gsub(/Types: deb\n/, "Types: deb-src\n"); print}' \
        "$f" > "$tmp/parts/$(basename "$f")"
done
if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb \(.*debian.*\)$/deb-src \1/p' /etc/apt/sources.list > "$tmp/sources.list"
else
    : > "$tmp/sources.list"
fi
apt_opts=(-o "Dir::Etc::SourceList=$tmp/sources.list" -o "Dir::Etc::SourceParts=$tmp/parts" -o "APT::Sandbox::User=root"
          -o "Dir::State::Lists=$tmp/lists" -o "Dir::Cache=$tmp/cache" -o "Debug::NoLocking=1")
apt-get -qq "${apt_opts[@]}" update
(cd "$tmp" && apt-get -qq "${apt_opts[@]}" source "sqlite3=$version" >/dev/null)
src=$(find "$tmp" -maxdepth 1 -type d -name 'sqlite3-*' | head -n 1)
mkdir -p "$tmp/build"
(cd "$tmp/build" && "$src/configure" --disable-tcl >/dev/null && make -s sqlite3.c >/dev/null)
mkdir -p "$out"
cp "$tmp/build/sqlite3.c" "$tmp/build/sqlite3.h" "$out/"
