#!/usr/bin/env bash
# Unpacks Debian's own signed source package PACKAGE at VERSION into the folder DEST
# (DEST/PACKAGE-UPSTREAM/...), through a temporary apt configuration with deb-src
# entries derived from this machine's Debian sources: the machine's own apt
# configuration and lists are left untouched.
#   apt-source.sh PACKAGE VERSION DEST
# Needs dpkg-dev (dpkg-source). Prints the unpacked folder.
set -euo pipefail
package=$1 version=$2 dest=$(realpath -m "$3")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/parts" "$tmp/lists/partial" "$tmp/cache/archives/partial" "$dest"
for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # Only Debian's own archives: their source packages carry Debian's signatures.
    awk 'BEGIN{RS=""; ORS="\n\n"} /deb\.debian\.org|debian-archive-keyring/ {gsub(/Types: deb\n/, "Types: deb-src\n"); print}' \
        "$f" >"$tmp/parts/$(basename "$f")"
done
if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb \(.*debian.*\)$/deb-src \1/p' /etc/apt/sources.list >"$tmp/sources.list"
else
    : >"$tmp/sources.list"
fi
apt_opts=(-o "Dir::Etc::SourceList=$tmp/sources.list" -o "Dir::Etc::SourceParts=$tmp/parts"
    -o "APT::Sandbox::User=root" -o "Dir::State::Lists=$tmp/lists" -o "Dir::Cache=$tmp/cache"
    -o "Debug::NoLocking=1")
apt-get -qq "${apt_opts[@]}" update
(cd "$dest" && apt-get -qq "${apt_opts[@]}" source "$package=$version" >/dev/null)
# apt-get source leaves the signed .dsc and the tarballs beside the unpacked tree.
find "$dest" -maxdepth 1 -type f \( -name '*.dsc' -o -name '*.tar.*' \) -delete
find "$dest" -mindepth 1 -maxdepth 1 -type d -name "$package-*" | head -n 1
