#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# One desktop session on the X display in $DISPLAY: a window manager (or none), the viewer on a
# folder of generated pictures, and what a user would see and do, read back from the X server
# (xprop, xwininfo, screenshots) and driven through real input events (xdotool).
#
#   wm-session.sh WM WxH VIEWER PICTURES OUT XPEEK
#
# WM is none, openbox, xfwm4 or metacity; PICTURES the folder made by wm-check.sh; OUT a folder
# for the screenshots and the log. Prints one line per check and exits 1 when any failed.
set -u
wm=$1
size=$2
exe=$3
pictures=$4
out=$5
xpeek=$6
here=$(cd "$(dirname "$0")" && pwd)
slow="$(dirname "$pictures")/slow"
W=${size%x*}
H=${size#*x}
mkdir -p "$out"
failed=0
tag="[$wm $size]"

say() { echo "$tag $*"; }
pass() { say "ok   $1"; }
fail() {
    say "FAIL $1${2:+: $2}"
    failed=1
}

# shellcheck source=waits.sh
. "$(dirname "$0")/waits.sh"

# ---- the window manager ---------------------------------------------------------------------
wm_pid=""
bus_pid=""
start_wm() {
    case $wm in
    none) return 0 ;;
    openbox) openbox --sm-disable >"$out/wm.log" 2>&1 & ;;
    xfwm4) xfwm4 --compositor=off --sm-client-disable >"$out/wm.log" 2>&1 & ;;
    metacity) metacity --sm-disable --no-composite >"$out/wm.log" 2>&1 & ;;
    *)
        echo "unknown window manager $wm" >&2
        exit 2
        ;;
    esac
    wm_pid=$!
    if ! until_true 150 wm_ready; then
        fail "window manager starts" "$wm did not announce itself"
        return 1
    fi
}

# xfwm4 and metacity keep their settings behind D-Bus; give them a session bus of their own.
if [ "$wm" != none ] && [ "$wm" != openbox ] && [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] &&
    command -v dbus-daemon >/dev/null; then
    eval "$(dbus-daemon --session --fork --print-address=1 --print-pid=1 | {
        read -r address
        read -r pid
        echo "export DBUS_SESSION_BUS_ADDRESS='$address'; bus_pid=$pid"
    })"
fi

# ---- the program ----------------------------------------------------------------------------
work=$(mktemp -d "${TMPDIR:-/tmp}/vv-desktop.XXXXXX")
viewer_pid=""
cleanup() {
    [ -n "$viewer_pid" ] && kill "$viewer_pid" 2>/dev/null
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null
    [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"
export XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export VANTREL_SETTINGS="$work/settings.ini"
# A copy of its own: this session moves files out of it.
cp -r "$pictures" "$work/pictures"
pictures="$work/pictures"
mkdir -p "$work/filed"
export QT_QPA_PLATFORM=xcb
unset VANTREL_SCREEN
# A gradient of blue to cyan (no red at all), so any red in the panel's column is the panel.
cat >"$VANTREL_SETTINGS" <<INI
[Directories]
Pictures=$pictures
Filed=$work/filed

[Settings]
Basename=Pictures
Caption1=Pictures
Caption2=Filed
SlideColor=16711680
SlideColor2=16776960
FontColor=65535
GradientAngle=0
SlideTime=30
INI

# ---- reading the screen ---------------------------------------------------------------------
# A screenshot to look at afterwards.
shot() { import -window root "$out/$1.png" 2>/dev/null; }

# The share of the panel's column (168 pixels wide, whole height) with some red in it: the
# panel's grey face and buttons, none of the blue background behind it.
panel_share() { "$xpeek" share 0 0 168 "$H"; }
panel_seen() { awk -v s="$(panel_share)" 'BEGIN { exit !(s > 0.15) }'; }
panel_gone() { awk -v s="$(panel_share)" 'BEGIN { exit !(s < 0.02) }'; }
wait_panel_seen() { until_true 30 panel_seen; }
wait_panel_gone() { until_true 30 panel_gone; }

# The picture shown: the colour at a point that every picture covers, fitted beside the panel
# or centred on the whole screen during a show.
CX=$((180 + (W - 190) / 2 - 40))
CY=$((H / 2))
picture_now() {
    local rgb
    rgb=$("$xpeek" pixel "$CX" "$CY")
    case $rgb in
    "#0000C8") echo 1 ;;
    "#C8C800") echo 2 ;;
    "#00C8C8") echo 3 ;;
    "#C800C8") echo 4 ;;
    "#FFFFFF") echo 5 ;;
    *) echo "?$rgb" ;;
    esac
}
# Waits until the picture shown is $1; prints the one shown when it does not come.
wait_picture() {
    local i got
    for ((i = 0; i < 30; i++)); do
        got=$(picture_now)
        [ "$got" = "$1" ] && return 0
        sleep 0.1
    done
    echo "$got"
    return 1
}

# Top-level windows of the program by role: the viewer covers the screen, the panel is 170 wide.
windows_named() { xdotool search --onlyvisible --name "$1" 2>/dev/null; }
viewer_window() {
    local w
    for w in $(xdotool search --onlyvisible --name '^Vantrel Viewer$' 2>/dev/null); do
        xwininfo -id "$w" 2>/dev/null | grep -q "Width: $W\$" && {
            echo "$w"
            return 0
        }
    done
    return 1
}
panel_window() {
    local w
    for w in $(xdotool search --name '^Vantrel Viewer$' 2>/dev/null); do
        xwininfo -id "$w" 2>/dev/null | grep -q 'Width: 170$' && {
            echo "$w"
            return 0
        }
    done
    return 1
}
# The middle of file list entry $1 (from 0): the list starts 39 pixels down, 13 pixels a row.
row_y() { echo $((39 + 13 * $1 + 6)); }
focused() { xdotool getwindowfocus 2>/dev/null; }

# ---- the checks -----------------------------------------------------------------------------
# shellcheck source=wm-closing.sh
. "$(dirname "$0")/wm-closing.sh"
start_wm || exit 1
"$exe" >"$out/viewer.log" 2>&1 &
viewer_pid=$!
if ! until_true 150 viewer_window || ! until_true 50 panel_window; then
    shot start-failed
    fail "the viewer and the panel appear"
    exit 1
fi
V=$(viewer_window)
P=$(panel_window)

# (e) captions as they are, nothing appended.
name_of() { xprop -id "$1" WM_NAME 2>/dev/null | sed -n 's/^WM_NAME([A-Z_0-9]*) = "\(.*\)"$/\1/p'; }
for w in "$V" "$P"; do
    n=$(name_of "$w")
    [ "$n" = "Vantrel Viewer" ] && pass "caption of window $w" || fail "caption of window $w" "'$n'"
done

# (d2) Right after start, with no click, Down shows the second picture.
shot start
wait_panel_seen && pass "panel visible at start" || fail "panel visible at start" "share $(panel_share)"
got=$(wait_picture 1) && pass "first picture at start" || fail "first picture at start" "$got"
# As a person would, Down once the panel has the keyboard (a manager gives it on mapping).
panel_has_keyboard() { [ "$(focused)" = "$P" ]; }
until_true 30 panel_has_keyboard || fail "the panel has the keyboard at start" "focus $(focused)"
xdotool key Down
got=$(wait_picture 2) && pass "Down right after start" || fail "Down right after start" "shows $got"

# (a) A click on a file list entry selects it; the keys then go on from there.
xdotool mousemove 60 "$(row_y 3)" click 1
got=$(wait_picture 4) && pass "click on the fourth entry" || fail "click on the fourth entry" "shows $got"
xdotool key Up
got=$(wait_picture 3) && pass "Up after the click" || fail "Up after the click" "shows $got"

# (c) After magnifying a picture, Down moves the list. The first picture is the large one.
xdotool mousemove 60 "$(row_y 0)" click 1
wait_picture 1 >/dev/null || fail "first picture shown before magnifying"
xdotool mousemove "$CX" "$CY" click 1
shot magnified
xdotool key Down
got=$(wait_picture 2) && pass "Down after magnifying" || fail "Down after magnifying" "shows $got"

# (c) After a double-click on a thumbnail, Down moves the list.
xdotool mousemove 106 8 click 1
# Finds the thumbnail of the third picture (cyan) on a quarter-size copy of the screen.
spot=""
cyan_spot() {
    shot thumbnails
    spot=$(convert "$out/thumbnails.png" -crop "$((W - 180))x${H}+180+0" +repage -sample 25% txt:- 2>/dev/null |
        grep -m1 '#00C8C8' | cut -d: -f1)
    [ -n "$spot" ]
}
if until_true 50 cyan_spot && cyan_spot; then
    tx=$((180 + ${spot%,*} * 4 + 4))
    ty=$((${spot#*,} * 4 + 4))
    xdotool mousemove "$tx" "$ty" click --repeat 2 --delay 80 1
    got=$(wait_picture 3) && pass "double-click opens the third picture" ||
        fail "double-click opens the third picture" "shows $got"
    xdotool key Down
    got=$(wait_picture 4) && pass "Down after the double-click" ||
        fail "Down after the double-click" "shows $got"
else
    fail "thumbnail page shows the third picture"
fi

# (b) A slide show hides the panel; Escape brings it back, reachable by click and keys.
L=$((H == 600 ? 331 : 474))
B=$((38 + L))
xdotool mousemove 115 $((B + 8)) click 1
wait_panel_gone && pass "panel hidden during the show" || fail "panel hidden during the show" "share $(panel_share)"
shot show
if [ "$wm" != none ]; then
    until_true 30 sh -c "xprop -id $V _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE" &&
        pass "viewer above others during the show" ||
        fail "viewer above others during the show" "$(xprop -id "$V" _NET_WM_STATE)"
fi
# (d) A second start during the show leaves the panel hidden and the show running.
timeout 20 "$exe" >"$out/second.log" 2>&1
second=$?
[ $second -eq 0 ] && pass "second start ends" || fail "second start ends" "status $second"
stays_true 10 panel_gone && pass "panel still hidden after a second start" ||
    fail "panel still hidden after a second start" "share $(panel_share)"
shot show-after-second
[ "$(viewer_window)" = "$V" ] && pass "viewer window kept" || fail "viewer window kept" "now $(viewer_window)"
xdotool key Escape
wait_panel_seen && pass "panel back after the show" || fail "panel back after the show" "share $(panel_share)"
shot after-show
if [ "$wm" != none ]; then
    xprop -id "$V" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE && fail "viewer let go after the show" ||
        pass "viewer let go after the show"
fi
[ "$(panel_window)" = "$P" ] && pass "panel window kept" || fail "panel window kept" "now $(panel_window)"
xdotool key Down
got=$(wait_picture 5) && pass "Down after the show" || fail "Down after the show" "shows $got"
xdotool mousemove 60 "$(row_y 1)" click 1
got=$(wait_picture 2) && pass "click on the second entry after the show" ||
    fail "click on the second entry after the show" "shows $got"

# Minimize takes the panel along and a second start brings both back, the keyboard in the list.
# Without a window manager nothing could bring them back, so nothing leaves the screen.
map_state() { xwininfo -id "$1" 2>/dev/null | sed -n 's/^ *Map State: //p'; }
xdotool mousemove 159 8 click 1
pair_on_screen() { panel_seen && [ "$(map_state "$V")" = IsViewable ]; }
if [ "$wm" = none ]; then
    stays_true 10 pair_on_screen && pass "Minimize keeps the pair without a manager" ||
        fail "Minimize keeps the pair without a manager" "viewer $(map_state "$V"), share $(panel_share)"
else
    until_true 50 sh -c "[ \"\$(xwininfo -id $V | sed -n 's/^ *Map State: //p')\" != IsViewable ]" &&
        [ "$(map_state "$P")" != IsViewable ] && pass "Minimize takes the viewer and the panel" ||
        fail "Minimize takes the viewer and the panel" "viewer $(map_state "$V"), panel $(map_state "$P")"
    shot minimized
    timeout 20 "$exe" >"$out/third.log" 2>&1
    until_true 50 sh -c "[ \"\$(xwininfo -id $V | sed -n 's/^ *Map State: //p')\" = IsViewable ]"
    wait_panel_seen && pass "a second start brings the pair back" ||
        fail "a second start brings the pair back" "viewer $(map_state "$V"), share $(panel_share)"
    shot restored
fi
xdotool mousemove 60 "$(row_y 0)" click 1
got=$(wait_picture 1) && pass "click on the first entry after Minimize" ||
    fail "click on the first entry after Minimize" "shows $got"
xdotool key Down
got=$(wait_picture 2) && pass "Down after Minimize" || fail "Down after Minimize" "shows $got"

# A window of the program's on the screen other than the viewer and the panel (a tip, a menu):
# its id and left edge.
own_popup() {
    local w x
    for w in $(xdotool search --onlyvisible --pid "$viewer_pid" 2>/dev/null); do
        [ "$w" = "$V" ] || [ "$w" = "$P" ] && continue
        x=$(xwininfo -id "$w" 2>/dev/null | sed -n 's/^ *Absolute upper-left X: *//p')
        [ -n "$x" ] && echo "$w $x" && return 0
    done
    return 1
}
info_tip() { own_popup; }
# A menu of the program's is up. Its keyboard grab goes out right behind the map, so the keys that
# follow reach the menu, not the list.
menu_ready() { own_popup; }

# Ctrl+I: the picture's information in a tip of the program's own, clear of the panel, that
# follows the picture shown and goes with Ctrl+I again.
xdotool key ctrl+i
if until_true 30 info_tip; then
    tip=$(info_tip)
    [ "${tip#* }" -ge 170 ] && pass "Ctrl+I shows the information clear of the panel" ||
        fail "Ctrl+I shows the information clear of the panel" "tip at x=${tip#* }"
    shot information
    xdotool key Down
    got=$(wait_picture 3) && info_tip >/dev/null && pass "the information stays with the next picture" ||
        fail "the information stays with the next picture" "shows $got"
    xdotool key ctrl+i
    until_true 30 sh -c "! xwininfo -id ${tip%% *} 2>/dev/null | grep -q IsViewable" &&
        pass "Ctrl+I again closes the information" || fail "Ctrl+I again closes the information"
    xdotool key Up
    got=$(wait_picture 2) && pass "Up after the information" || fail "Up after the information" "shows $got"
else
    shot missing-information
    fail "Ctrl+I shows the information" "focus $(focused)"
fi

# Waits for the window captioned exactly $1 ($2 names it in the report) and checks that it has
# the keyboard; its id is left in $dialog.
dialog=""
has_keyboard() { until_true 20 sh -c "[ \"\$(xdotool getwindowfocus)\" = $1 ]"; }
dialog_opens() {
    dialog=""
    if ! until_true 50 windows_named "^$1\$"; then
        shot "missing-$2"
        fail "$2's caption" "visible: $(for w in $(xdotool search --onlyvisible --name . 2>/dev/null); do
            name_of "$w"
        done | sort -u | tr '\n' '|')"
        return 1
    fi
    dialog=$(windows_named "^$1\$" | head -n1)
    pass "$2's caption"
    has_keyboard "$dialog" && pass "$2 has the keyboard" || fail "$2 has the keyboard" "focus $(focused)"
    shot "$2"
}
# Escape closes the dialog captioned $1; the keyboard is back in the panel.
dialog_cancelled() {
    xdotool key Escape
    until_true 30 sh -c "! xdotool search --onlyvisible --name '^$1\$'" || fail "$2 closes"
    has_keyboard "$P" && pass "keyboard back in the panel after the $2" ||
        fail "keyboard back in the panel after the $2" "focus $(focused)"
}

# (e) An input box asked for from the panel. The file menu's second item is Rename.
xdotool mousemove 60 "$(row_y 1)" click 3
until_true 30 menu_ready || fail "the file menu opens" "focus $(focused)"
xdotool key Down Down Return
if dialog_opens "Rename File" "rename box"; then
    dialog_cancelled "Rename File" "rename box"
    xdotool key Down
    got=$(wait_picture 3) && pass "Down after the rename box" ||
        fail "Down after the rename box" "shows $got, focus $(focused), panel $P, viewer $V"
fi

# The multiple rename dialog, asked for with three files selected, centred on the screen. The
# right-click is on a selected entry that is not the focused one: the menu is the selection's, Edit
# first, then Multiple File Rename (Rename is hidden).
xdotool keydown shift mousemove 60 "$(row_y 4)" click 1 keyup shift
xdotool mousemove 60 "$(row_y 3)" click 3
until_true 30 menu_ready || fail "the selection's menu opens" "focus $(focused)"
xdotool key Down Down Return
if dialog_opens "Vantrel Viewer Multiple File Renaming" "multiple rename dialog"; then
    bx=$(xwininfo -id "$dialog" | sed -n 's/^ *Absolute upper-left X: *//p')
    bw=$(xwininfo -id "$dialog" | sed -n 's/^ *Width: *//p')
    middle=$((bx + bw / 2))
    [ $((middle - W / 2)) -le 20 ] && [ $((W / 2 - middle)) -le 20 ] && pass "multiple rename dialog centred" ||
        fail "multiple rename dialog centred" "middle at $middle"
    dialog_cancelled "Vantrel Viewer Multiple File Renaming" "multiple rename dialog"
fi

# Edit, once this program is the desktop's choice for these pictures: a box offers the next
# program associated with them, Return answers Yes, and that program gets the file.
apps="$XDG_DATA_HOME/applications"
mkdir -p "$apps"
printf '#!/bin/sh\necho "$1" > "%s/edited"\n' "$work" >"$work/editor.sh"
chmod +x "$work/editor.sh"
printf '[Desktop Entry]\nType=Application\nName=Vantrel Viewer\nExec=%s %%f\nMimeType=image/bmp;\n' "$exe" \
    >"$apps/vantrel-viewer.desktop"
printf '[Desktop Entry]\nType=Application\nName=Picture Editor\nExec=%s %%f\nMimeType=image/bmp;\n' \
    "$work/editor.sh" >"$apps/vv-editor.desktop"
# The editor is the user's own association, so the system's picture programs (feh, say) come after.
printf '[Default Applications]\nimage/bmp=vantrel-viewer.desktop\n[Added Associations]\nimage/bmp=vv-editor.desktop;\n' \
    >"$apps/mimeapps.list"
xdotool mousemove 60 "$(row_y 0)" click 1
xdotool mousemove 60 "$(row_y 0)" click 3
until_true 30 menu_ready || fail "the file menu opens for Edit" "focus $(focused)"
xdotool key Down Return
if dialog_opens "Edit" "edit offer box"; then
    xdotool key Return
    if until_true 100 test -s "$work/edited"; then
        grep -q 'a1\.bmp$' "$work/edited" && pass "Yes in the edit offer box opens the next program" ||
            fail "Yes in the edit offer box opens the next program" "it got $(cat "$work/edited")"
    else
        fail "Yes in the edit offer box opens the next program" "nothing was opened"
    fi
fi

# The help window opens above the viewer with its own caption, and takes the keyboard; Escape
# closes it.
xdotool key F1
if dialog_opens "Vantrel Viewer Help" "help window"; then
    xdotool key Escape
    until_true 30 sh -c "! xdotool search --onlyvisible --name '^Vantrel Viewer Help\$'" &&
        pass "Escape closes the help window" || fail "Escape closes the help window"
fi

# Boxes answered by real input: the replace question, the report of a failed move, the settings
# dialog and the printer chooser.
. "$here/wm-boxes.sh"
closing_checks_while_running

# Quit at the panel's corner ends the program.
xdotool mousemove 8 8 click 1
if until_true 100 sh -c "! kill -0 $viewer_pid"; then
    pass "Quit ends the program"
    viewer_pid=""
else
    fail "Quit ends the program"
fi

closing_checks_after_quit

# A Wayland session with no Wayland server behind it: the program runs on X all the same.
if [ "$wm" = none ] && [ "$W" = 1024 ]; then
    WAYLAND_DISPLAY=vv-no-such-wayland XDG_SESSION_TYPE=wayland env -u QT_QPA_PLATFORM "$exe" \
        >"$out/wayland.log" 2>&1 &
    viewer_pid=$!
    if until_true 150 viewer_window && until_true 50 panel_window; then
        pass "falls back to X11 under a Wayland session"
    else
        fail "falls back to X11 under a Wayland session" "$(head -c 300 "$out/wayland.log")"
    fi
fi

exit $failed
