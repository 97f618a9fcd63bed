#!/bin/bash
# The menu as the window shows it, pixel by pixel, then key "0", the end
# prompt and a closing key.
set -u
source "$(dirname "$0")/xvfb_lib.sh"
source "$(dirname "$0")/window_lib.sh"
start_xvfb
start_program "$1"

tool wait-row "$WID" 23 " CONSULTE" || fail "the menu is not drawn"
# The whole picture: every glyph pixel in its colours, no cursor.
menu_frame | tool expect-frame "$WID" || fail "menu pixels"

# Keys the menu ignores change nothing.
xdotool key 7 a Escape Return F1 Up
sleep 0.3
menu_frame | tool expect-frame "$WID" || fail "an ignored key changed the menu"

# A larger window shows the same picture scaled to its size.
xdotool windowmove "$WID" 0 0 windowsize "$WID" 960 600
sleep 0.5
menu_frame | tool expect-frame "$WID" scaled || fail "the menu scaled to 960x600"
xdotool windowsize "$WID" 640 400 mousemove --window "$WID" 320 200
sleep 0.5

xdotool key 0
tool wait-row "$WID" 25 "Press any key to continue" || fail "no end prompt after 0"
{
  for i in $(seq 1 24); do echo "20|"; done
  echo "20|Press any key to continue"
} | tool expect-frame "$WID" || fail "end prompt pixels"
[[ $(wait_exit 0) == timeout ]] || fail "the run ended before a key"

xdotool key x
code=$(wait_exit 10)
[[ "$code" == 0 ]] || fail "exit code after the end prompt: $code"
[[ -z "$(made_files)" ]] || fail "a file was made"
echo "menu_test: ok"
