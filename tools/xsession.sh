# Helpers for the scripts that drive the window on a virtual screen; sourced, not run.

# waitFor SECONDS COMMAND...: runs COMMAND until it succeeds; false once the time is up.
waitFor() {
    local until=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$until" ] || return 1
        sleep 0.05
    done
}

# startXvfb FILE [PREFIX...]: starts an X server on a free display (FILE receives its
# number), run through PREFIX if given (e.g. runuser -u USER --); exports DISPLAY and
# sets xvfbPid. False if the server gave no display within 60 s.
startXvfb() {
    local file=$1
    shift
    : >"$file"
    "$@" Xvfb -displayfd 3 -screen 0 1280x900x24 3>"$file" >/dev/null 2>&1 &
    xvfbPid=$!
    waitFor 60 test -s "$file" || return 1
    export DISPLAY=:$(cat "$file")
}

# windowShown NAME [MIN_WIDTH]: true while a visible window of exactly that name (and at
# least that wide: a notice may bear the main window's name) is on the screen; its
# geometry is left in WINDOW, X, Y, WIDTH and HEIGHT.
windowShown() {
    local id geometry
    for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
        geometry=$(xdotool getwindowgeometry --shell "$id" 2>/dev/null) || continue
        eval "$geometry"
        [ "${WIDTH:-0}" -ge "${2:-0}" ] && return 0
    done
    return 1
}

# onlyWindow NAME MIN_WIDTH: that window is shown, and no other of the same name.
onlyWindow() {
    windowShown "$1" "$2" && [ "$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | wc -l)" -eq 1 ]
}
