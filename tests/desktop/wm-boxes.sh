# SPDX-License-Identifier: GPL-2.0-or-later
# Sourced by wm-session.sh once its other checks are done: boxes answered by real input. Moves
# onto names the destination already holds, each replace question answered by a click, by Return
# or Escape and by an access key, every answer checked on the files; the box that reports a failed
# move closed with Return; a multiple rename carried out and its report closed with Return; the
# settings dialog and the printer chooser cancelled with Escape; the settings dialog's choice of
# formats changed by its access key and by a click, closed with OK.
# Uses the session's helpers and $work/filed, registered on folder button 2 (Alt+2).

filed="$work/filed"

# The push buttons along the bottom of window $1, left to right, one "X Y" screen point each:
# found by their outlines, the only upright grey lines 16 pixels or taller in its bottom rows.
buttons_of() {
    local id=$1 x y w h
    x=$(xwininfo -id "$id" | sed -n 's/^ *Absolute upper-left X: *//p')
    y=$(xwininfo -id "$id" | sed -n 's/^ *Absolute upper-left Y: *//p')
    w=$(xwininfo -id "$id" | sed -n 's/^ *Width: *//p')
    h=$(xwininfo -id "$id" | sed -n 's/^ *Height: *//p')
    import -window "$id" "$out/box.png" 2>/dev/null || return 1
    convert "$out/box.png" -crop "${w}x70+0+$((h - 70))" +repage -colorspace gray -depth 8 txt:- 2>/dev/null |
        awk -v ox="$x" -v oy="$((y + h - 70))" '
        NR > 1 {
            split($1, at, /[,:]/)
            px = at[1] + 0; py = at[2] + 0
            v = $2; gsub(/[()]/, "", v); split(v, grey, ","); v = grey[1] + 0
            dark = (v < 200 && v > 40)
            if (dark) {
                run[px] = (last[px] == py - 1 && cur[px] > 0) ? cur[px] + 1 : 1
                cur[px] = run[px]; last[px] = py
                if (cur[px] > best[px]) { best[px] = cur[px]; bottom[px] = py }
            } else {
                cur[px] = 0
            }
            if (px > maxx) maxx = px
        }
        END {
            n = 0; prev = -10
            for (c = 0; c <= maxx; c++) {
                if (best[c] < 16) continue
                if (c - prev > 3) { n++; left[n] = c; mid[n] = bottom[c] - int(best[c] / 2) }
                right[n] = c; prev = c
            }
            for (i = 1; i + 1 <= n; i += 2) {
                printf "%d %d\n", ox + int((left[i] + right[i + 1]) / 2), oy + mid[i]
            }
        }'
}

# Clicks button $2 (from 1, left to right) of window $1.
click_button() {
    local point
    point=$(buttons_of "$1" | sed -n "${2}p")
    [ -n "$point" ] || return 1
    xdotool mousemove ${point% *} ${point#* } click 1
}

# Waits up to five seconds for a box captioned with the program's name, neither the viewer nor the
# panel (a report the program shows); prints its window id, or nothing.
program_box() {
    local i w
    for ((i = 0; i < 50; i++)); do
        for w in $(windows_named '^Vantrel Viewer$'); do
            [ "$w" != "$V" ] && [ "$w" != "$P" ] && echo "$w" && return 0
        done
        sleep 0.1
    done
    return 1
}

# Two pictures that sort first in the list, each with a different file of its name in the
# destination; ${case}1.bmp is green on screen.
case_files() {
    local c=$1
    convert -size 200x150 'xc:rgb(0,128,0)' "$pictures/${c}1.bmp"
    convert -size 200x150 'xc:rgb(0,0,128)' "$pictures/${c}2.bmp"
    echo "old ${c}1" >"$filed/${c}1.bmp"
    echo "old ${c}2" >"$filed/${c}2.bmp"
    cp "$pictures/${c}1.bmp" "$work/${c}1.new"
    cp "$pictures/${c}2.bmp" "$work/${c}2.new"
}
# Selects the first two entries once the list shows the case's pictures.
select_case() {
    local i
    for ((i = 0; i < 30; i++)); do
        xdotool mousemove 60 "$(row_y 0)" click 1
        [ "$("$xpeek" pixel "$CX" "$CY")" = "#008000" ] && break
        sleep 0.1
    done
    xdotool keydown shift mousemove 60 "$(row_y 1)" click 1 keyup shift
}
# ... then asks for their move to the folder of button 2.
select_and_move() {
    select_case
    xdotool key alt+2
}
# What became of ${case}$2.bmp: "replaced" (moved over the old one), "kept" (both where they were).
fate() {
    local c=$1 n=$2
    if [ ! -e "$pictures/$c$n.bmp" ] && cmp -s "$filed/$c$n.bmp" "$work/$c$n.new"; then
        echo replaced
    elif cmp -s "$pictures/$c$n.bmp" "$work/$c$n.new" && [ "$(cat "$filed/$c$n.bmp")" = "old $c$n" ]; then
        echo kept
    else
        echo "lost or mixed"
    fi
}
# Waits for the replace question; its window id is left in $dialog. The box answered before it
# must have gone first, or it could be taken for the new one.
question_up() {
    [ -n "$dialog" ] && until_true 30 sh -c "! xwininfo -id $dialog 2>/dev/null | grep -q IsViewable"
    dialog_opens "Confirm File Replace" "$1"
}
# The question gone, the move over: no box left, the panel takes the keyboard.
question_gone() {
    until_true 30 sh -c "! xdotool search --onlyvisible --name '^Confirm File Replace\$'" &&
        has_keyboard "$P"
}
case_done() {
    local c=$1
    rm -f "$pictures/$c"?.bmp "$filed/$c"?.bmp
}
expect_fates() {
    local c=$1 what=$2 first=$3 second=$4 got
    got="$(fate "$c" 1) $(fate "$c" 2)"
    [ "$got" = "$first $second" ] && pass "$what" || fail "$what" "files $got"
}

mkdir -p "$filed"
dialog=""

# A click on Yes, then a click on No for the second file.
case_files 0a
select_and_move
if question_up "replace question (click)"; then
    shot replace-question
    click_button "$dialog" 1 || fail "buttons of the replace question found"
    if question_up "second replace question (click)"; then
        click_button "$dialog" 3 || fail "buttons of the replace question found"
    fi
    question_gone && pass "the move ends after clicks" || fail "the move ends after clicks" "focus $(focused)"
    expect_fates 0a "Yes then No by click" replaced kept
fi
case_done 0a

# A click on Cancel: the second file is not asked about.
case_files 0b
select_and_move
if question_up "replace question (click Cancel)"; then
    click_button "$dialog" 4 || fail "buttons of the replace question found"
    question_gone && pass "Cancel by click ends the move" || fail "Cancel by click ends the move"
    expect_fates 0b "Cancel by click" kept kept
fi
case_done 0b

# Return answers Yes (the default), Escape Cancel.
case_files 0c
select_and_move
if question_up "replace question (Return)"; then
    xdotool key Return
    if question_up "second replace question (Escape)"; then
        xdotool key Escape
    fi
    question_gone && pass "the move ends after Return and Escape" || fail "the move ends after Return and Escape"
    expect_fates 0c "Yes by Return, then Cancel by Escape" replaced kept
fi
case_done 0c

# The access keys: Alt+N is No, Alt+Y Yes.
case_files 0d
select_and_move
if question_up "replace question (access key)"; then
    xdotool key alt+n
    if question_up "second replace question (access key)"; then
        xdotool key alt+y
    fi
    question_gone && pass "the move ends after access keys" || fail "the move ends after access keys"
    expect_fates 0d "No by Alt+N, then Yes by Alt+Y" kept replaced
fi
case_done 0d

# Alt+A is Yes to All: the second file is not asked about.
case_files 0e
select_and_move
if question_up "replace question (Yes to All)"; then
    xdotool key alt+a
    question_gone && pass "the move ends after Yes to All" || fail "the move ends after Yes to All"
    expect_fates 0e "Yes to All by Alt+A" replaced replaced
fi
case_done 0e

# A move that fails (a folder of that name is in the way) is reported in a box that Return closes.
case_files 0f
rm -f "$filed/0f1.bmp" "$filed/0f2.bmp"
mkdir -p "$filed/0f1.bmp" "$filed/0f2.bmp"
select_and_move
report=$(program_box)
if [ -n "$report" ]; then
    pass "a failed move is reported"
    shot move-failed
    has_keyboard "$report" && pass "the report has the keyboard" || fail "the report has the keyboard" "focus $(focused)"
    xdotool key Return
    until_true 30 sh -c "! xwininfo -id $report | grep -q IsViewable" && has_keyboard "$P" &&
        pass "Return closes the report of a failed move" || fail "Return closes the report of a failed move"
else
    fail "a failed move is reported"
fi
cmp -s "$pictures/0f1.bmp" "$work/0f1.new" && cmp -s "$pictures/0f2.bmp" "$work/0f2.new" &&
    [ -d "$filed/0f1.bmp" ] && [ -d "$filed/0f2.bmp" ] && pass "a failed move keeps the files" ||
    fail "a failed move keeps the files"
rmdir "$filed/0f1.bmp" "$filed/0f2.bmp"
case_done 0f

# A multiple rename carried out: the two entries renamed by a click on the dialog's Rename, the
# box that says it went well closed with Return, the keyboard back in the list.
case_files 0g
select_case
xdotool mousemove 60 "$(row_y 1)" click 3
until_true 30 menu_ready || fail "the selection's menu opens" "focus $(focused)"
xdotool key Down Down Return
if dialog_opens "Vantrel Viewer Multiple File Renaming" "multiple rename dialog (Rename)"; then
    # Replace "0g" with "zq" in the names; the text box for the text replaced has the keyboard.
    xdotool type --delay 30 0g
    xdotool key Tab
    xdotool type --delay 30 zq
    # The Rename button, placed in the dialog's own measure of 15 units a pixel.
    dx=$(xwininfo -id "$dialog" | sed -n 's/^ *Absolute upper-left X: *//p')
    dy=$(xwininfo -id "$dialog" | sed -n 's/^ *Absolute upper-left Y: *//p')
    xdotool mousemove $((dx + (4560 + 487) / 15)) $((dy + (2280 + 157) / 15)) click 1
    done_box=$(program_box)
    if [ -n "$done_box" ]; then
        shot rename-done
        has_keyboard "$done_box" && pass "the rename's report has the keyboard" ||
            fail "the rename's report has the keyboard" "focus $(focused)"
        xdotool key Return
        until_true 30 sh -c "! xwininfo -id $done_box | grep -q IsViewable" && has_keyboard "$P" &&
            pass "Return closes the rename's report, the list has the keyboard" ||
            fail "Return closes the rename's report, the list has the keyboard" "focus $(focused)"
    else
        fail "a multiple rename is reported"
    fi
    cmp -s "$pictures/zq1.bmp" "$work/0g1.new" && cmp -s "$pictures/zq2.bmp" "$work/0g2.new" &&
        [ ! -e "$pictures/0g1.bmp" ] && [ ! -e "$pictures/0g2.bmp" ] && pass "Rename renames both files" ||
        fail "Rename renames both files" "$(cd "$pictures" && echo *)"
fi
rm -f "$pictures/zq1.bmp" "$pictures/zq2.bmp"
case_done 0g

# The settings dialog from its button on the panel: Escape cancels it.
xdotool mousemove 48 8 click 1
if dialog_opens "Vantrel Viewer Settings" "settings dialog"; then
    xdotool key Escape
    until_true 30 sh -c "! xdotool search --onlyvisible --name '^Vantrel Viewer Settings\$'" &&
        pass "Escape closes the settings dialog" || fail "Escape closes the settings dialog"
fi

# The printer chooser for the picture shown (Alt+P): Escape cancels it, and nothing is printed.
xdotool mousemove 60 "$(row_y 0)" click 1
xdotool key alt+p
if dialog_opens "Print" "printer chooser"; then
    xdotool key Escape
    until_true 30 sh -c "! xdotool search --onlyvisible --name '^Print\$'" &&
        pass "Escape closes the printer chooser" || fail "Escape closes the printer chooser"
fi

# The settings dialog's "All picture formats" (access key Alt+A): a PNG, which sorts first, is
# listed while it is ticked. Cleared by Alt+A and closed by Return (OK), the list holds the
# original formats only; ticked again by a click and OK, the PNG is back.
convert -size 200x150 'xc:rgb(200,100,0)' "$pictures/00.png"
first_entry_is() {
    xdotool mousemove 60 "$(row_y 0)" click 1
    [ "$("$xpeek" pixel "$CX" "$CY")" = "$1" ]
}
# The centre of the box's tick square, on the screen, in the dialog $dialog.
formats_box_point() {
    local x y
    x=$(xwininfo -id "$dialog" | sed -n 's/^ *Absolute upper-left X: *//p')
    y=$(xwininfo -id "$dialog" | sed -n 's/^ *Absolute upper-left Y: *//p')
    echo "$((x + 352 + 6)) $((y + 80 + 8))"
}
# What the tick square around "X Y" ($1) looks like, as a checksum of its pixels.
tick_look() {
    import -window root -crop "14x14+$((${1% *} - 7))+$((${1#* } - 7))" +repage rgb:- 2>/dev/null | md5sum
}
# Waits for the tick square at "X Y" ($1) to look other than it did ($2) and to stay so for three
# looks in a row: an access key first shows the box pressed and turns it a tenth of a second later,
# and a Return before that would close the dialog on the old state.
tick_changes() {
    local i now last="" same=0
    for ((i = 0; i < 50; i++)); do
        now=$(tick_look "$1")
        if [ "$now" != "$2" ] && [ "$now" = "$last" ]; then
            same=$((same + 1))
            [ $same -ge 2 ] && return 0
        else
            same=0
        fi
        last=$now
        sleep 0.1
    done
    return 1
}
if until_true 50 first_entry_is "#C86400"; then
    pass "a PNG is listed while all picture formats are"
    xdotool mousemove 48 8 click 1
    if dialog_opens "Vantrel Viewer Settings" "settings dialog (formats)"; then
        point=$(formats_box_point)
        before=$(tick_look "$point")
        xdotool key alt+a
        tick_changes "$point" "$before" && pass "Alt+A clears All picture formats" ||
            fail "Alt+A clears All picture formats" "tick square $before"
        xdotool key Return
        until_true 30 sh -c "! xdotool search --onlyvisible --name '^Vantrel Viewer Settings\$'" &&
            pass "Return (OK) closes the settings dialog" || fail "Return (OK) closes the settings dialog"
        until_true 30 grep -qx 'AllPictures=False' "$VANTREL_SETTINGS" && pass "OK keeps the original formats only" ||
            fail "OK keeps the original formats only" "$(grep AllPictures "$VANTREL_SETTINGS")"
        until_true 50 first_entry_is "#0000C8" && pass "the PNG leaves the list after OK" ||
            fail "the PNG leaves the list after OK" "first entry $("$xpeek" pixel "$CX" "$CY")"
    fi
    xdotool mousemove 48 8 click 1
    if dialog_opens "Vantrel Viewer Settings" "settings dialog (formats again)"; then
        point=$(formats_box_point)
        before=$(tick_look "$point")
        xdotool mousemove $point click 1
        tick_changes "$point" "$before" && pass "a click ticks All picture formats" ||
            fail "a click ticks All picture formats" "tick square $before"
        xdotool key Return
        until_true 30 sh -c "! xdotool search --onlyvisible --name '^Vantrel Viewer Settings\$'" &&
            pass "Return (OK) closes the settings dialog again" ||
            fail "Return (OK) closes the settings dialog again"
        until_true 30 grep -qx 'AllPictures=True' "$VANTREL_SETTINGS" && pass "OK lists all picture formats again" ||
            fail "OK lists all picture formats again" "$(grep AllPictures "$VANTREL_SETTINGS")"
        until_true 50 first_entry_is "#C86400" && pass "the PNG is back in the list after OK" ||
            fail "the PNG is back in the list after OK" "first entry $("$xpeek" pixel "$CX" "$CY")"
    fi
else
    fail "a PNG is listed while all picture formats are" "first entry $("$xpeek" pixel "$CX" "$CY")"
fi
rm -f "$pictures/00.png"
