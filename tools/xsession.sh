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

# windowShown NAME: true while a visible window of exactly that name is on the screen.
windowShown() { xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; }
