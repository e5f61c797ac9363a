#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-or-later
# Runs one test of the sanitizer build. LeakSanitizer's own stop-the-world tracer now and then
# dies at exit on a loaded machine ("Tracer caught signal 11"), after every test function has
# passed and before any leak is looked at. That run proved nothing either way, so it is made once
# more; a leak report, a failed test or a second tracer crash stands.
out=$(mktemp) || exit 1
trap 'rm -f "$out"' EXIT
"$@" >"$out" 2>&1
status=$?
cat "$out"
if [ "$status" -ne 0 ] && grep -q '^Tracer caught signal' "$out" &&
    grep -q 'LeakSanitizer has encountered a fatal error' "$out" &&
    ! grep -q 'ERROR: LeakSanitizer: detected memory leaks' "$out" &&
    ! grep -q '^FAIL!' "$out"; then
    echo "sanitized-run: LeakSanitizer's tracer crashed; running the test once more"
    "$@"
    exit $?
fi
exit "$status"
