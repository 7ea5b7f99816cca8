#!/usr/bin/env bash
# Makes the screenshot the AppStream metadata shows (data/screenshots/main.png): the real
# window, built from this tree, on a virtual screen with a compositor, after a search in a
# small tree of ordinary folders. Needs xvfb, xcompmgr, xdotool and imagemagick.
#   tools/screenshot.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=data/screenshots/main.png
work=/tmp/quorvel-shot # short, as it shows in every line
rm -rf "$work"
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

for rel in "Documents/Taxes 2019" "Documents/Photos of the house" "Pictures/Photos 2019" \
    "Pictures/Photos 2020 📷" "Pictures/Holiday photos" "Music/Albums" "Projects/photo-tools/src" \
    "Projects/website/photos" "Videos/Family"; do
    mkdir -p "$work/ann/$rel"
done
export QVL_DATA_DIR=$work/.data QVL_DRIVES="C=$work"
"$build/qvl" index C >/dev/null

source "$(dirname "$0")/xsession.sh"
startXvfb "$work/display" || { echo "screenshot: Xvfb did not start" >&2; exit 1; }
xcompmgr >/dev/null 2>&1 &
"$build/quorvel" >/dev/null 2>&1 &
waitFor 60 windowShown Quorvel || { echo "screenshot: the window did not show" >&2; exit 1; }
win=$(xdotool search --onlyvisible --name '^Quorvel$' | head -1)
sleep 1.5 # the window fades in
eval "$(xdotool getwindowgeometry --shell "$win")"
# The search box sits 216 px right of and 190 px below the window's corner.
xdotool mousemove $((X + 216)) $((Y + 190)) click 1
xdotool type --delay 40 photo
xdotool key Return
sleep 1.5
mkdir -p "$(dirname "$out")"
# The window and its shadow, 8 px right and below.
import -window root -crop "$((WIDTH + 8))x$((HEIGHT + 8))+$X+$Y" +repage "$out"
echo "screenshot: $out ($(identify -format '%wx%h' "$out"))"
