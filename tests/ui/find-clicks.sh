#!/usr/bin/env bash
# A click on Find after typing runs a search, every time: the real window on a virtual X
# screen, driven through the X server's input path (xdotool's XTest pointer and keys), as
# a user does it: click the box, Ctrl+A, type, move onto Find, a fifth of a second, click.
# Each click must add its text to the history; a click that runs no search fails the test.
#   find-clicks.sh QUORVEL QVL [CLICKS]
set -euo pipefail
quorvel=$1 qvl=$2 clicks=${3:-20}
work=$(mktemp -d /tmp/qvl-clicks.XXXXXX)
app= xvfbPid=
cleanup() {
    [ -z "$app" ] || kill "$app" 2>/dev/null || true
    [ -z "$xvfbPid" ] || kill "$xvfbPid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "find-clicks: $*" >&2; exit 1; }

source "$(dirname "$0")/../../tools/xsession.sh"

words=(alpha beta gamma delta omega)
for w in "${words[@]}"; do mkdir -p "$work/tree/$w/sub"; done
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config QVL_DATA_DIR=$work/data QVL_DRIVES="C=$work/tree"
mkdir -p "$HOME"
"$qvl" index C >/dev/null

startXvfb "$work/display" || fail "Xvfb did not start"
"$quorvel" >"$work/quorvel.log" 2>&1 &
app=$!
# The main window, once shown: the "Loading" notice before it bears the same name, so it
# is told by its size (553 by 520).
waitFor 60 windowShown Quorvel 500 || fail "the window did not show: $(cat "$work/quorvel.log")"
# Once the Loading notice has gone, the main window has the keyboard: a user who types at
# once loses nothing.
focused() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$WINDOW" ]; }
waitFor 30 focused || fail "the main window never took the keyboard (focus: $(xdotool getwindowfocus 2>&1))"
# The search box and the Find button, from the window's corner (its layout is fixed).
box=($((X + 216)) $((Y + 190))) find=($((X + 396)) $((Y + 222)))

entries() { "$qvl" history | wc -l; }
searched() { [ "$(entries)" -ge "$1" ]; }
for i in $(seq "$clicks"); do
    word=${words[$((i % ${#words[@]}))]}
    xdotool mousemove "${box[@]}" click 1
    xdotool key ctrl+a
    xdotool type --delay 20 "$word"
    xdotool mousemove "${find[@]}"
    sleep 0.2 # the user's pause before the click, not a wait for the program
    xdotool click 1
    waitFor 30 searched "$i" || fail "click $i of $clicks on Find ran no search (history: $(entries) entries)"
    [ "$("$qvl" history | tail -1)" = "$word" ] || fail "click $i searched for '$("$qvl" history | tail -1)', not '$word'"
done
echo "find-clicks: $clicks of $clicks clicks on Find ran their search"
