#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Draws the desktop icon: a scalable SVG and PNGs at the sizes desktops ask for (hicolor theme).
# The same shapes, on a 64-unit grid, for both. Needs ImageMagick and Python 3; the results are
# committed.
set -euo pipefail
cd "$(dirname "$0")/icons"

cat > vantrel-viewer.svg <<'SVG'
<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64" viewBox="0 0 64 64">
  <rect x="2" y="6" width="59" height="51" rx="6" ry="6" fill="#2050a0"/>
  <rect x="6" y="10" width="51" height="43" rx="3" ry="3" fill="#3a70c8"/>
  <circle cx="20" cy="22" r="7" fill="#ffd040"/>
  <polygon points="6,52 26,30 38,42 46,34 58,52" fill="#60c060"/>
  <polygon points="26,30 38,42 34,52 14,52" fill="#4aa84a"/>
</svg>
SVG

# Each PNG is drawn four times larger on the same grid, then reduced, for smooth edges.
for size in 16 24 32 48 64 128 256; do
    big=$((size * 4))
    mapfile -t draw < <(python3 - "$big" <<'PY'
import sys
s = int(sys.argv[1]) / 64.0
def p(*xy): return " ".join(f"{xy[i]*s:.2f},{xy[i+1]*s:.2f}" for i in range(0, len(xy), 2))
for colour, shape in [
    ("#2050a0", f"roundrectangle {p(2,6,61,57)} {6*s:.2f},{6*s:.2f}"),
    ("#3a70c8", f"roundrectangle {p(6,10,57,53)} {3*s:.2f},{3*s:.2f}"),
    ("#ffd040", f"circle {p(20,22,20,15)}"),
    ("#60c060", f"polygon {p(6,52,26,30,38,42,46,34,58,52)}"),
    ("#4aa84a", f"polygon {p(26,30,38,42,34,52,14,52)}"),
]:
    print("-fill"); print(colour); print("-draw"); print(shape)
PY
    )
    convert -size "${big}x${big}" xc:none "${draw[@]}" -resize "${size}x${size}" -depth 8 -strip \
        "PNG32:vantrel-viewer-${size}.png"
done
