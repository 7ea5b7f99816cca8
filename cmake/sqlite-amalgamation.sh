#!/usr/bin/env bash
# Writes sqlite3.c and sqlite3.h into OUTDIR, built from Debian's own signed source
# package of the SQLite version installed on this machine (see apt-source.sh), so the
# Windows build uses the same SQLite as the Linux one.
# Needs dpkg-dev (apt-get source) and tcl (the amalgamation is made by a Tcl script).
set -euo pipefail
out=$(realpath -m "$1")
[ -f "$out/sqlite3.c" ] && exit 0
version=$(dpkg-query -W -f='${Version}' libsqlite3-dev)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
src=$(bash "$(dirname "$0")/apt-source.sh" sqlite3 "$version" "$tmp")
mkdir -p "$tmp/build"
(cd "$tmp/build" && "$src/configure" --disable-tcl >/dev/null && make -s sqlite3.c >/dev/null)
mkdir -p "$out"
cp "$tmp/build/sqlite3.c" "$tmp/build/sqlite3.h" "$out/"
