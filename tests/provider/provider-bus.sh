#!/usr/bin/env bash
# The desktop's search over a real session bus of its own (dbus-daemon --session), as
# GNOME Shell and KRunner ask it, by gdbus: the bus starts the provider on the first
# question; answers come from the index, exact names first, then the shortest paths, one
# screen at most; a result opens its folder (a stand-in xdg-open records it, bytes and
# all), "show in the program" starts the program beside the provider (a stand-in too).
#   provider-bus.sh PROVIDER QVL
set -euo pipefail
[ -z "${QVL_TRACE:-}" ] || set -x
provider=$1 qvl=$2
work=$(mktemp -d /tmp/qvl-provider.XXXXXX)
busPid=
cleanup() {
    [ -z "$busPid" ] || kill "$busPid" 2>/dev/null || true
    pkill -f "^$work/bin/" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "provider-bus: $*" >&2; exit 1; }
source "$(dirname "$0")/../../tools/xsession.sh" # waitFor

# The tree: "photo" and "Photo" exactly, at several depths, names that only contain it,
# more of those than one screen holds, and a name that is not UTF-8.
t=$work/tree
mkdir -p "$t/photo/inner" "$t/zz/deep/er/photo" "$t/b/Photo" "$t/a/photos" "$t/a/myphoto" "$t/other"
for i in $(seq -w 1 30); do mkdir -p "$t/many/long/names/xphoto$i"; done
nonUtf8=$(printf 'photo\377')
mkdir "$t/$nonUtf8"
export QVL_DATA_DIR=$work/data QVL_DRIVES="C=$t" HOME=$work/home
mkdir -p "$HOME"
"$qvl" index C >/dev/null

# The provider and a stand-in desktop program beside it; a stand-in xdg-open on PATH.
mkdir -p "$work/bin" "$work/standin" "$work/services"
cp "$provider" "$work/bin/quorvel-search-provider"
printf '#!/bin/sh\nprintf "%%s" "$*" > "%s/program.tmp" && mv "%s/program.tmp" "%s/program"\n' \
    "$work" "$work" "$work" >"$work/bin/quorvel"
printf '#!/bin/sh\nprintf "%%s\\n" "$1" >> "%s/opened"\n' "$work" >"$work/standin/xdg-open"
chmod +x "$work/bin/quorvel" "$work/standin/xdg-open"
printf '[D-BUS Service]\nName=org.quorvel.Quorvel.SearchProvider\nExec=%s\n' \
    "$work/bin/quorvel-search-provider" >"$work/services/org.quorvel.Quorvel.SearchProvider.service"
cat >"$work/bus.conf" <<CONF
<busconfig>
  <type>session</type>
  <listen>unix:dir=$work</listen>
  <servicedir>$work/services</servicedir>
  <policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/></policy>
</busconfig>
CONF
PATH="$work/standin:$PATH" dbus-daemon --config-file="$work/bus.conf" --fork --print-address=1 --print-pid=1 \
    >"$work/bus" </dev/null
{ read -r address; read -r busPid; } <"$work/bus"
export DBUS_SESSION_BUS_ADDRESS=$address

call() { # INTERFACE.METHOD ARGS...
    gdbus call --session --dest org.quorvel.Quorvel.SearchProvider \
        --object-path /org/quorvel/Quorvel/SearchProvider --method "$@"
}
gnome() { local m=$1; shift; call "org.gnome.Shell.SearchProvider2.$m" "$@"; }
ids() { { grep -o "file://[^']*" || true; } | sed "s|file://$t||"; } # the folders of an answer, below the tree

# 1. The first question starts the provider; exact names first (case ignored), shortest
#    path first within each kind, then one screen (20) at most.
got=$(gnome GetInitialResultSet "['photo']" | ids | tr '\n' ' ')
want="/photo /b/Photo /zz/deep/er/photo /photo%FF /a/photos /a/myphoto "
want+="$(for i in $(seq -w 1 14); do printf '/many/long/names/xphoto%s ' "$i"; done)"
[ "$got" = "$want" ] || fail "GetInitialResultSet photo:
  got  $got
  want $want"
pgrep -f "^$work/bin/quorvel-search-provider" >/dev/null || fail "the bus did not start the provider"

# 2. A longer text searches again (the earlier answer is not all that may match).
got=$(gnome GetSubsearchResultSet "['file://$t/a/myphoto']" "['photos']" | ids | tr '\n' ' ')
[ "$got" = "/a/photos " ] || fail "GetSubsearchResultSet photos gave: $got"
got=$(gnome GetInitialResultSet "['my', 'photo']" | ids | tr '\n' ' ')
[ "$got" = "" ] || fail "terms are one text with a blank between, 'my photo' gave: $got"
got=$(gnome GetInitialResultSet "['names/xphoto01']" | ids | tr '\n' ' ')
[ "$got" = "" ] || fail "a name holds no separator, 'names/xphoto01' gave: $got"

# 3. What a result shows: its name, the folder it is in, a folder icon.
meta=$(gnome GetResultMetas "['file://$t/zz/deep/er/photo', 'not-ours']")
for part in "'name': <'photo'>" "'description': <'$t/zz/deep/er'>" "'gicon': <'folder'>"; do
    [[ $meta == *"$part"* ]] || fail "GetResultMetas lacks $part: $meta"
done
[ "$(grep -o "'id'" <<<"$meta" | wc -l)" = 1 ] || fail "an id that is not ours got a result: $meta"

# 4. A result opens its folder, bytes and all; a folder gone since, or an id that is not
#    a folder of ours, opens nothing. Each open is a line of the stand-in's log.
touch "$work/opened"
opens() { [ "$(wc -l <"$work/opened")" -ge "$1" ]; }
gnome ActivateResult "file://$t/photo%FF" "['photo']" 0 >/dev/null
waitFor 10 opens 1 || fail "ActivateResult opened nothing"
cmp -s "$work/opened" <(printf '%s\n' "$t/$nonUtf8") || fail "opened $(od -c "$work/opened") not the name that is not UTF-8"
rmdir "$t/a/myphoto"
for id in "file://$t/a/myphoto" "file://relative" "$t/photo" "file://$t/photo%00x" "file://$t/photo%2F..%2Fother"; do
    gnome ActivateResult "$id" "[]" 0 >/dev/null
done
gnome ActivateResult "file://$t/other" "[]" 0 >/dev/null
waitFor 10 opens 2 || fail "ActivateResult of a folder that is there opened nothing"
[ "$(tail -n +2 "$work/opened")" = "$t/other" ] || fail "a folder gone or an id not ours was opened: $(cat "$work/opened")"

# 5. "Show in the program": the program beside the provider, with the text.
shown() { [ -f "$work/program" ]; }
gnome LaunchSearch "['deep', 'photo']" 0 >/dev/null
waitFor 10 shown || fail "LaunchSearch started no program"
[ "$(cat "$work/program")" = "deep photo" ] || fail "LaunchSearch started the program with: $(cat "$work/program")"
rm "$work/program"

# 6. KRunner: the same order, exact matches as such, a folder opened, the program shown.
match=$(call org.kde.krunner1.Match "Photo")
[ "$(ids <<<"$match" | awk 'NR % 2 == 1' | head -3 | tr '\n' ' ')" = "/photo /b/Photo /zz/deep/er/photo " ] ||
    fail "Match Photo gave: $match"
[[ $match == *"'file://$t/photo', 'photo', 'folder', 100,"* ]] || fail "an exact name is not an exact match: $match"
[[ $match == *"'file://$t/a/photos', 'photos', 'folder', 30,"* ]] || fail "a containing name is not a possible match: $match"
[[ $(call org.kde.krunner1.Actions) == *"'show-in-program'"* ]] || fail "no action to show the program"
call org.kde.krunner1.Run "file://$t/b/Photo" "" >/dev/null
waitFor 10 opens 3 && [ "$(tail -1 "$work/opened")" = "$t/b/Photo" ] || fail "Run opened: $(cat "$work/opened")"
call org.kde.krunner1.Run "file://$t/b/Photo" "show-in-program" >/dev/null
waitFor 10 shown || fail "the runner's action started no program"
[ "$(cat "$work/program")" = "Photo" ] || fail "the runner's action started the program with: $(cat "$work/program")"

# 7. Never stale: a folder renamed and the index updated answers at once with the new name.
mv "$t/b/Photo" "$t/b/renamed"
"$qvl" update C >/dev/null
got=$(gnome GetInitialResultSet "['photo']" | ids | head -3 | tr '\n' ' ')
[ "$got" = "/photo /zz/deep/er/photo /photo%FF " ] || fail "after a rename and update: $got"

# 8. No index: an empty answer, and the provider still answers afterwards.
mv "$QVL_DATA_DIR" "$work/data.away"
[ "$(gnome GetInitialResultSet "['photo']")" = "(@as [],)" ] || fail "no index gave results"
mv "$work/data.away" "$QVL_DATA_DIR"
[ -n "$(gnome GetInitialResultSet "['photo']" | ids)" ] || fail "the provider gave nothing once the index was back"
echo "provider-bus: the provider answered every question as it should"
