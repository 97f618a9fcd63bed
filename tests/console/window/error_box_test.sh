#!/bin/bash
# The error box of a failed file opening and of the record writes after it:
# its title and text, its place over the window, and its answers by key and
# by mouse. Also the blinking cursor of the question before it.
set -u
source "$(dirname "$0")/xvfb_lib.sh"
source "$(dirname "$0")/window_lib.sh"
start_xvfb

BOX=""
wait_box() {  # title
  BOX=$(wait_window "^$1\$") || fail "no box titled $1"
}

expect_box() {  # title, text with \n for the line breaks
  wait_box "$1"
  [[ "$(xprop -id "$BOX" WM_NAME)" == "WM_NAME(STRING) = \"$1\"" ]] || fail "WM_NAME of $1"
  [[ "$(xprop -id "$BOX" _NET_WM_NAME)" == "_NET_WM_NAME(UTF8_STRING) = \"$1\"" ]] ||
    fail "_NET_WM_NAME of $1"
  local text
  text=$(xprop -id "$BOX" _SURVEY_BOX_TEXT)
  [[ "$text" == "_SURVEY_BOX_TEXT(STRING) = \"$2\"" ]] || fail "text of $1: $text"
  local owner
  owner=$(xprop -id "$BOX" WM_TRANSIENT_FOR | awk '{print $NF}')
  [[ $((owner)) == $((WID)) ]] || fail "$1 is not transient for the window"
}

# Clicks button n (0 = Yes or OK, 1 = No) of the box.
click_button() {
  local rect
  read -r -a rect <<<"$(xprop -id "$BOX" _SURVEY_BOX_BUTTONS | sed 's/.*= //; s/,//g')"
  local x=$((rect[$1 * 4] + rect[$1 * 4 + 2] / 2)) y=$((rect[$1 * 4 + 1] + rect[$1 * 4 + 3] / 2))
  xdotool mousemove --window "$BOX" "$x" "$y" click 1
}

box_closed() {
  ! window_exists "^$1\$"
}

box_gone() {
  wait_until 5 box_closed "$1" || fail "box $1 still open"
}

open_missing_folder() {
  start_program "$1"
  tool wait-row "$WID" 23 " CONSULTE" || fail "no menu"
  xdotool key 1
  tool wait-row "$WID" 3 "Nome do Ficheiro :" || fail "no file question"
}

# Run 1: the cursor blinks in the question; the box of error 76, answered No.
open_missing_folder "$1"
tool blink "$WID" 3 19 || fail "the cursor does not blink"
xdotool type "no_such_folder/x"; xdotool key Return
expect_box "Unhandled Error #76" 'Line: 54 (in main module)\nPath not found\nContinue?'
# The box lies over the program window.
eval "$(xdotool getwindowgeometry --shell "$WID" | sed 's/^/W_/')"
eval "$(xdotool getwindowgeometry --shell "$BOX" | sed 's/^/B_/')"
((B_X >= W_X && B_Y >= W_Y && B_X + B_WIDTH <= W_X + W_WIDTH && B_Y + B_HEIGHT <= W_Y + W_HEIGHT)) ||
  fail "the box is not over the window"
xdotool key n
code=$(wait_exit 5)
[[ "$code" == 0 ]] || fail "No: exit code $code"
[[ ! -e "$RUN_DIR/no_such_folder" ]] || fail "the folder was made"

# Run 2: Enter takes Yes (focused first); the record writes then fail with
# 52, each in its own box: a click on Yes, then Tab and Enter for No.
open_missing_folder "$1"
xdotool type "no_such_folder/x"; xdotool key Return
expect_box "Unhandled Error #76" 'Line: 54 (in main module)\nPath not found\nContinue?'
xdotool key Return
box_gone "Unhandled Error #76"
tool wait-row "$WID" 4 "Nome do Trabalho :" || fail "no job question after Yes"
xdotool type "j"; xdotool key Return
xdotool type "0"; xdotool key Return
expect_box "Unhandled Error #52" 'Line: 57 (in main module)\nBad file name or number\nContinue?'
click_button 0
box_gone "Unhandled Error #52"
tool wait-row "$WID" 1 "Nome do Topografo  :" || fail "no surveyor question after Yes"
xdotool type "t"; xdotool key Return
xdotool type "c"; xdotool key Return
expect_box "Unhandled Error #52" 'Line: 81 (in main module)\nBad file name or number\nContinue?'
xdotool key Tab Return
code=$(wait_exit 5)
[[ "$code" == 0 ]] || fail "Tab, Enter (No): exit code $code"

# Run 3: a click on No.
open_missing_folder "$1"
xdotool type "no_such_folder/x"; xdotool key Return
wait_box "Unhandled Error #76"
click_button 1
code=$(wait_exit 5)
[[ "$code" == 0 ]] || fail "click on No: exit code $code"
# Run 4: the key Y takes Yes, even with the program window unmapped while
# the box is up (the box must not hand the focus back to a hidden window);
# the run goes on, and the close box then ends it.
open_missing_folder "$1"
xdotool type "no_such_folder/x"; xdotool key Return
wait_box "Unhandled Error #76"
xdotool windowunmap --sync "$WID"
xdotool mousemove --window "$BOX" 5 5 key y
box_gone "Unhandled Error #76"
[[ $(wait_exit 1) == timeout ]] || fail "Y with the window unmapped ended the run"
grep -qi "X Error" "$RUN_DIR/stderr" && fail "X error after Y: $(cat "$RUN_DIR/stderr")"
xdotool windowmap --sync "$WID"
tool wait-row "$WID" 4 "Nome do Trabalho :" || fail "no job question after Y"
tool close "$WID"
code=$(wait_exit 5)
[[ "$code" == 0 ]] || fail "close box after Y: exit code $code"

# Runs 5 and 6: the box dismissed from outside, without an answer, counts
# as No: destroyed by another client (xdotool windowclose), and its client
# killed (xdotool windowkill, as xkill and a window manager's force-quit do)
# while the display goes on.
for how in windowclose windowkill; do
  open_missing_folder "$1"
  xdotool type "no_such_folder/x"; xdotool key Return
  wait_box "Unhandled Error #76"
  xdotool "$how" "$BOX"
  code=$(wait_exit 5)
  [[ "$code" == 0 ]] || fail "$how of the box: exit code $code: $(cat "$RUN_DIR/stderr")"
  ! grep -qi -e "lost" -e "x error" "$RUN_DIR/stderr" || fail "$how of the box: $(cat "$RUN_DIR/stderr")"
done
echo "error_box_test: ok"
