#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Unpacks the Debian package into a temporary root and checks what a user would get: the files
# in their places, the desktop entry and metainfo valid, the programs able to start, and lintian.
set -euo pipefail
deb=${1:?usage: check-deb.sh PACKAGE.deb}
[ -f "$deb" ] || { echo "check-deb: no package $deb" >&2; exit 1; }
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
fail=0
need() { # path inside the package, test (-f file, -x program, -L link)
    if ! test "$2" "$root$1"; then
        echo "check-deb: missing $1" >&2
        fail=1
    fi
}

name=$(basename "$deb")
case "$name" in
vantrel-viewer_*_"$(dpkg --print-architecture)".deb) ;;
*) echo "check-deb: unexpected file name $name" >&2; fail=1 ;;
esac

need /usr/bin/vantrel-viewer -x
need /usr/libexec/vantrel-viewer/vantrel-metafile-helper -x
need /usr/libexec/vantrel-viewer/vantrel-picture-helper -x
need /usr/share/vantrel-viewer/VIEWER.HLP -f
# The modules loaded at first use, in the program's folder of the architecture's libraries.
moduledir=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)/vantrel-viewer
need "$moduledir/vantrel-print.so" -f
need "$moduledir/vantrel-svg.so" -f
for prog in /usr/bin/vantrel-viewer /usr/bin/vantrel-viewer-screensaver; do
    if [ -f "$root$prog" ] && ! grep -qF "$moduledir" "$root$prog"; then
        echo "check-deb: $prog looks for its modules elsewhere than $moduledir" >&2
        fail=1
    fi
done
need /usr/share/applications/vantrel-viewer.desktop -f
need /usr/share/metainfo/vantrel-viewer.metainfo.xml -f
for size in 16 24 32 48 64 128 256; do
    need /usr/share/icons/hicolor/${size}x${size}/apps/vantrel-viewer.png -f
    if [ -f "$root/usr/share/icons/hicolor/${size}x${size}/apps/vantrel-viewer.png" ] &&
        ! file "$root/usr/share/icons/hicolor/${size}x${size}/apps/vantrel-viewer.png" | grep -q "$size x $size"; then
        echo "check-deb: the ${size}x${size} icon has another size" >&2
        fail=1
    fi
done
need /usr/share/icons/hicolor/scalable/apps/vantrel-viewer.svg -f
need /usr/share/man/man1/vantrel-viewer.1.gz -f
need /usr/share/doc/vantrel-viewer/copyright -f
need /usr/share/doc/vantrel-viewer/changelog.gz -f
if [ -e "$root/usr/bin/vantrel-viewer-screensaver" ]; then
    need /usr/bin/vantrel-viewer-screensaver -x
    need /usr/share/man/man1/vantrel-viewer-screensaver.1.gz -f
fi
# Nothing outside the places a package may use.
if find "$root" -mindepth 1 -maxdepth 1 ! -name usr | grep -q .; then
    echo "check-deb: files outside /usr:" >&2
    find "$root" -mindepth 1 -maxdepth 1 ! -name usr >&2
    fail=1
fi

desktop-file-validate "$root/usr/share/applications/vantrel-viewer.desktop" || fail=1
appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/vantrel-viewer.metainfo.xml" >/dev/null || {
    appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/vantrel-viewer.metainfo.xml" >&2
    fail=1
}
grep -q '^Exec=vantrel-viewer %U$' "$root/usr/share/applications/vantrel-viewer.desktop" || {
    echo "check-deb: the desktop entry does not pass the files it opens" >&2
    fail=1
}
version=$("$root/usr/bin/vantrel-viewer" --version) || fail=1
if [ "$version" != "vantrel-viewer $(dpkg-deb -f "$deb" Version)" ]; then
    echo "check-deb: --version says '$version'" >&2
    fail=1
fi
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' && dpkg-deb -f "$deb" Depends | grep -q 'libqt6printsupport6' || {
    echo "check-deb: the dependencies were not computed from the libraries" >&2
    fail=1
}

# The programs parse files from anywhere: each has its relocations read-only and bound at start,
# and is stripped (lintian, below, also looks for the checked string and memory functions).
for prog in /usr/bin/vantrel-viewer /usr/bin/vantrel-viewer-screensaver /usr/libexec/vantrel-viewer/vantrel-metafile-helper \
    /usr/libexec/vantrel-viewer/vantrel-picture-helper "$moduledir/vantrel-print.so" "$moduledir/vantrel-svg.so"; do
    [ -f "$root$prog" ] || continue
    if ! readelf -d "$root$prog" | grep -q 'BIND_NOW'; then
        echo "check-deb: $prog is not linked with -z now" >&2
        fail=1
    fi
    if ! readelf -lW "$root$prog" | grep -q 'GNU_RELRO'; then
        echo "check-deb: $prog has no read-only relocations" >&2
        fail=1
    fi
    if readelf -S -W "$root$prog" | grep -q '\.debug_info'; then
        echo "check-deb: $prog is not stripped" >&2
        fail=1
    fi
done

# lintian at its default level prints nothing (as root it needs to be told that is fine).
if command -v lintian >/dev/null; then
    out=$(lintian --allow-root --tag-display-limit 0 "$deb" 2>&1 || true)
    if [ -n "$out" ]; then
        echo "$out"
        fail=1
    fi
else
    echo "check-deb: lintian is missing (scripts/install-deps.sh deb)" >&2
    fail=1
fi

[ $fail -eq 0 ] && echo "check-deb: $name is complete"
exit $fail
