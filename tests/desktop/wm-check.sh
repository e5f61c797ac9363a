#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The viewer under real window managers: for each of none, openbox, xfwm4 and metacity, at
# 1024x768 and 800x600, a session of its own on its own Xvfb (wm-session.sh), two at a time.
#
#   wm-check.sh VIEWER XPEEK OUT [WM...]
#
# Screenshots and logs of each session land in OUT/<wm>-<size>/. Exits 1 when any check failed.
set -u
exe=$1
xpeek=$2
out=$3
shift 3
managers=("$@")
[ ${#managers[@]} -eq 0 ] && managers=(none openbox xfwm4 metacity)
here=$(cd "$(dirname "$0")" && pwd)

for tool in Xvfb xauth xprop xwininfo xdotool import convert; do
    if ! command -v "$tool" >/dev/null; then
        echo "missing $tool: run scripts/install-deps.sh test" >&2
        exit 1
    fi
done

rm -rf "$out"
mkdir -p "$out/pictures"
# Five pictures of clear colours: the first larger than any screen (it is shown reduced, and a
# click magnifies it), the others small enough to sit whole at the centre of the free area.
convert -size 1600x1200 'xc:rgb(0,0,200)' "$out/pictures/a1.bmp"
convert -size 200x150 'xc:rgb(200,200,0)' "$out/pictures/a2.bmp"
convert -size 200x150 'xc:rgb(0,200,200)' "$out/pictures/a3.bmp"
convert -size 200x150 'xc:rgb(200,0,200)' "$out/pictures/a4.bmp"
convert -size 200x150 'xc:rgb(255,255,255)' "$out/pictures/a5.bmp"
# A folder of pictures slow to decode (noise does not compress), so a thumbnail page of them takes
# a while: one file under forty names.
mkdir -p "$out/slow"
convert -size 2000x1500 xc: +noise Random -quality 95 "$out/slow/s00.jpg"
for i in $(seq -w 1 39); do
    ln "$out/slow/s00.jpg" "$out/slow/s$i.jpg"
done

sessions=()
for wm in "${managers[@]}"; do
    if [ "$wm" != none ] && ! command -v "$wm" >/dev/null; then
        echo "missing $wm: run scripts/install-deps.sh test" >&2
        exit 1
    fi
    for size in 1024x768 800x600; do
        sessions+=("$wm $size")
    done
done

# Each session's server picks its display itself (on-xvfb.sh); a session that never began (a
# server that could not start on a loaded machine) is started again.
run_session() {
    local wm=$1 size=$2 attempt status
    for attempt in 1 2 3; do
        "$here/../support/on-xvfb.sh" "-screen 0 ${size}x24" \
            "$here/wm-session.sh" "$wm" "$size" "$exe" "$out/pictures" "$out/$wm-$size" "$xpeek" \
            >"$out/$wm-$size.txt" 2>&1
        status=$?
        grep -q "^\[$wm $size\]" "$out/$wm-$size.txt" && return $status
        sleep $((attempt * 2))
    done
    return $status
}

# Two sessions at a time: each is mostly waiting for the X server and the window manager.
status=0
pids=()
names=()
for session in "${sessions[@]}"; do
    read -r wm size <<<"$session"
    run_session "$wm" "$size" &
    pids+=($!)
    sleep 1
    names+=("$wm-$size")
    if [ ${#pids[@]} -ge 2 ]; then
        wait "${pids[0]}" || status=1
        cat "$out/${names[0]}.txt"
        pids=("${pids[@]:1}")
        names=("${names[@]:1}")
    fi
done
for i in "${!pids[@]}"; do
    wait "${pids[$i]}" || status=1
    cat "$out/${names[$i]}.txt"
done
if [ $status -ne 0 ]; then
    echo "Some checks failed; screenshots in $out"
fi
exit $status
