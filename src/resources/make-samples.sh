#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Draws the bundled sample pictures (ImageMagick for the raster ones, make-metafiles.py for the
# Windows metafiles). Deterministic; the results are committed.
set -euo pipefail
cd "$(dirname "$0")/samples"
font=Liberation-Sans-Bold
scene() { # size, sky, ground, label, options..., output
    local w=${1%x*} h=${1#*x}
    convert -size "$1" gradient:"$2" \
        -fill "$3" -draw "polygon 0,$((h * 6 / 10)) $((w / 3)),$((h * 45 / 100)) $((w * 2 / 3)),$((h * 62 / 100)) $w,$((h / 2)) $w,$h 0,$h" \
        -fill '#ffe680' -draw "circle $((w * 3 / 4)),$((h / 4)) $((w * 3 / 4 + h / 12)),$((h / 4))" \
        -font "$font" -pointsize $((h / 14)) -fill white -stroke '#00000060' -gravity south \
        -annotate +0+$((h / 20)) "$4" "${@:5:$#-5}" "${@: -1}"
}
scene 1600x1000 '#6fa8dc-#e8f1fa' '#4f7a3a' 'Lake, 1600 x 1000' -quality 85 lake-wide.jpg
scene 800x1200 '#f6b26b-#fde9d0' '#7f6000' 'Tower, 800 x 1200' -quality 85 tower-tall.jpg
scene 640x480 '#9fc5e8-#ffffff' '#38761d' 'Meadow, 640 x 480' -quality 85 meadow.jpg
scene 1024x683 '#b4a7d6-#f3f0fa' '#274e13' 'Hills, 1024 x 683' -quality 85 hills.jpeg
scene 320x240 '#d9ead3-#ffffff' '#b45f06' 'Bitmap' -type TrueColor BMP3:field.bmp
scene 240x180 '#cfe2f3-#ffffff' '#990000' 'GIF' -colors 64 barn.gif
python3 ../make-metafiles.py .
printf 'These are notes, not a picture, although the name ends in .jpg.\n' > notes-not-a-picture.jpg
