#!/bin/bash
# X protocol errors on every X connection of the program (the window's, the
# key reader's, the error box's), sent by a preloaded library: none ends the
# run, the kind is reported once on stderr, the window shows its screen, and
# the run goes on to its end.
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
echo "x_error_test: ok"
