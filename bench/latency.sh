#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The black-box latency figures of make bench: from the command to a picture on screen, and from
# the Down key to the next picture, read from the X server by a probe pixel (never from the
# program), with feh's start times from the same run for reference. Runs on its own Xvfb screen
# of 1024 x 768 (tests/support/on-xvfb.sh), with no window manager.
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
[ -x "$probe" ] || { echo "latency: $probe was not built (libx11-dev, libxtst-dev)" >&2; exit 2; }
[ -f "$corpus/steps/11.jpg" ] || "$bin/vantrel-bench" --make-latency-corpus "$corpus" >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=xcb
unset VANTREL_SCREEN

# Inside the magenta block of the pictures both for the viewer (picture centred right of the
# 170-pixel panel) and for feh (centred on the screen).
at=560,384

# Runs a start under the probe, then ends the program; prints the milliseconds.
timed_start() { # colour, command...
    local colour=$1
    shift
    local run
    run=$(mktemp -d -p "$work")
    local ms
    ms=$(XDG_RUNTIME_DIR=$run VANTREL_SETTINGS=$run/settings.ini \
        "$probe" --at $at --rgb "$colour" start "$@" 2>"$run/probe.err") || ms=timeout
    local pid
    pid=$(awk '/^pid/ {print $2}' "$run/probe.err")
    [ -n "$pid" ] && kill -TERM -- "-$pid" 2>/dev/null || true
    # The screen goes back to black before the next start.
    sleep 0.4
    echo "$ms"
}

median() { sort -n | awk '{a[NR]=$1} END {if (NR == 0) print "nan"; else if (NR % 2) print a[(NR+1)/2]; else printf "%.1f\n", (a[NR/2]+a[NR/2+1])/2}'; }

declare -A times
for size in 12 24; do
    : >"$work/viewer$size" && : >"$work/feh$size"
    # Paired, alternating runs, so a slower moment of the machine weighs on both alike.
    for ((i = 0; i < runs; i++)); do
        timed_start ff00ff "$bin/vantrel-viewer" "$corpus/${size}mp.jpg" >>"$work/viewer$size"
        if command -v feh >/dev/null; then
            timed_start ff00ff feh -F --hide-pointer "$corpus/${size}mp.jpg" >>"$work/feh$size"
        fi
    done
    times[viewer$size]=$(grep -v timeout "$work/viewer$size" | median)
    times[feh$size]=$(grep -v timeout "$work/feh$size" | median)
done

# Stepping through a folder of 24-megapixel pictures at a human pace, one Down a second.
steps_run=$(mktemp -d -p "$work")
colours=(ff00ff 00ffff ffff00 ff0000 00ff00 0000ff)
XDG_RUNTIME_DIR=$steps_run VANTREL_SETTINGS=$steps_run/settings.ini \
    "$probe" --at $at --rgb ff00ff start "$bin/vantrel-viewer" "$corpus/steps" 2>"$steps_run/probe.err" >/dev/null
viewer_pid=$(awk '/^pid/ {print $2}' "$steps_run/probe.err")
: >"$work/steps"
for ((i = 1; i < 12; i++)); do
    sleep 1
    "$probe" --at $at --rgb "${colours[i % 6]}" --timeout 5000 key Down >>"$work/steps" || echo 5000 >>"$work/steps"
done
kill -TERM -- "-$viewer_pid" 2>/dev/null || true
next_max=$(sort -n "$work/steps" | tail -1)
next_median=$(median <"$work/steps")

report() { printf 'BENCH %s %s ms\n' "$1" "$2"; }
report start_to_picture_12mp "${times[viewer12]}"
report start_to_picture_24mp "${times[viewer24]}"
report next_picture_median_24mp "$next_median"
report next_picture_max_24mp "$next_max"
report ref_feh_start_12mp "${times[feh12]}"
report ref_feh_start_24mp "${times[feh24]}"

missed=0
judge() { # name, value, limit, what
    if awk -v v="$2" -v l="$3" 'BEGIN {exit !(v != "nan" && v <= l)}'; then
        printf 'MET    %s %s <= %.2f (%s)\n' "$1" "$2" "$3" "$4"
    else
        printf 'MISSED %s %s <= %.2f (%s)\n' "$1" "$2" "$3" "$4"
        missed=1
    fi
}
if [ "${times[feh12]}" != nan ]; then
    judge start_to_picture_12mp "${times[viewer12]}" "$(awk -v f="${times[feh12]}" 'BEGIN {print 0.8 * f}')" "0.8 x feh"
    judge start_to_picture_24mp "${times[viewer24]}" "$(awk -v f="${times[feh24]}" 'BEGIN {print 0.55 * f}')" "0.55 x feh"
fi
judge next_picture_max_24mp "$next_max" 33 "33 ms, one step a second"
exit $missed
