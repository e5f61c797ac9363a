# SPDX-License-Identifier: GPL-2.0-or-later
# Waiting on the X server and the program under test, for the desktop checks (sourced). No check
# waits a fixed time: each polls for what it needs, within a bound.

# Polls a command until it succeeds, for at most $1 tenths of a second, times VV_PATIENCE: the
# sanitizer build runs the program several times slower, and what it is given time for is that
# the program gets there at all, not how fast (the normal build keeps the bounds as written).
until_true() {
    local tenths=$(($1 * ${VV_PATIENCE:-1}))
    shift
    local i
    for ((i = 0; i < tenths; i++)); do
        if "$@" >/dev/null 2>&1; then
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# True when "$@" holds at every look for $1 tenths of a second: for what must not change.
stays_true() {
    local tenths=$1
    shift
    local i
    for ((i = 0; i < tenths; i++)); do
        "$@" >/dev/null 2>&1 || return 1
        sleep 0.1
    done
    return 0
}

# The window manager has taken over the screen. Each of openbox, xfwm4 and metacity publishes the
# work area last; its check window comes earlier.
wm_ready() {
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" &&
        xprop -root _NET_WORKAREA 2>/dev/null | grep -q " = "
}
