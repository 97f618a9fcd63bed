#!/bin/bash
# X protocol errors on every X connection of the program (the window's, the
# key reader's, the error box's), sent by a preloaded library: none ends the
# run, the kind is reported once on stderr, the window shows its screen, and
# the run goes on to its end. Then copies of the picture to the window that
# the server refuses: one refused copy leaves the next picture right, and
# copies refused every time cost a frame each, not a loop of frames.
#   x_error_test.sh [path/of/survey_entry]   (the library: $X_ERROR_SHIM, or
#   tests/libx_error_shim.so next to survey_entry)
set -u
here=$(cd "$(dirname "$0")" && pwd)
shim=${X_ERROR_SHIM:-$(dirname "${1:-.}")/tests/libx_error_shim.so}
[[ -f "$shim" ]] || { echo "X error library not found: $shim" >&2; exit 1; }
shim=$(realpath "$shim")
source "$here/xvfb_lib.sh"
source "$here/window_lib.sh"
start_xvfb

PROGRAM_ENV=(LD_PRELOAD="$shim")
start_program "$1"
tool wait-row "$WID" 23 " CONSULTE" || fail "no menu"
menu_frame | tool expect-frame "$WID" || fail "the menu after the X errors"
xdotool key 1
tool wait-row "$WID" 3 "Nome do Ficheiro :" || fail "no file question"
# The error box opens a connection of its own, which meets its error too.
type_answers "no_such_folder/x"
BOX=$(wait_window "^Unhandled Error #76$") || fail "no error box"
xdotool key y
tool wait-row "$WID" 4 "Nome do Trabalho :" || fail "no job question after Yes"
tool close "$WID"
code=$(wait_exit 5)
[[ "$code" == 0 ]] || fail "exit code $code: $(cat "$RUN_DIR/stderr")"
reports=$(grep -c "X error on the display .*BadWindow.*the run goes on" "$RUN_DIR/stderr")
[[ "$reports" == 1 ]] || fail "$reports reports of the refused map: $(cat "$RUN_DIR/stderr")"

# The file question as the window shows it, the cursor not drawn.
question_frame() {
  local i
  echo "31|            ORIENTACAO DE GIRO"
  echo "31|"
  echo "31|Nome do Ficheiro :"
  for i in $(seq 4 25); do echo "31|"; done
}
# copies_made: the copies the program has asked for so far.
copies_made() {
  stat -c %s "$copy_log" 2>/dev/null || echo 0
}
copy_log=$(mktemp -u)
RUN_DIRS+=("$copy_log")

# One copy refused, the one that shows the file question after the menu:
# the picture is repaired at once, and the whole window shows the question.
arm=$(mktemp -u)
RUN_DIRS+=("$arm")
PROGRAM_ENV=(LD_PRELOAD="$shim" X_ERROR_SHIM_MODE="copy-after:$arm")
start_program "$1"
tool wait-row "$WID" 23 " CONSULTE" || fail "refused copy: no menu"
touch "$arm"
xdotool key 1
# The library removes the file when it refuses the copy.
wait_until 5 test ! -e "$arm" || fail "refused copy: no copy was made after the menu"
wait_frame "the file question after a copy the server refused" < <(question_frame)
grep -q "X error on the display .*BadDrawable.*the run goes on" "$RUN_DIR/stderr" ||
  fail "the refused copy was not reported: $(cat "$RUN_DIR/stderr")"
tool close "$WID"
code=$(wait_exit 5)
[[ "$code" == 0 ]] || fail "refused copy: exit code $code: $(cat "$RUN_DIR/stderr")"

# Every copy refused, in the file question, where the cursor blinks four
# times a second: each refusal costs one frame, shown whole by a swap, so
# over 3 s the copies stay near the blink's dozen (a loop of frames, a
# refused copy repaired by another copy, makes hundreds).
PROGRAM_ENV=(LD_PRELOAD="$shim" X_ERROR_SHIM_MODE=copy-every X_ERROR_SHIM_COPY_LOG="$copy_log")
start_program "$1"
tool wait-row "$WID" 23 " CONSULTE" || fail "copies refused: no menu"
xdotool key 1
wait_frame "the file question with every copy refused" < <(question_frame)
before=$(copies_made)
sleep 3
copies=$(($(copies_made) - before))
((copies <= 50)) ||
  fail "every copy refused: $copies copies in 3 s in the file question, at most 50" \
    "(the window redraws in a loop and keeps a processor busy)"
tool close "$WID"
code=$(wait_exit 5)
[[ "$code" == 0 ]] || fail "copies refused: exit code $code: $(cat "$RUN_DIR/stderr")"
echo "x_error_test: ok"
