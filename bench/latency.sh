#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The black-box latency figures of make bench: from the command to a picture on screen, and from
# the Down key to the next picture, read from the X server by a probe pixel (never from the
# program). Runs on its own Xvfb screen of 1024 x 768 (tests/support/on-xvfb.sh), with no window
# manager.
#
# The viewer is started both ways a person starts it: given the file, and with no argument, when
# it opens the registered folder it showed last (a settings file prepared to say so, the picture
# first in a folder of ten, and in one of 100,000 files). Each is compared in the same run with plain `feh FILE` and
# `nsxiv FILE`, the fastest peers at start, and with `feh -F` (full-screen, which scales the
# picture as the viewer does). All five are run in turn, round after round, so that a slower
# moment of the machine weighs on each alike; the figures are medians, the ratios of medians.
#
#   bench/latency.sh BINDIR CORPUS [RUNS]
# BINDIR holds vantrel-viewer, vantrel-latency-probe and vantrel-bench; CORPUS is made once.
set -euo pipefail
bin=${1:?usage: latency.sh BINDIR CORPUS [RUNS]}
corpus=${2:?usage: latency.sh BINDIR CORPUS [RUNS]}
runs=${3:-11}
probe="$bin/vantrel-latency-probe"

if [ -z "${LATENCY_ON_XVFB:-}" ]; then
    # Its own screen, so nothing else on the desktop covers the probe pixel.
    exec env LATENCY_ON_XVFB=1 "$(dirname "$0")/../tests/support/on-xvfb.sh" "-screen 0 1024x768x24" "$0" "$@"
fi
if [ -z "${LATENCY_ON_BUS:-}" ] && command -v dbus-run-session >/dev/null; then
    # A session bus, as every desktop session has: Qt's accessibility bridge connects to it while
    # the first window is made, and with none, libdbus starts one through dbus-launch, which
    # costs more than a start of feh (about 170 ms under load) and is no desktop's case.
    exec env LATENCY_ON_BUS=1 dbus-run-session -- "$0" "$@"
fi
[ -x "$probe" ] || { echo "latency: $probe was not built (libx11-dev, libxtst-dev)" >&2; exit 2; }
[ -f "$corpus/steps/11.jpg" ] || "$bin/vantrel-bench" --make-latency-corpus "$corpus" >/dev/null
corpus=$(cd "$corpus" && pwd)

# The folders a start with no argument opens: the measured picture first, nine more after it.
for size in 12 24; do
    last="$corpus/last$size"
    if [ ! -f "$last/09.jpg" ]; then
        mkdir -p "$last"
        ln -f "$corpus/${size}mp.jpg" "$last/00.jpg" 2>/dev/null || cp "$corpus/${size}mp.jpg" "$last/00.jpg"
        for i in 1 2 3 4 5 6 7 8 9; do
            ln -f "$corpus/steps/0$i.jpg" "$last/0$i.jpg" 2>/dev/null || cp "$corpus/steps/0$i.jpg" "$last/0$i.jpg"
        done
    fi
done

# The same first picture in a last folder of 100,000 files (the rest empty, never shown): the start
# must not wait for the whole folder to be listed and sorted.
big="$corpus/last12big"
if [ ! -f "$big/199999.jpg" ]; then
    mkdir -p "$big"
    ln -f "$corpus/12mp.jpg" "$big/00.jpg" 2>/dev/null || cp "$corpus/12mp.jpg" "$big/00.jpg"
    (cd "$big" && seq 100001 199999 | sed 's/$/.jpg/' | xargs touch)
fi

# The same walk in a folder of the same pictures stored as phones store them (HEIC), made once:
# the encoder takes several seconds a picture.
have_heic=0
if command -v heif-enc >/dev/null; then
    if [ ! -f "$corpus/steps-heic/11.heic" ]; then
        mkdir -p "$corpus/steps-heic"
        for f in "$corpus"/steps/*.jpg; do
            n=$(basename "$f" .jpg)
            heif-enc -q 80 -p preset=ultrafast "$f" -o "$corpus/steps-heic/$n.new.heic" >/dev/null 2>&1 &&
                mv "$corpus/steps-heic/$n.new.heic" "$corpus/steps-heic/$n.heic"
        done
    fi
    [ -f "$corpus/steps-heic/11.heic" ] && have_heic=1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=xcb
unset VANTREL_SCREEN

# Inside the magenta block of the pictures for the viewer (picture centred right of the 170-pixel
# panel) and for feh (centred on the screen, whole or at its own size); nsxiv opens an 800 x 600
# window at the top left with the picture fitted in it.
at=560,384
at_nsxiv=400,290

# Runs a start under the probe, then ends the program; prints the milliseconds ("timeout" when
# the picture never showed).
timed_start() { # probe point, settings file to start with ("-": none), command...
    local point=$1 settings=$2
    shift 2
    local run
    run=$(mktemp -d -p "$work")
    [ "$settings" = - ] || cp "$settings" "$run/settings.ini"
    local ms
    ms=$(XDG_RUNTIME_DIR=$run VANTREL_SETTINGS=$run/settings.ini XDG_CONFIG_HOME=$run XDG_CACHE_HOME=$run \
        "$probe" --at "$point" --rgb ff00ff start "$@" 2>"$run/probe.err") || ms=timeout
    local pid
    pid=$(awk '/^pid/ {print $2}' "$run/probe.err")
    [ -n "$pid" ] && kill -TERM -- "-$pid" 2>/dev/null || true
    # The screen goes back to black before the next start.
    sleep 0.4
    echo "$ms"
}

median() { grep -v timeout | sort -n | awk '{a[NR]=$1} END {if (NR == 0) print "nan"; else if (NR % 2) print a[(NR+1)/2]; else printf "%.1f\n", (a[NR/2]+a[NR/2+1])/2}'; }

have_feh=0
have_nsxiv=0
command -v feh >/dev/null && have_feh=1
command -v nsxiv >/dev/null && have_nsxiv=1
[ $have_feh = 1 ] || echo "latency: feh is not installed; its figures are missing" >&2
[ $have_nsxiv = 1 ] || echo "latency: nsxiv is not installed; its figures are missing" >&2

declare -A times
printf '[Directories]\nBig=%s\n[Settings]\nBasename=Big\n' "$big" >"$work/big.ini"
: >"$work/folder12big"
for size in 12 24; do
    picture="$corpus/${size}mp.jpg"
    printf '[Directories]\nLast%s=%s\n[Settings]\nBasename=Last%s\n' "$size" "$corpus/last$size" "$size" \
        >"$work/last$size.ini"
    for name in file folder feh nsxiv fehF; do
        : >"$work/$name$size"
    done
    for ((i = 0; i < runs; i++)); do
        timed_start $at - "$bin/vantrel-viewer" "$picture" >>"$work/file$size"
        timed_start $at "$work/last$size.ini" "$bin/vantrel-viewer" >>"$work/folder$size"
        [ $size != 12 ] || timed_start $at "$work/big.ini" "$bin/vantrel-viewer" >>"$work/folder12big"
        if [ $have_feh = 1 ]; then
            timed_start $at - feh "$picture" >>"$work/feh$size"
            timed_start $at - feh -F --hide-pointer "$picture" >>"$work/fehF$size"
        fi
        if [ $have_nsxiv = 1 ]; then
            timed_start $at_nsxiv - nsxiv "$picture" >>"$work/nsxiv$size"
        fi
    done
    for name in file folder feh nsxiv fehF; do
        times[$name$size]=$(median <"$work/$name$size")
        timeouts=$(grep -c timeout "$work/$name$size" || true)
        [ "$timeouts" = 0 ] || echo "# $name ${size} MP: $timeouts of $runs starts never showed the picture"
    done
done

times[folder12big]=$(median <"$work/folder12big")

# Stepping through a folder of 24-megapixel pictures at a human pace, one Down a second: each
# step's time into file $2.
colours=(ff00ff 00ffff ffff00 ff0000 00ff00 0000ff)
step_through() {
    local run pid i
    run=$(mktemp -d -p "$work")
    XDG_RUNTIME_DIR=$run VANTREL_SETTINGS=$run/settings.ini \
        "$probe" --at $at --rgb ff00ff start "$bin/vantrel-viewer" "$1" 2>"$run/probe.err" >/dev/null
    pid=$(awk '/^pid/ {print $2}' "$run/probe.err")
    : >"$2"
    for ((i = 1; i < 12; i++)); do
        sleep 1
        "$probe" --at $at --rgb "${colours[i % 6]}" --timeout 5000 key Down >>"$2" || echo 5000 >>"$2"
    done
    kill -TERM -- "-$pid" 2>/dev/null || true
}
step_through "$corpus/steps" "$work/steps"
next_max=$(sort -n "$work/steps" | tail -1)
next_median=$(median <"$work/steps")
if [ $have_heic = 1 ]; then
    step_through "$corpus/steps-heic" "$work/steps-heic"
    next_max_heic=$(sort -n "$work/steps-heic" | tail -1)
    next_median_heic=$(median <"$work/steps-heic")
fi

report() { printf 'BENCH %s %s %s\n' "$1" "$2" "${3:-ms}"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (a == "nan" || b == "nan" || b == 0) print "nan"; else printf "%.2f\n", a / b}'; }
for size in 12 24; do
    report start_to_picture_${size}mp "${times[file$size]}"
    report start_last_folder_${size}mp "${times[folder$size]}"
done
report start_last_folder_100k_files_12mp "${times[folder12big]}"
report next_picture_median_24mp "$next_median"
report next_picture_max_24mp "$next_max"
if [ $have_heic = 1 ]; then
    report next_picture_median_24mp_heic "$next_median_heic"
    report next_picture_max_24mp_heic "$next_max_heic"
fi
for size in 12 24; do
    report ref_feh_start_${size}mp "${times[feh$size]}"
    report ref_nsxiv_start_${size}mp "${times[nsxiv$size]}"
    report ref_feh_fullscreen_start_${size}mp "${times[fehF$size]}"
done
# Each start road against each peer, as ratios of the medians of this run.
for size in 12 24; do
    for road in file folder; do
        name=start_to_picture_${size}mp
        [ $road = folder ] && name=start_last_folder_${size}mp
        report "ratio_${name}_feh" "$(ratio "${times[$road$size]}" "${times[feh$size]}")" x
        report "ratio_${name}_nsxiv" "$(ratio "${times[$road$size]}" "${times[nsxiv$size]}")" x
        report "ratio_${name}_feh_fullscreen" "$(ratio "${times[$road$size]}" "${times[fehF$size]}")" x
    done
done

missed=0
judge() { # name, value, limit, what
    if awk -v v="$2" -v l="$3" 'BEGIN {exit !(v != "nan" && l != "nan" && v <= l)}'; then
        printf 'MET    %s %s <= %.2f (%s)\n' "$1" "$2" "$3" "$4"
    else
        printf 'MISSED %s %s <= %s (%s)\n' "$1" "$2" "$3" "$4"
        missed=1
    fi
}
report ratio_start_last_folder_100k_files_to_10_files_12mp "$(ratio "${times[folder12big]}" "${times[folder12]}")" x
# Both roads against plain feh, the fastest peer at start.
limit() { awk -v f="$1" -v k="$2" 'BEGIN {if (f == "nan") print "nan"; else printf "%.2f\n", k * f}'; }
if [ $have_feh = 1 ]; then
    judge start_to_picture_12mp "${times[file12]}" "$(limit "${times[feh12]}" 0.7)" "0.7 x feh"
    judge start_last_folder_12mp "${times[folder12]}" "$(limit "${times[feh12]}" 0.7)" "0.7 x feh"
    judge start_to_picture_24mp "${times[file24]}" "$(limit "${times[feh24]}" 0.5)" "0.5 x feh"
    judge start_last_folder_24mp "${times[folder24]}" "$(limit "${times[feh24]}" 0.5)" "0.5 x feh"
fi
judge start_last_folder_100k_files_12mp "${times[folder12big]}" "$(limit "${times[folder12]}" 1.5)" \
    "1.5 x the 10-file folder"
judge next_picture_max_24mp "$next_max" 33 "33 ms, one step a second"
if [ $have_heic = 1 ]; then
    judge next_picture_max_24mp_heic "$next_max_heic" 33 "33 ms, as the JPEG steps, one step a second"
else
    echo "# no heif-enc: the HEIC steps were not measured (scripts/install-deps.sh bench)"
fi
exit $missed
