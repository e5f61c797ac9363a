# SPDX-License-Identifier: GPL-2.0-or-later
# Sourced by wm-session.sh: the keyboard back in the file list after each dialog, a second start
# that never leaves a window held or buried, and every close from outside ending the program as
# Quit does. Uses the session's helpers and its running viewer ($viewer_pid, $V, $P).

# The picture shown becomes $1 within $2 tenths of a second.
picture_within() {
    local tenths=$2 i
    for ((i = 0; i < tenths; i++)); do
        [ "$(picture_now)" = "$1" ] && return 0
        sleep 0.1
    done
    return 1
}
# The picture shown is none of the five of the session's folder.
other_picture() {
    case $(picture_now) in
    \?*) return 0 ;;
    esac
    return 1
}
# Window $1 lies above window $2 among the root's children (with no window manager the program's
# windows are the root's children themselves; xwininfo lists the top one first).
stacked_above() {
    xwininfo -root -children 2>/dev/null | awk -v a="$(printf '0x%x' "$1")" -v b="$(printf '0x%x' "$2")" \
        '$1 == a { pa = NR } $1 == b { pb = NR } END { exit !(pa > 0 && pa < pb) }'
}
# The full-size view shows: its vertical scroll bar (grey, some red) at the screen's right edge,
# where the fitted view leaves the background (no red).
magnified() { awk -v s="$("$xpeek" share $((W - 8)) 100 4 200)" 'BEGIN { exit !(s > 0.5) }'; }
fitted() { awk -v s="$("$xpeek" share $((W - 8)) 100 4 200)" 'BEGIN { exit !(s < 0.1) }'; }

closing_checks_while_running() {
    local answer next second_pid

    # Settings closed with Escape (Cancel) and with Return (OK), then the help window: each time
    # the keys go on in the list without a click.
    xdotool mousemove 60 "$(row_y 0)" click 1
    wait_picture 1 >/dev/null || fail "first picture shown before the settings dialog"
    next=2
    for answer in Escape Return; do
        xdotool mousemove 48 8 click 1
        if dialog_opens "Vantrel Viewer Settings" "settings dialog $answer"; then
            xdotool key "$answer"
            until_true 30 sh -c "! xdotool search --onlyvisible --name '^Vantrel Viewer Settings\$'" ||
                fail "$answer closes the settings dialog"
            # A key pressed the very moment the dialog goes may still reach the window the manager
            # picked; a person's next key comes later. Down decides.
            has_keyboard "$P" || true
            xdotool key Down
            got=$(wait_picture $next) && pass "Down after the settings dialog closed with $answer" ||
                fail "Down after the settings dialog closed with $answer" "shows $got, focus $(focused), panel $P"
            next=$((next + 1))
        fi
    done
    xdotool key F1
    if dialog_opens "Vantrel Viewer Help" "help window again"; then
        xdotool key Escape
        until_true 30 sh -c "! xdotool search --onlyvisible --name '^Vantrel Viewer Help\$'" ||
            fail "Escape closes the help window again"
        has_keyboard "$P" || true
        xdotool key Down
        got=$(wait_picture $next) && pass "Down after the help window" ||
            fail "Down after the help window" "shows $got, focus $(focused), panel $P"
    fi

    # Thumbnails of pictures slow to decode, and while the page is being made a second start with a
    # picture: the page gives way to it and both windows take input again within a second.
    timeout 20 "$exe" "$slow/s00.jpg" >"$out/slow-start.log" 2>&1
    until_true 100 other_picture || fail "a second start shows a picture of another folder" "shows $(picture_now)"
    # The click first: a start handed over before it would only be followed by a page.
    xdotool mousemove 106 8 click 1
    "$exe" "$pictures/a3.bmp" >"$out/start-during-page.log" 2>&1 &
    second_pid=$!
    wait "$second_pid"
    # The start itself may take a while on a busy machine; the second counts from its picture on.
    picture_within 3 100 && pass "a second start during a thumbnail page shows its picture" ||
        fail "a second start during a thumbnail page shows its picture" "shows $(picture_now)"
    shot page-then-second-start
    xdotool key Down
    picture_within 4 10 && pass "the panel takes keys within a second after the page gave way" ||
        fail "the panel takes keys within a second after the page gave way" "shows $(picture_now), focus $(focused)"
    xdotool mousemove 60 "$(row_y 0)" click 1
    picture_within 1 10 && pass "the panel takes clicks within a second after the page gave way" ||
        fail "the panel takes clicks within a second after the page gave way" "shows $(picture_now)"
    xdotool mousemove "$CX" "$CY" click 1
    until_true 10 magnified && pass "the viewer takes clicks within a second after the page gave way" ||
        fail "the viewer takes clicks within a second after the page gave way" "share $("$xpeek" share $((W - 8)) 100 4 200)"
    # Away from the first click, so the two are no double-click.
    xdotool mousemove $((CX - 60)) $((CY + 40)) click 1
    until_true 30 fitted || fail "a click on the full-size picture fits it again"

    # With no window manager nothing keeps the panel above the viewer that a second start raises:
    # the program itself puts it back on top, with or without a picture.
    if [ "$wm" = none ]; then
        timeout 20 "$exe" >"$out/second-plain.log" 2>&1
        until_true 30 stacked_above "$P" "$V" && wait_panel_seen &&
            pass "panel above the viewer after a second start" ||
            fail "panel above the viewer after a second start" "$(xwininfo -root -children | grep -c 0x), share $(panel_share)"
        timeout 20 "$exe" "$pictures/a2.bmp" >"$out/second-picture.log" 2>&1
        wait_picture 2 >/dev/null || fail "a second start with a picture shows it"
        until_true 30 stacked_above "$P" "$V" && wait_panel_seen &&
            pass "panel above the viewer after a second start with a picture" ||
            fail "panel above the viewer after a second start with a picture" "share $(panel_share)"
        xdotool key Down
        got=$(wait_picture 3) && pass "Down after a second start" || fail "Down after a second start" "shows $got"
    fi
}

# Starts the program again; the panel must show.
start_again() {
    "$exe" >"$out/start-after-$1.log" 2>&1 &
    viewer_pid=$!
    if until_true 150 viewer_window && until_true 50 panel_window && wait_panel_seen; then
        pass "a start after $2 shows the panel"
    else
        shot "start-after-$1"
        fail "a start after $2 shows the panel" "share $(panel_share)"
    fi
    V=$(viewer_window)
    P=$(panel_window)
}

# Window $2 closed from outside as $1 says: the program ends within 2 seconds, and its unload has
# stored the current folder again (taken out of the file meanwhile). With $3 = wmctrl the close is
# asked of the window manager by another program (_NET_CLOSE_WINDOW), as a task bar or pager does.
closes_program() {
    local what=$1 window=$2 by=${3:-keys}
    sed -i '/^Basename=/d' "$VANTREL_SETTINGS"
    if [ "$by" = wmctrl ]; then
        wmctrl -i -c "$window"
    elif [ "$wm" = none ]; then
        # What a window manager sends on Alt+F4 or the title bar's close button.
        "$xpeek" close "$window"
    else
        xdotool key alt+F4
    fi
    if until_true 20 sh -c "! kill -0 $viewer_pid"; then
        pass "$what ends the program within 2 s"
    else
        shot "close-$window"
        fail "$what ends the program within 2 s"
        kill "$viewer_pid" 2>/dev/null
    fi
    wait "$viewer_pid" 2>/dev/null
    viewer_pid=""
    grep -q '^Basename=Pictures$' "$VANTREL_SETTINGS" && pass "$what saves the current folder" ||
        fail "$what saves the current folder" "$(grep -c Basename "$VANTREL_SETTINGS") Basename lines"
}

viewer_activated() {
    xdotool windowactivate "$V" 2>/dev/null
    until_true 3 sh -c "[ \"\$(xdotool getwindowfocus)\" = $V ]"
}

closing_checks_after_quit() {
    local how=Alt+F4
    [ "$wm" = none ] && how="a close request"
    start_again quit "Quit"
    xdotool mousemove 60 "$(row_y 1)" click 1
    wait_picture 2 >/dev/null || fail "second picture shown before closing the panel"
    has_keyboard "$P" || fail "the panel has the keyboard before $how" "focus $(focused)"
    closes_program "$how on the panel" "$P"

    start_again panel-closed "closing the panel"
    if [ "$wm" != none ]; then
        # Asked again until it holds: for a second after the start the program hands the keyboard
        # back to the list whenever the manager gives it to the viewer.
        until_true 40 viewer_activated || fail "the viewer has the keyboard before $how" "focus $(focused)"
    fi
    closes_program "$how on the viewer" "$V"

    start_again viewer-closed "closing the viewer"
    if [ "$wm" != none ] && command -v wmctrl >/dev/null; then
        closes_program "wmctrl -c on the viewer" "$V" wmctrl
        start_again viewer-closed-by-pager "a close asked by another program"
        closes_program "wmctrl -c on the panel" "$P" wmctrl
        start_again panel-closed-by-pager "a close of the panel asked by another program"
    fi
    xdotool mousemove 8 8 click 1
    if until_true 100 sh -c "! kill -0 $viewer_pid"; then
        pass "Quit ends the program after a close"
    else
        fail "Quit ends the program after a close"
    fi
    wait "$viewer_pid" 2>/dev/null
    viewer_pid=""
}
