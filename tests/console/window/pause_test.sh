#!/bin/bash
# Pause at the menu: the key after it only ends the pause; the next chooses.
set -u
source "$(dirname "$0")/xvfb_lib.sh"
source "$(dirname "$0")/window_lib.sh"
start_xvfb
start_program "$1"
tool wait-row "$WID" 23 " CONSULTE" || fail "no menu"
xdotool key Pause
sleep 0.2
xdotool key 0
sleep 0.5
tool wait-row "$WID" 23 " CONSULTE" 0 || fail "the key that ends the pause was delivered"
tool wait-row "$WID" 25 "Press any key" 0 >/dev/null && fail "the key that ends the pause chose"
xdotool key 0
tool wait-row "$WID" 25 "Press any key to continue" || fail "no end prompt after the pause"
xdotool key Return
code=$(wait_exit 5)
[[ "$code" == 0 ]] || fail "exit code $code"
echo "pause_test: ok"
