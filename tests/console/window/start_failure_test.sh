#!/bin/bash
# A start with no display, or with a display that cannot give the display
# mode, ends with exit code 1 and a message, before any window.
set -u
source "$(dirname "$0")/window_lib.sh"

run_dir=$(mktemp -d)
trap 'rm -rf "$run_dir"; [[ -n "${XVFB_PID:-}" ]] && kill "$XVFB_PID" 2>/dev/null' EXIT
cp "$1" "$run_dir/survey_entry"

DISPLAY=:4093 "$run_dir/survey_entry" 2>"$run_dir/stderr"
code=$?
[[ $code == 1 ]] || fail "no display: exit code $code"
grep -q display "$run_dir/stderr" || fail "no display: no message: $(cat "$run_dir/stderr")"
env -u DISPLAY "$run_dir/survey_entry" 2>"$run_dir/stderr"
code=$?
[[ $code == 1 ]] || fail "DISPLAY unset: exit code $code"

# An X server without GLX offers no OpenGL display mode at all.
fd_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -extension GLX 3>"$fd_file" 2>/dev/null &
XVFB_PID=$!
wait_until 5 test -s "$fd_file"
display=":$(tr -d '\n' <"$fd_file")"
rm -f "$fd_file"
DISPLAY=$display timeout 10 "$run_dir/survey_entry" 2>"$run_dir/stderr"
code=$?
[[ $code == 1 ]] || fail "no GLX: exit code $code"
[[ -s "$run_dir/stderr" ]] || fail "no GLX: no message"
ls "$run_dir" | grep -q -v -x -e survey_entry -e stderr && fail "a failed start made a file"
echo "start_failure_test: ok"
