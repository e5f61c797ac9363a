#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# End to end with Debian's xscreensaver under Xvfb with two screens: the launcher registered as
# the settings dialog's button registers it, xscreensaver's activation shows our run inside
# xscreensaver's own window on each screen within a few seconds and never a "crashed" message,
# also with one more run drawn into a window of another program (as xscreensaver's settings show
# their preview); killing that window's program ends its run at once and leaves the others;
# deactivation ends the runs with "Mode" back at "Off"; and a following /S runs.
# Usage: xscreensaver_e2e.sh BIN_DIR SAMPLES_DIR
# Exit 77 (skipped) when xscreensaver or Xvfb is missing.
set -u
BIN=$(realpath "$1")
SAMPLES=$(realpath "$2")
command -v xscreensaver >/dev/null && command -v Xvfb >/dev/null && command -v xauth >/dev/null && command -v xwininfo >/dev/null || exit 77

if [ "${VV_E2E_INNER:-}" != 1 ]; then
    OUT=$(mktemp -d)
    trap 'rm -rf "$OUT"' EXIT
    # xscreensaver runs no screen savers for root: the check runs as an unprivileged user then.
    run=()
    if [ "$(id -u)" -eq 0 ]; then
        command -v setpriv >/dev/null || { echo "skip: setpriv is missing"; exit 77; }
        chown nobody:nogroup "$OUT"
        run=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
        # A build inside a folder only root may enter cannot be run by that user: nothing to check.
        if ! "${run[@]}" test -r "$0" -a -x "$BIN/vantrel-viewer" -a -r "$SAMPLES"; then
            echo "skip: the build folder cannot be read by an unprivileged user"
            exit 77
        fi
    fi
    "${run[@]}" env -u XDG_RUNTIME_DIR -u DBUS_SESSION_BUS_ADDRESS TMPDIR="$OUT" VV_E2E_INNER=1 VV_OUT="$OUT" \
        QT_QPA_PLATFORM=xcb "$(dirname "$0")/../support/on-xvfb.sh" "-screen 0 800x600x24 -screen 1 640x480x24" "$0" "$BIN" "$SAMPLES"
    exit $?
fi

OUT=$VV_OUT
fail() { echo "FAIL: $*"; [ -f "$OUT/xss.log" ] && tail -20 "$OUT/xss.log"; ls -la "$XDG_RUNTIME_DIR"/*.runs 2>/dev/null; exit 1; }
export HOME=$OUT/home VANTREL_SETTINGS=$OUT/settings.ini XDG_RUNTIME_DIR=$OUT/run XDG_CONFIG_HOME=$OUT/config
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
printf '[Directories]\nSamples=%s\n[Settings]\nBasename=Samples\nSlideTime=1\n[Application]\nPath=%s\n[ScreenSaver]\nMode=Off\nLogoShow=0\n' \
    "$SAMPLES" "$BIN" >"$VANTREL_SETTINGS"
# A user's file with programs of its own, which must stay.
printf 'timeout:\t0:10:00\nlock:\t\tFalse\nfade:\t\tFalse\nsplash:\t\tFalse\nprograms:\t\t\\\n\t\t\t\tmaze --root\t\\n\\\n\t\t\t\tqix --root\t\\n\n' \
    >"$HOME/.xscreensaver"

"$BIN/vv-register-saver" >/dev/null || fail "registering"
grep -q "^mode:[[:space:]]*one$" "$HOME/.xscreensaver" || fail "mode"
grep -q "^selected:[[:space:]]*0$" "$HOME/.xscreensaver" || fail "selected"
grep -q "vantrel-viewer-screensaver --root" "$HOME/.xscreensaver" || fail "entry"
grep -q "maze --root" "$HOME/.xscreensaver" || fail "other programs kept"

xscreensaver -no-splash -verbose >"$OUT/xss.log" 2>&1 &
XS=$!
trap 'kill $XS 2>/dev/null' EXIT
for _ in $(seq 1 100); do xscreensaver-command -version >/dev/null 2>&1 && break; sleep 0.1; done

# The window of our run inside xscreensaver's window on screen $1, if it is there.
viewer_window() {
    local w
    w=$(grep -o 'vantrel-viewer-screensaver --root" in pid [0-9]* on window 0x[0-9a-f]*' "$OUT/xss.log" |
        awk '{print $NF}' | sort -u | while read -r id; do
        xwininfo -display "${DISPLAY%.*}.$1" -id "$id" >/dev/null 2>&1 && echo "$id"
    done | tail -1)
    [ -n "$w" ] && xwininfo -display "${DISPLAY%.*}.$1" -children -id "$w" 2>/dev/null | grep -q '"vantrel-viewer"'
}
# This check's viewers (other checks may run viewers of the same user meanwhile).
our_viewers() {
    local p
    for p in $(pgrep -u "$(id -u)" -x vantrel-viewer); do
        tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "VANTREL_SETTINGS=$VANTREL_SETTINGS" && echo "$p"
    done
}
runs() { our_viewers | wc -l; }

xscreensaver-command -activate >/dev/null || fail "activate"
for screen in 0 1; do
    shown=0
    for _ in $(seq 1 50); do # 5 s
        if viewer_window "$screen"; then shown=1; break; fi
        sleep 0.1
    done
    [ $shown = 1 ] || fail "no run in xscreensaver's window on screen $screen within 5 s"
done
grep -q '^Mode=On' "$VANTREL_SETTINGS" || fail "Mode not On during the run"
# The run paints its picture a moment after its window shows.
lit=0
for _ in $(seq 1 50); do # 5 s
    import -window root "$OUT/active.png"
    mean=$(convert "$OUT/active.png" -format '%[fx:mean]' info:)
    if awk -v m="$mean" 'BEGIN { exit !(m > 0.2) }'; then lit=1; break; fi
    sleep 0.1
done
[ $lit = 1 ] || fail "screen black during the run (mean $mean)"
[ -n "${VV_E2E_SHOT:-}" ] && cp "$OUT/active.png" "$VV_E2E_SHOT"

# One more run, in a window of another program, as xscreensaver's settings run their preview.
xev -geometry 400x300+0+0 -name host >/dev/null 2>&1 &
HOST=$!
for _ in $(seq 1 50); do HOSTWIN=$(xdotool search --name '^host$' 2>/dev/null | head -1); [ -n "$HOSTWIN" ] && break; sleep 0.1; done
[ -n "${HOSTWIN:-}" ] || fail "host window"
"$BIN/vantrel-viewer-screensaver" --window-id "$HOSTWIN" 2>"$OUT/preview.log" &
PREVIEW=$!
for _ in $(seq 1 50); do
    xwininfo -children -id "$HOSTWIN" 2>/dev/null | grep -q '"vantrel-viewer"' && break
    sleep 0.1
done
xwininfo -children -id "$HOSTWIN" 2>/dev/null | grep -q '"vantrel-viewer"' || fail "no run in the host window: $(cat "$OUT/preview.log")"
# Laid out for the window: the run covers the host's inside, not a full-screen layout cut off.
inner=$(xwininfo -children -id "$HOSTWIN" | grep '"vantrel-viewer"' | head -1 | awk '{print $1}')
xwininfo -id "$inner" | grep -q 'Width: 400$' && xwininfo -id "$inner" | grep -q 'Height: 300$' ||
    fail "the run in the host window has the host's size: $(xwininfo -id "$inner" | grep -E 'Width|Height' | tr '\n' ' ')"
[ "$(runs)" -ge 3 ] || fail "three runs side by side (have $(runs))"
grep -qi 'crashed' "$OUT/xss.log" && fail "xscreensaver says a program crashed"

# The host is killed outright: its run ends at once, the others go on.
kill -9 $HOST
start=$(date +%s%N)
for _ in $(seq 1 100); do
    kill -0 $PREVIEW 2>/dev/null || break
    sleep 0.05
done
kill -0 $PREVIEW 2>/dev/null && fail "the run outlived its host"
echo "run ended $((($(date +%s%N) - start) / 1000000)) ms after its host was killed"
wait $PREVIEW 2>/dev/null
[ "$(runs)" -ge 2 ] || fail "the runs of xscreensaver went on (have $(runs))"
grep -q '^Mode=On' "$VANTREL_SETTINGS" || fail "Mode went Off while runs live"

xscreensaver-command -deactivate >/dev/null || fail "deactivate"
for _ in $(seq 1 100); do # 10 s
    [ -n "$(our_viewers)" ] || break
    sleep 0.1
done
[ -n "$(our_viewers)" ] && fail "run still alive after deactivate"
grep -q '^Mode=Off' "$VANTREL_SETTINGS" || fail "Mode not Off after the run: $(grep Mode "$VANTREL_SETTINGS")"
grep -qi 'crashed' "$OUT/xss.log" && fail "xscreensaver says a program crashed: $(grep -i crashed "$OUT/xss.log" | head -2)"

# A following /S runs.
kill $XS 2>/dev/null
"$BIN/vantrel-viewer-screensaver" /S || fail "/S"
for _ in $(seq 1 100); do [ -n "$(our_viewers)" ] && break; sleep 0.1; done
pid=$(our_viewers | head -1)
[ -n "$pid" ] || fail "/S after the runs started nothing"
kill -TERM "$pid"
for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
grep -q '^Mode=Off' "$VANTREL_SETTINGS" || fail "Mode not Off after /S"
echo "PASS"
