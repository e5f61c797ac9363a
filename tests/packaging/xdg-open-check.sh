#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# After an install into a prefix, the desktop knows the viewer as a program for JPEG pictures:
# xdg-mime can make it the default, and xdg-open on a picture starts it with that picture.
#   xdg-open-check.sh BUILD_DIR
set -euo pipefail
build=${1:?usage: xdg-open-check.sh BUILD_DIR}
tmp=$(mktemp -d)
viewer=
cleanup() {
    [ -n "$viewer" ] && kill -TERM $viewer 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
cmake --install "$build" --prefix "$tmp/prefix" >/dev/null

mkdir -p "$tmp/home" "$tmp/run" "$tmp/pictures"
chmod 700 "$tmp/run"
# Nothing of the machine's own desktop: only the prefix and the system's MIME database.
export HOME=$tmp/home XDG_DATA_HOME=$tmp/home/.local/share XDG_CONFIG_HOME=$tmp/home/.config
export XDG_DATA_DIRS=$tmp/prefix/share:/usr/share XDG_RUNTIME_DIR=$tmp/run
export VANTREL_SETTINGS=$tmp/settings.ini QT_QPA_PLATFORM=offscreen PATH=$tmp/prefix/bin:$PATH
unset DESKTOP_SESSION KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID XDG_SESSION_DESKTOP DBUS_SESSION_BUS_ADDRESS
# A desktop named outright: else xdg-open asks the X server in $DISPLAY (xprop) and the session
# bus which desktop runs, and both may belong to another run's test or to the user's session.
# The viewer draws offscreen; xdg-open wants some display named before it opens a file.
export XDG_CURRENT_DESKTOP=X-Generic DISPLAY=${DISPLAY:-:0}

convert -size 64x48 xc:'#336699' "$tmp/pictures/my picture.jpg"

xdg-mime default vantrel-viewer.desktop image/jpeg
default=$(xdg-mime query default image/jpeg)
if [ "$default" != vantrel-viewer.desktop ]; then
    echo "xdg-mime: the default for image/jpeg is '$default'" >&2
    exit 1
fi

xdg-open "$tmp/pictures/my picture.jpg" &
# xdg-open starts the viewer with the picture (by its path or its file:// URI).
for _ in $(seq 100); do
    viewer=$(pgrep -f -- "$tmp/prefix/bin/vantrel-viewer .*my(%20| )picture.jpg" || true)
    if [ -n "$viewer" ]; then
        echo "xdg-open started the viewer with the picture"
        exit 0
    fi
    sleep 0.1
done
echo "xdg-open did not start the viewer with the picture" >&2
ps -ef | grep -v grep | grep vantrel-viewer >&2 || true
exit 1
