#!/bin/bash
# The ways to end a run without a question: the stop keys and the close box.
# The close box only asks for the stop; the window stays until the end.
set -u
source "$(dirname "$0")/xvfb_lib.sh"
source "$(dirname "$0")/window_lib.sh"
start_xvfb

# Stop keys and the close box at the menu.
for how in ctrl+Scroll_Lock ctrl+Pause alt+F4 close-box; do
  start_program "$1"
  tool wait-row "$WID" 23 " CONSULTE" || fail "$how: no menu"
  if [[ $how == close-box ]]; then tool close "$WID"; else xdotool key "$how"; fi
  code=$(wait_exit 5)
  [[ "$code" == 0 ]] || fail "$how at the menu: exit code $code"
  [[ -z "$(made_files)" ]] || fail "$how at the menu made a file"
done

# The close box during a question: the half-typed answer is not written,
# the records before it are.
start_program "$1"
tool wait-row "$WID" 23 " CONSULTE" || fail "no menu"
xdotool key 4
tool wait-row "$WID" 3 "Nome do Ficheiro :" || fail "no file question"
xdotool type "out.txt"; xdotool key Return
xdotool type "job"; xdotool key Return
xdotool type "2"; xdotool key Return
sleep 0.3
xdotool type "half"
sleep 0.3
tool close "$WID"
code=$(wait_exit 5)
[[ "$code" == 0 ]] || fail "close box during a question: exit code $code"
content=$(od -An -c "$RUN_DIR/out.txt" | tr -s ' ')
[[ "$(cat "$RUN_DIR/out.txt")" == $'job, 2 \r' ]] || fail "file after the close box: $content"

# The close box while an error box is open: the window and the box stay;
# the stop takes effect once the box is answered.
start_program "$1"
tool wait-row "$WID" 23 " CONSULTE" || fail "no menu"
xdotool key 1
tool wait-row "$WID" 3 "Nome do Ficheiro :" || fail "no file question"
xdotool type "no_such_folder/x"; xdotool key Return
wait_window "^Unhandled Error #76$" >/dev/null || fail "no error box"
tool close "$WID"
sleep 0.5
window_exists '^Untitled$' || fail "the window went on the close box"
window_exists "^Unhandled Error #76$" || fail "the error box went on the close box"
tool wait-row "$WID" 3 "Nome do Ficheiro :no_such_folder/x" 1 || fail "the window does not show the screen"
[[ $(wait_exit 0) == timeout ]] || fail "the run ended with the error box open"
xdotool key y
code=$(wait_exit 5)
[[ "$code" == 0 ]] || fail "close box, then Yes: exit code $code"
# The display goes away during the run: the process ends at once, with the
# code of a lost display (1), rather than hanging or crashing in its exit.
start_program "$1"
tool wait-row "$WID" 23 " CONSULTE" || fail "no menu"
kill "$XVFB_PID"
code=$(wait_exit 5)
[[ "$code" == 1 ]] || fail "display lost: exit code $code"
grep -q "connection to the display" "$RUN_DIR/stderr" || fail "display lost: no message"
echo "stop_test: ok"
