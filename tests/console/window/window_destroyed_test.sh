#!/bin/bash
# The program window destroyed by another client (xdotool windowclose is
# XDestroyWindow, as xkill-like tools and some window managers do it) is
# the window closed: the close request, the statement in progress finished,
# the files closed, exit code 0; while an error box is up, the stop waits
# for its answer. No frame is drawn to the window once it is gone.
set -u
source "$(dirname "$0")/xvfb_lib.sh"
source "$(dirname "$0")/window_lib.sh"
start_xvfb

# wait_window_gone: waits up to 5 s until the server has no program window.
window_gone() { ! window_exists '^Untitled$'; }
wait_window_gone() { wait_until 5 window_gone || fail "the window is still there"; }

# In a question: the records before it are in the file, byte for byte, and
# the half-typed answer is not.
start_program "$1"
tool wait-row "$WID" 23 " CONSULTE" || fail "no menu"
xdotool key 4
tool wait-row "$WID" 3 "Nome do Ficheiro :" || fail "no file question"
type_answers irr.txt T1 1 E1 1000.5 2000 100.25 0 1.5 1
# The tool reads a cell as its byte in Latin-1: "º" (0xA7) reads "§".
tool wait-row "$WID" 3 "Nome do 1 .§  PONTO" || fail "no point question"
xdotool type half
tool wait-row "$WID" 3 "Nome do 1 .§  PONTO         half" || fail "the answer is not shown"
xdotool windowclose "$WID"
code=$(wait_exit 5)
[[ "$code" == 0 ]] || fail "destroyed in a question: exit code $code: $(cat "$RUN_DIR/stderr")"
cmp -s <(printf 'T1, 1 \r\nE1, 1000.5 , 2000 , 100.25 , 0 , 1.5 , 1 \r\n') "$RUN_DIR/irr.txt" ||
  fail "destroyed in a question: file: $(od -An -c "$RUN_DIR/irr.txt" | tr -s ' ')"
grep -q "connection to the display" "$RUN_DIR/stderr" && fail "destroyed in a question: $(cat "$RUN_DIR/stderr")"

# With an error box up: the box stays and still answers; the run ends after
# Yes. The screen changes only after the answer (the next question), so a
# frame drawn to the gone window would show as an X error.
start_program "$1"
tool wait-row "$WID" 23 " CONSULTE" || fail "no menu"
xdotool key 1
tool wait-row "$WID" 3 "Nome do Ficheiro :" || fail "no file question"
xdotool type "no_such_folder/x"; xdotool key Return
BOX=$(wait_window "^Unhandled Error #76$") || fail "no error box"
xdotool windowclose "$WID"
wait_window_gone
window_exists "^Unhandled Error #76$" || fail "the error box went with the window"
[[ $(wait_exit 0) == timeout ]] || fail "the run ended with the error box open"
xdotool mousemove --window "$BOX" 5 5 key y
code=$(wait_exit 5)
[[ "$code" == 0 ]] || fail "destroyed with the box up, then Yes: exit code $code"
grep -qi -e "x error" -e "lost" "$RUN_DIR/stderr" && fail "destroyed with the box up: $(cat "$RUN_DIR/stderr")"
[[ -z "$(made_files)" ]] || fail "destroyed with the box up: made $(made_files)"
echo "window_destroyed_test: ok"
