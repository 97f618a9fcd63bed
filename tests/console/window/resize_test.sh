#!/bin/bash
# Live resizing, as a desktop does it while a corner is dragged: the window
# shrunk and grown in small steps at about 60 a second, at the menu and in
# a question, with no window manager (XResizeWindow) and under openbox (an
# Alt + right-button drag of the mouse). The run goes on, no X error is
# reported, the window then shows the whole screen scaled to its size, and
# the rest of the dialogue writes its file byte for byte.
set -u
source "$(dirname "$0")/xvfb_lib.sh"
source "$(dirname "$0")/window_lib.sh"
start_xvfb 1920x1200x24

# resize_steps W0 H0 W1 H1 STEPS [DELAY]: the window made W0xH0, then taken
# to W1xH1 in STEPS steps, DELAY seconds apart (one 60th by default).
resize_steps() {
  local i
  xdotool windowsize --sync "$WID" "$1" "$2"
  for ((i = 1; i <= $5; i++)); do
    xdotool windowsize "$WID" $(($1 + ($3 - $1) * i / $5)) $(($2 + ($4 - $2) * i / $5))
    sleep "${6:-0.0166}"
  done
}

# going_on WHAT: the run has not ended and has reported no X error.
going_on() {
  [[ $(wait_exit 0) == timeout ]] || fail "$1: the run ended: $(cat "$RUN_DIR/stderr")"
  ! grep -qi "x error" "$RUN_DIR/stderr" || fail "$1: $(cat "$RUN_DIR/stderr")"
}

# shows_frame WHAT: stdin's 25 rows are, within 3 s, what the window shows,
# scaled to its size.
shows_frame() {
  wait_frame "$1" scaled
}

start_program "$1"
tool wait-row "$WID" 23 " CONSULTE" || fail "no menu"
# At the menu: shrunk both ways, then in the height alone by 10 pixels a
# step, then as fast as the requests go, and grown again.
resize_steps 1280 800 640 400 40
going_on "shrunk at the menu"
resize_steps 960 1080 960 600 48
going_on "shrunk in the height at the menu"
shows_frame "960x600 after shrinking" < <(menu_frame)
resize_steps 1920 1080 640 400 40 0
going_on "shrunk at full speed at the menu"
resize_steps 640 400 1280 800 40
going_on "grown at the menu"
shows_frame "1280x800 after growing" < <(menu_frame)
# Paused: the window follows its size with the frame it had; the press that
# ends the pause is swallowed.
xdotool key Pause
resize_steps 1920 1080 640 400 40 0
going_on "shrunk while paused"
shows_frame "640x400 while paused" < <(menu_frame)
xdotool key x

# In a question, with half an answer typed: the answer is kept and the
# dialogue goes on to its file.
xdotool key 1
tool wait-row "$WID" 3 "Nome do Ficheiro :" || fail "no file question"
xdotool type --delay 25 "ori"
resize_steps 1280 800 640 400 40
going_on "shrunk in a question"
resize_steps 960 1080 960 600 48
going_on "shrunk in the height in a question"
type_answers ".txt" J1 1 E1
resize_steps 1920 1080 640 400 40 0
going_on "shrunk at full speed in a question"
type_answers 1000.5 2000 1 V1 1.25 2 -3.5 A B
tool wait-row "$WID" 25 "Press any key to continue" 10 || fail "no end prompt"
shows_frame "the end prompt at 640x400" < <(
  for i in $(seq 1 24); do echo "31|"; done
  echo "31|Press any key to continue"
)
xdotool key x
code=$(wait_exit 10)
[[ "$code" == 0 ]] || fail "exit code $code: $(cat "$RUN_DIR/stderr")"
cmp -s <(printf '%b' 'J1, 1 \r\nE1, 1000.5 , 2000 , 1 \r\nV1, 1.25 , 2 ,-3.5 \r\nA\r\nB\r\n') \
  "$RUN_DIR/ori.txt" || fail "the file: $(od -An -c "$RUN_DIR/ori.txt" | tr -s ' ')"

# While an error box is up: the box stays, and its answer goes on with the
# run.
start_program "$1"
tool wait-row "$WID" 23 " CONSULTE" || fail "no menu"
xdotool key 1
tool wait-row "$WID" 3 "Nome do Ficheiro :" || fail "no file question"
type_answers "no_such_folder/x"
wait_window "^Unhandled Error #76$" >/dev/null || fail "no error box"
resize_steps 1920 1080 640 400 40 0
going_on "shrunk with the error box up"
window_exists "^Unhandled Error #76$" || fail "the error box went with the resizing"
xdotool key y
tool wait-row "$WID" 4 "Nome do Trabalho :" || fail "no job question after Yes"
tool close "$WID"
code=$(wait_exit 5)
[[ "$code" == 0 ]] || fail "close box after the error box: exit code $code"

# Under a window manager: the corner dragged inward with Alt and the right
# button, 40 steps at about 60 a second, from 1000x700 to 800x500.
openbox --sm-disable --config-file /etc/xdg/openbox/rc.xml >/dev/null 2>&1 &
WM_PID=$!
PROGRAM_PIDS+=("$WM_PID")
wm_running() {
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"
}
wait_until 5 wm_running
start_program "$1"
tool wait-row "$WID" 23 " CONSULTE" || fail "no menu under openbox"
xdotool windowsize --sync "$WID" 1000 700
# The window's corner on the screen (the manager's frame is around it).
corner_x=$(xwininfo -id "$WID" | awk '/Absolute upper-left X/ {print $4 + 1000 - 5}')
corner_y=$(xwininfo -id "$WID" | awk '/Absolute upper-left Y/ {print $4 + 700 - 5}')
xdotool mousemove --sync "$corner_x" "$corner_y" keydown alt mousedown 3
for i in $(seq 1 40); do
  xdotool mousemove_relative -- -5 -5
  sleep 0.0166
done
xdotool mouseup 3 keyup alt
eval "$(xdotool getwindowgeometry --shell "$WID")"
[[ "${WIDTH}x$HEIGHT" == 800x500 ]] || fail "the drag made the window ${WIDTH}x$HEIGHT"
going_on "dragged under openbox"
shows_frame "800x500 after the drag" < <(menu_frame)
tool close "$WID"
code=$(wait_exit 5)
[[ "$code" == 0 ]] || fail "close box under openbox: exit code $code"
echo "resize_test: ok"
