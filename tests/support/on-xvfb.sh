#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Runs a command on an X server of its own:
#
#   on-xvfb.sh "SERVER OPTIONS" COMMAND [ARG...]
#
# Xvfb picks a free display itself (-displayfd) and says which, so servers started at the same
# moment by other tests or other runs on the machine never race for a number, as choosing one
# first and starting the server after can. The server takes only local clients holding the cookie
# of a private authority file. Exits with the command's status; the server ends with the command.
set -u
opts=${1:?usage: on-xvfb.sh "SERVER OPTIONS" COMMAND [ARG...]}
shift
[ $# -gt 0 ] || { echo "usage: on-xvfb.sh \"SERVER OPTIONS\" COMMAND [ARG...]" >&2; exit 2; }
command -v Xvfb >/dev/null && command -v xauth >/dev/null || { echo "on-xvfb: Xvfb and xauth are needed" >&2; exit 1; }

dir=$(mktemp -d "${TMPDIR:-/tmp}/on-xvfb.XXXXXX") || exit 1
server=
cleanup() {
    if [ -n "$server" ]; then
        kill "$server" 2>/dev/null
        wait "$server" 2>/dev/null
    fi
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

cookie=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
export XAUTHORITY=$dir/Xauthority
# The server reads every cookie of the file whatever display it names; clients look theirs up by
# display, so the entry of the chosen display follows once it is known.
xauth -q -f "$XAUTHORITY" add :0 . "$cookie" 2>/dev/null || exit 1
mkfifo "$dir/displayfd" || exit 1
# Without -noreset the server starts over whenever its last client leaves: a program started
# right after another quit, with no window manager running, could find it mid-reset and fail.
# shellcheck disable=SC2086 # the options are words for the server
Xvfb -displayfd 3 -auth "$XAUTHORITY" -nolisten tcp -noreset $opts 3>"$dir/displayfd" >"$dir/server.log" 2>&1 &
server=$!
display=
read -r -t 30 display <"$dir/displayfd"
if ! [[ "$display" =~ ^[0-9]+$ ]]; then
    echo "on-xvfb: Xvfb did not start" >&2
    cat "$dir/server.log" >&2
    exit 1
fi
xauth -q -f "$XAUTHORITY" add ":$display" . "$cookie" || exit 1
export DISPLAY=:$display
"$@"
status=$?
# A command that failed may have lost its server (it ended, or took no more clients): what the
# server said goes with the command's own output.
if [ $status -ne 0 ] && [ -s "$dir/server.log" ]; then
    kill -0 "$server" 2>/dev/null || echo "on-xvfb: the server on :$display has ended" >&2
    echo "on-xvfb: the server's last words:" >&2
    tail -n 20 "$dir/server.log" >&2
fi
exit $status
