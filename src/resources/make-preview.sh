#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Draws the launcher's preview picture (150 x 100), shown inside a screen-saver chooser's small
# preview window: a framed photo of hills under an evening sky, and the program's name.
# The PNG is committed; run this again only to change the drawing.
set -euo pipefail
cd "$(dirname "$0")"
convert -size 150x100 gradient:'#ff8000'-'#ffffff' \
    -fill '#fff2a0' -stroke none -draw "circle 112,34 112,22" \
    -fill '#3f7f3a' -draw "polygon 0,72 30,56 62,66 96,50 130,62 150,56 150,100 0,100" \
    -fill '#2a5a28' -draw "polygon 0,86 40,70 80,82 118,72 150,84 150,100 0,100" \
    -fill none -stroke '#000000' -strokewidth 2 -draw "rectangle 1,1 148,98" \
    -stroke none -fill '#1a1a40' -font Liberation-Sans-Bold -pointsize 15 \
    -gravity north -annotate +0+8 'Vantrel Viewer' -type TrueColor -depth 8 bitmaps/preview.png
