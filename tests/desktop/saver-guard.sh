#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# A screen-saver run with a password under real window managers (none, openbox, xfwm4, metacity),
# each on its own Xvfb: a window behind the run logs every input it gets (xev), and everything a
# person at the keyboard might try during the run is tried with real input events (xdotool, through
# XTEST): Alt+Tab, Alt+F4, clicks where a title bar's buttons would be, Alt+drag, keys after
# focusing the window behind, the run's window minimised, unmapped and covered by another
# program. Nothing may reach the window behind, the keyboard and the pointer stay held, and only
# the right password ends the run; then the window behind takes input again.
#
#   saver-guard.sh BIN_DIR XPEEK SETTINGS_TOOL OUT [WM...]
set -u
bin=$1
xpeek=$2
tool=$3
out=$4
shift 4
managers=("$@")
[ ${#managers[@]} -eq 0 ] && managers=(none openbox xfwm4 metacity)
here=$(cd "$(dirname "$0")" && pwd)

if [ -z "${VV_GUARD_INNER:-}" ]; then
    for t in Xvfb xauth xdotool xev xwininfo convert; do
        command -v "$t" >/dev/null || {
            echo "missing $t: run scripts/install-deps.sh test" >&2
            exit 1
        }
    done
    rm -rf "$out"
    mkdir -p "$out"
    status=0
    for wm in "${managers[@]}"; do
        for attempt in 1 2 3; do
            VV_GUARD_INNER=$wm "$here/../support/on-xvfb.sh" "-screen 0 800x600x24" \
                "$0" "$bin" "$xpeek" "$tool" "$out/$wm" >"$out/$wm.txt" 2>&1
            code=$?
            grep -q "^\[$wm\]" "$out/$wm.txt" && break
            sleep $((attempt * 2))
        done
        cat "$out/$wm.txt"
        [ $code -eq 0 ] || status=1
    done
    exit $status
fi

wm=$VV_GUARD_INNER
W=800
H=600
mkdir -p "$out"
failed=0
say() { echo "[$wm] $*"; }
pass() { say "ok   $1"; }
fail() {
    say "FAIL $1${2:+: $2}"
    failed=1
    import -window root "$out/fail-$(echo "$1" | tr -c 'a-z0-9' '-').png" 2>/dev/null
}
# shellcheck source=waits.sh
. "$here/waits.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/vv-guard.XXXXXX")
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"
export XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/run" VANTREL_SETTINGS="$work/settings.ini"
export QT_QPA_PLATFORM=xcb
unset VANTREL_SCREEN
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$work/pictures"
chmod 700 "$XDG_RUNTIME_DIR"

# xfwm4 and metacity keep their settings behind D-Bus: a session bus of their own.
if [ "$wm" != none ] && [ "$wm" != openbox ] && command -v dbus-daemon >/dev/null; then
    eval "$(dbus-daemon --session --fork --print-address=1 --print-pid=1 | {
        read -r a
        read -r p
        echo "export DBUS_SESSION_BUS_ADDRESS='$a'; pids+=($p)"
    })"
fi
case $wm in
none) ;;
openbox) openbox --sm-disable >"$out/wm.log" 2>&1 & pids+=($!) ;;
xfwm4) xfwm4 --compositor=off --sm-client-disable >"$out/wm.log" 2>&1 & pids+=($!) ;;
metacity) metacity --sm-disable --no-composite >"$out/wm.log" 2>&1 & pids+=($!) ;;
esac
if [ "$wm" != none ]; then
    until_true 150 wm_ready || fail "window manager starts"
fi

# One blue picture, shown fitted over the gradient; the password box is grey in the middle.
convert -size 1600x1200 'xc:rgb(0,0,200)' "$work/pictures/a.bmp"
printf '[Directories]\nPictures=%s\n[Settings]\nBasename=Pictures\nSlideTime=255\n[ScreenSaver]\nMode=Off\nLogoShow=0\n' \
    "$work/pictures" >"$VANTREL_SETTINGS"
"$tool" set-password "right one" || fail "password stored"

# The window behind the run, logging its input.
xev -geometry 300x200+40+40 -name victim >"$work/xev.log" 2>&1 &
pids+=($!)
until_true 50 xdotool search --name '^victim$' || fail "window behind appears"
victim=$(xdotool search --name '^victim$' | head -n1)
real_input() { grep -cE '^(KeyPress|ButtonPress) event, serial [0-9]+, synthetic NO' "$work/xev.log"; }
xdotool windowfocus --sync "$victim" 2>/dev/null
xdotool mousemove 150 150 click 1 key b
until_true 100 sh -c "[ \$(grep -cE '^(KeyPress|ButtonPress) event, serial [0-9]+, synthetic NO' '$work/xev.log') -ge 2 ]" &&
    pass "the window behind hears input before the run" || fail "the window behind hears input before the run"

held() { [ "$("$xpeek" held)" = "keyboard pointer" ]; }
box_up() { awk -v s="$("$xpeek" share $((W / 2 - 60)) $((H / 2 - 48)) 120 6)" 'BEGIN { exit !(s > 0.9) }'; }
box_gone() { awk -v s="$("$xpeek" share $((W / 2 - 60)) $((H / 2 - 48)) 120 6)" 'BEGIN { exit !(s < 0.1) }'; }
run_window() {
    local w
    for w in $(xdotool search --name '^Vantrel Viewer$' 2>/dev/null); do
        xwininfo -id "$w" 2>/dev/null | grep -q "Width: $W\$" && {
            echo "$w"
            return 0
        }
    done
    return 1
}
viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
# The run's own process (other tests may run viewers of their own meanwhile).
viewer_pid=""
viewer_alive() { [ -n "$viewer_pid" ] && kill -0 "$viewer_pid" 2>/dev/null; }

"$bin/vantrel-viewer-screensaver" /S >"$out/launcher.log" 2>&1 || fail "launcher /S"
until_true 150 held && pass "the run holds the keyboard and the pointer" || fail "the run holds the keyboard and the pointer" "$("$xpeek" held)"
# The grab can come before a window manager has given the run the whole screen (xfwm4 resizes it
# after mapping), so the full-screen window is waited for, not looked up once.
until_true 100 run_window || fail "the run's window is found"
V=$(run_window)
viewer_pid=$(xdotool getwindowpid "$V" 2>/dev/null)
[ -n "$viewer_pid" ] || fail "the run's process is found"
import -window root "$out/run.png" 2>/dev/null
before=$(real_input)

# What a person might try, with the show on screen and then with the password box up.
xdotool key alt+Tab
until_true 100 box_up && pass "a key brings the password box" || fail "a key brings the password box"
import -window root "$out/box.png" 2>/dev/null
for keys in alt+Tab alt+F4 ctrl+alt+d super "alt+F7" ctrl+Escape; do
    xdotool key "$keys"
done
stays_true 10 held && pass "Alt+Tab, Alt+F4 and the like leave the grab" || fail "Alt+Tab, Alt+F4 and the like leave the grab" "$("$xpeek" held)"
# Where a dialog's title bar with its buttons would be: above and along the top of the box.
for x in $((W / 2 - 170)) $((W / 2 + 110)) $((W / 2 + 140)) $((W / 2 + 170)); do
    for y in $((H / 2 - 95)) $((H / 2 - 80)) $((H / 2 - 60)); do
        xdotool mousemove "$x" "$y" click 1
    done
done
xdotool mousemove $((W / 2 + 150)) $((H / 2 - 80)) click --repeat 2 1
# Alt+drag of the box, and of the run's window.
xdotool keydown alt mousemove $((W / 2)) $((H / 2 - 40)) mousedown 1 mousemove 100 100 mousemove 50 50 mouseup 1 keyup alt
stays_true 5 box_up && pass "the box stays in place after title-bar clicks and Alt+drag" ||
    fail "the box stays in place after title-bar clicks and Alt+drag"
# Keys after the window behind is made the focus (as a window manager or another program would).
xdotool windowfocus "$victim" 2>/dev/null
xdotool windowactivate "$victim" 2>/dev/null
xdotool type --delay 20 "echo reached"
xdotool key Return
xdotool mousemove 150 150 click 1
# The run's window minimised, unmapped and covered by another program.
xdotool windowminimize "$V" 2>/dev/null
stays_true 5 viewable "$V" && pass "a request to minimise changes nothing" || fail "a request to minimise changes nothing"
xdotool windowunmap "$V"
until_true 100 viewable "$V" && pass "an unmapped run maps itself again" || fail "an unmapped run maps itself again"
until_true 100 held && pass "and holds the keyboard and the pointer again" || fail "and holds the keyboard and the pointer again" "$("$xpeek" held)"
xdotool windowmap "$victim" windowraise "$victim"
until_true 100 sh -c "[ \"\$('$xpeek' pixel 150 150)\" != '#FFFFFF' ]" && pass "a window raised over the run goes under again" ||
    fail "a window raised over the run goes under again" "$("$xpeek" pixel 150 150)"
xdotool key --window "$victim" z 2>/dev/null # sent, not typed: marked synthetic, which xev shows
after=$(real_input)
[ "$after" = "$before" ] && pass "nothing reached the window behind" ||
    fail "nothing reached the window behind" "$((after - before)) events: $(grep -E '^(KeyPress|ButtonPress)' "$work/xev.log" | tail -3 | tr '\n' '|')"

# A wrong password: the run goes on, still holding everything.
xdotool mousemove $((W / 2)) $((H / 2 + 30))
until_true 30 box_up || xdotool key shift
until_true 30 box_up
xdotool type --delay 20 "wrong"
xdotool key Return
run_holds() { viewer_alive && held; }
stays_true 10 run_holds && pass "a wrong password leaves the run on" || fail "a wrong password leaves the run on"

if [ "$wm" = openbox ]; then
    # Left alone, the box cancels itself after 30 seconds: back to the show, still holding.
    xdotool mousemove $((W / 2 + 5)) $((H / 2 + 35))
    until_true 30 box_up || xdotool key shift
    until_true 30 box_up
    until_true 400 box_gone && pass "the box's idle cancel returns to the show" || fail "the box's idle cancel returns to the show"
    viewable "$V" && held && pass "after the idle cancel the run still holds everything" ||
        fail "after the idle cancel the run still holds everything" "$("$xpeek" held)"
fi

# The right password ends the run and lets everything go.
xdotool mousemove $((W / 2 + 10)) $((H / 2 + 40))
until_true 30 box_up || xdotool key shift
until_true 100 box_up || fail "the box for the right password"
xdotool type --delay 20 "right one"
xdotool key Return
until_true 100 sh -c "[ -n '$viewer_pid' ] && ! kill -0 '$viewer_pid' 2>/dev/null" && pass "the right password ends the run" ||
    fail "the right password ends the run"
[ -z "$("$xpeek" held)" ] && pass "the keyboard and the pointer are free" || fail "the keyboard and the pointer are free"
until_true 50 grep -q '^Mode=Off' "$VANTREL_SETTINGS" && pass "Mode is Off" || fail "Mode is Off" "$(grep Mode "$VANTREL_SETTINGS")"
xdotool windowfocus --sync "$victim" 2>/dev/null
xdotool mousemove 150 150 click 1
until_true 100 sh -c "[ \$(grep -cE '^(KeyPress|ButtonPress) event, serial [0-9]+, synthetic NO' '$work/xev.log') -gt $after ]" &&
    pass "the window behind hears input again" || fail "the window behind hears input again"
exit $failed
