#!/bin/bash
# Pause at the menu: the key after it only ends the pause; the next chooses.
set -u
source "$(dirname "$0")/xvfb_lib.sh"
source "$(dirname "$0")/window_lib.sh"
start_xvfb
start_program "$1"
tool wait-row "$WID" 23 " CONSULTE" || fail "no menu"
# "1" ends the pause; delivered, it would choose the first dialogue, which
# takes the "0" after it as an answer. Reaching the end prompt proves that
# the "1" was swallowed and that the "0" chose.
xdotool key Pause
xdotool key 1
xdotool key 0
tool wait-row "$WID" 25 "Press any key to continue" ||
  fail "no end prompt: the key that ends the pause was delivered, or the pause held on"
xdotool key Return
code=$(wait_exit 5)
[[ "$code" == 0 ]] || fail "exit code $code"
echo "pause_test: ok"
