#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Draws the program's own cursors, bitmaps and artwork (ImageMagick). The PNGs are committed;
# run this again only to change the drawings.
set -euo pipefail
cd "$(dirname "$0")"
sans=Liberation-Sans
sansb=Liberation-Sans-Bold
serif=Liberation-Serif-Bold
c() { convert -size "$1" xc:none "${@:2}"; }

# Cursors, 32 x 32 with transparency; hot spots are set in code.
c 32x32 -fill black -stroke white -strokewidth 1 \
    -draw "polygon 0,0 0,21 5,16 9,25 12,24 8,15 15,15" cursors/normal.png
c 32x32 -fill '#f0d070' -stroke black -strokewidth 1 \
    -draw "polygon 8,3 24,3 24,6 17,15 24,24 24,27 8,27 8,24 15,15 8,6" \
    -fill '#a07010' -stroke none -draw "polygon 11,24 21,24 16,19" -draw "polygon 12,7 20,7 16,12" \
    -stroke black -strokewidth 2 -draw "line 6,2 26,2" -draw "line 6,28 26,28" cursors/wait.png
c 32x32 -fill black -stroke white -strokewidth 1 -draw "polygon 0,0 0,11 3,8 7,8" \
    -fill '#c8e0ff' -stroke black -strokewidth 2 -draw "circle 16,14 16,6" \
    -strokewidth 4 -draw "line 22,20 29,27" cursors/magnifier.png
c 32x32 -fill black -stroke white -strokewidth 1 -draw "polygon 16,8 16,24 20,20 23,27 25,26 22,19 27,19" \
    -fill white -stroke black -draw "rectangle 4,20 14,30" cursors/move.png
c 32x32 -fill black -stroke white -strokewidth 1 -draw "polygon 16,8 16,24 20,20 23,27 25,26 22,19 27,19" \
    -fill white -stroke black -draw "rectangle 4,20 14,30" -draw "line 9,22 9,28" -draw "line 6,25 12,25" \
    cursors/copy.png

# Hand pictures of the panel, 19 x 17, manual advance off (up) and on (down).
hand() {
    convert -size 19x17 xc:"$1" -fill '#f3c9a0' -stroke '#704020' -strokewidth 1 \
        -draw "roundrectangle 4,7 15,15 2,2" -draw "roundrectangle 5,$2 7,9 1,1" \
        -draw "roundrectangle 8,$(($2 - 1)) 10,9 1,1" -draw "roundrectangle 11,$2 13,9 1,1" \
        -draw "roundrectangle 1,8 5,11 1,1" -type TrueColor "$3"
}
hand '#f0f0f0' 2 bitmaps/handup.png
hand '#c0c0c0' 5 bitmaps/handdown.png

# Placeholder of a thumbnail without a usable picture, 36 x 36.
convert -size 36x36 xc:'#e0e0e0' -fill none -stroke '#808080' -draw "rectangle 0,0 35,35" \
    -fill white -draw "rectangle 6,8 29,27" -stroke '#c00000' -strokewidth 3 \
    -draw "line 11,12 24,24" -draw "line 24,12 11,24" -type TrueColor bitmaps/invalid.png

# Logo at the panel's foot, 162 x 33.
convert -size 162x33 gradient:'#f0f0f0-#b8b8c8' -font "$serif" -pointsize 20 -fill '#203060' \
    -gravity center -annotate +0+0 'Vantrel Viewer' bitmaps/logo.png

# The screen saver's drifting logo, 309 x 45, drawn for a black screen.
convert -size 309x45 xc:black -font "$serif" -pointsize 34 -fill '#3a3000' -gravity center \
    -annotate +2+0 'Vantrel Viewer' -fill '#f0c850' -stroke '#fff0b0' -strokewidth 0.6 -annotate +0-2 'Vantrel Viewer' \
    -stroke none -fill '#806010' -draw "rectangle 40,41 268,42" -type TrueColor -depth 8 bitmaps/screensaver-logo.png

# Splash (320 x 180) and screen-saver loading window (200 x 50).
convert -size 320x180 gradient:'#f4f4f4-#909098' -font "$serif" -pointsize 34 -fill '#203060' \
    -gravity center -annotate +0-14 'Vantrel Viewer' -font "$sans" -pointsize 13 -fill '#303030' \
    -annotate +0+26 'Version 1.0.0' -fill none -stroke '#606068' -draw "rectangle 0,0 319,179" bitmaps/splash.png
convert -size 200x50 gradient:'#f4f4f4-#a0a0a8' -font "$sansb" -pointsize 15 -fill '#203060' \
    -gravity center -annotate +0-9 'Vantrel Viewer' -font "$sans" -pointsize 12 -fill '#d00000' \
    -annotate +0+11 'Screen Saver Loading...' -fill none -stroke '#606068' -draw "rectangle 0,0 199,49" \
    bitmaps/loading.png

# The desktop icon at every size: make-icons.sh.

# Skins of the two 17-pixel buttons whose captions cannot fit: normal, pressed, under the pointer.
skin() { # output, background, glyph colour, glyph
    convert -size 17x17 xc:"$2" -fill "$3" -font "$sansb" -pointsize 13 -gravity center -annotate +0+0 "$4" \
        -fill none -stroke '#808080' -draw "rectangle 0,0 16,16" "$1"
}
skin bitmaps/quit.png '#c0c0c0' black 'X'
skin bitmaps/quit-down.png '#c00000' white 'X'
skin bitmaps/quit-on.png '#ff0000' white 'X'
skin bitmaps/help.png '#f0f0f0' black '?'
skin bitmaps/help-down.png '#d0d0d0' black '?'
skin bitmaps/help-on.png '#f0f0f0' '#0000c0' '?'
