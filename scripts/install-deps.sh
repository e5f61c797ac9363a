#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need.
# Idempotent and quiet: when everything is present it prints nothing and touches nothing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-qpa-plugins libgl-dev libvulkan-dev
    libemf2svg-dev libcrypt-dev
    libturbojpeg0-dev # turning and mirroring JPEGs without loss (libjpeg-turbo-progs' jpegtran checks it)
    libexif-dev # the date taken, camera, lens and exposure of the information window and the sort
    qt6-image-formats-plugins libwebp-dev # WebP in the viewer itself (the plugin plays animated ones)
    libheif-dev libjxl-dev libtiff-dev # HEIF/AVIF, JPEG XL and TIFF, decoded in the helper process
    libheif-examples libjxl-tools webp apngasm # the tests make their HEIC, AVIF, JPEG XL, WebP and APNG files
    libxcb1-dev # the launcher's preview follows its foreign parent window
    xscreensaver # the end-to-end check of the screen-saver launcher
    fonts-liberation
    xvfb xauth x11-utils imagemagick libjpeg-turbo-progs libvips-tools
    clang libclang-rt-14-dev clang-format
    dbus
    openbox xfwm4 metacity xdotool # the desktop checks run under real window managers
    xdg-utils # the program a file opens with
    gvfs # the trash as file managers list it (tests)
    desktop-file-utils appstream # checking the desktop entry and the metainfo
    dpkg-dev fakeroot lintian file # make deb: dependencies, the package, its checks
    libx11-dev libxtst-dev # the start-up latency probe of make bench (feh, below, is its reference)
    libcups2 cups-client # printing to the system's printers
    poppler-utils # reading printed PDFs back (tests)
    cups printer-driver-cups-pdf # a real print queue that writes PDFs (tests)
    feh libglib2.0-bin gsettings-desktop-schemas # setting the wallpaper; tests read it back
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
