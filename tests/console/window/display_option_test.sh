#!/bin/bash
# A program started with -display and no $DISPLAY of its own: the window,
# the keys and the end of the run all use the display the argument names.
set -u
source "$(dirname "$0")/xvfb_lib.sh"
source "$(dirname "$0")/window_lib.sh"
start_xvfb
PROGRAM_ENV=(-u DISPLAY)
start_program "$1" -display "$DISPLAY"
tool wait-row "$WID" 23 " CONSULTE" || fail "no menu"
xdotool key 0
tool wait-row "$WID" 25 "Press any key to continue" || fail "the keys do not reach the program"
xdotool key Return
code=$(wait_exit 5)
[[ "$code" == 0 ]] || fail "exit code $code"
[[ ! -s "$RUN_DIR/stderr" ]] || fail "the program says: $(cat "$RUN_DIR/stderr")"
echo "display_option_test: ok"
