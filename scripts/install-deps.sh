#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs the Debian 12 packages that one kind of work needs, and nothing more:
#
#   scripts/install-deps.sh SET...      (SET: build run headless test deb bench fuzz format)
#
# Every list lives here and nowhere else (the README's "Developing" section says which make
# target asks for which). Idempotent and quiet: when everything is present it prints nothing and
# touches nothing.
set -euo pipefail

# Compiling and linking the programs and the tests (make, make build).
build=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev libvulkan-dev
    libemf2svg-dev libcrypt-dev
    libturbojpeg0-dev # turning and mirroring JPEGs without loss
    libjpeg62-turbo-dev # the tests of lossless turns read the blocks back with libjpeg
    libexif-dev # the date taken, camera, lens and exposure of the information window and the sort
    libxcb1-dev # the launcher's preview follows its foreign parent window; stacking states
    libxcb-randr0-dev # the primary screen's size, read before the toolkit starts
    libwebp-dev # WebP in the viewer itself
    libpng-dev # PNG in the viewer itself, decoded row by row
    libdeflate-dev # the common PNGs' rows inflated at once, twice as fast as zlib
    libheif-dev libjxl-dev libtiff-dev # HEIF/AVIF, JPEG XL and TIFF, decoded in the helper process
    libde265-dev # HEIC's HEVC, decoded on more threads than libheif starts
    libdav1d-dev # AVIF's AV1 drawn small, reduced before libheif converts it
)
# Running the programs on a desktop (make demo): what Qt and the programs load or start at run time.
run=(
    qt6-qpa-plugins # the X11 platform plugin
    qt6-image-formats-plugins # animated WebP
    fonts-liberation
    xdg-utils # the program a file opens with
)
# make demo without a display: a screen of its own and a screenshot of it.
headless=(xvfb xauth imagemagick)
# The tests (make test, make check, make asan; the sanitizer runtime comes with g++).
test=(
    xvfb xauth x11-utils x11-xserver-utils xdotool wmctrl dbus
    qt6-image-formats-plugins
    libheif-examples libjxl-tools webp apngasm # the tests make their HEIC, AVIF, JPEG XL, WebP and APNG files
    openbox xfwm4 metacity # the desktop checks run under real window managers
    xscreensaver # the end-to-end check of the screen-saver launcher
    imagemagick libvips-tools # pictures made and read back
    libjpeg-turbo-progs # lossless turns checked against jpegtran
    gvfs # the trash as file managers list it
    desktop-file-utils # the desktop's view of an installed viewer (xdg-mime)
    cups cups-client printer-driver-cups-pdf poppler-utils # a real print queue that writes PDFs, read back
    feh libglib2.0-bin gsettings-desktop-schemas # setting the wallpaper, read back
)
# The Debian package and its checks (make deb).
deb=(dpkg-dev fakeroot file lintian desktop-file-utils appstream)
# The start-up latency probe of make bench (feh and nsxiv are its references).
bench=(libx11-dev libxtst-dev feh nsxiv dbus-daemon xvfb xauth libvips-tools libheif-examples libjxl-tools webp apngasm imagemagick)
# The libFuzzer targets (make fuzz).
fuzz=(clang libclang-rt-14-dev)
# make format, make format-check.
format=(clang-format)

[ $# -gt 0 ] || { echo "usage: install-deps.sh SET... (build run headless test deb bench fuzz format)" >&2; exit 2; }
packages=()
for set in "$@"; do
    case "$set" in
    build | run | headless | test | deb | bench | fuzz | format) ;;
    *) echo "install-deps: no set '$set'" >&2; exit 2 ;;
    esac
    declare -n list=$set
    packages+=("${list[@]}")
    unset -n list
done

# One query for all: a package that is not installed prints no "installed" line.
mapfile -t present < <(dpkg-query -W -f='${Status} ${Package}\n' "${packages[@]}" 2>/dev/null |
    sed -n 's/^install ok installed //p')
missing=()
for p in "${packages[@]}"; do
    found=0
    for q in "${present[@]}"; do
        [ "$p" = "$q" ] && { found=1; break; }
    done
    [ $found -eq 1 ] || [[ " ${missing[*]} " == *" $p "* ]] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
# Another apt or dpkg at work (a second 'make check' on the machine, an unattended upgrade) holds
# their locks: wait for it. apt waits for dpkg's lock itself when given a time, but 'update'
# gives up at once on the lock of the package lists, so that is tried again.
apt_get() {
    local out
    for _ in $(seq 120); do
        out=$($sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 "$@" 2>&1) && return 0
        if ! grep -q 'Could not get lock' <<<"$out"; then
            echo "$out" >&2
            return 1
        fi
        sleep 5
    done
    echo "$out" >&2
    return 1
}
echo "Installing: ${missing[*]}"
apt_get update -qq
apt_get install -y -qq --no-install-recommends "${missing[@]}"
