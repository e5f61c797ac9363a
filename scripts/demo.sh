#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Opens the viewer on the bundled sample pictures with a throw-away settings file that registers
# the sample folder. Without a display it runs under Xvfb and saves a screenshot instead.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
exe="$root/$build/bin/vantrel-viewer"
samples="$root/src/resources/samples"

work=$(mktemp -d "${TMPDIR:-/tmp}/vantrel-demo.XXXXXX")
trap 'rm -rf "$work"' EXIT
settings="$work/Vantrel Viewer.ini"
cat > "$settings" <<INI
[Directories]
Samples=$samples

[Settings]
Basename=Samples
Caption1=Samples
INI
chmod 600 "$settings"
export VANTREL_SETTINGS="$settings"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    echo "Vantrel Viewer on the sample pictures in $samples (Quit at the panel's top-left closes it)."
    "$exe"
else
    shot="$root/$build/demo.png"
    echo "No display: running under Xvfb for a few seconds; screenshot in $shot"
    "$root/tests/support/on-xvfb.sh" "-screen 0 1024x768x24" bash -c "
        \"$exe\" & pid=\$!
        sleep 4
        import -window root \"$shot\" || true
        kill \$pid 2>/dev/null || true
        wait \$pid 2>/dev/null || true"
fi
