#!/bin/bash
# Sourced by the window tests after start_xvfb: starts the program in a
# folder of its own (its files land there), finds its window and waits for
# its end.
#   start_program "$1" [ARG...]
#                        sets RUN_DIR and WID, points the mouse into the window;
#                        the ARGs go to the program, PROGRAM_ENV (an array of
#                        env(1) arguments, e.g. (-u DISPLAY)) sets its
#                        environment alone, and PROGRAM_WRAPPER (an array, a
#                        command such as strace with its options) runs it
#   wait_exit [SECONDS]  prints the exit code (or "timeout")
#   type_answers ANSWER...  types each answer and Enter
#   made_files           lists the files the run made in RUN_DIR
#   wait_window NAME     prints the id of a window named NAME (a regular
#                        expression) once there is one
#   menu_frame           prints the menu's 25 rows for tool expect-frame
#   wait_frame WHAT [scaled]  waits until the window shows stdin's 25 rows
#                        (as for tool expect-frame); fails, saying what it
#                        shows, when it has not within 3 s. Give it the rows
#                        with < <(...), not through a pipe, whose subshell
#                        would keep its fail from ending the test
#   tool ARGS...         runs screen_tool.py
#   fail, wait_until     from test_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/test_lib.sh"
TOOL="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/screen_tool.py"

tool() {
  python3 "$TOOL" "$@"
}

PROGRAM_PIDS=()
RUN_DIRS=()
# Ends what is left of the runs and the X server when the test ends.
end_test() {
  local pid
  for pid in "${PROGRAM_PIDS[@]}"; do kill -9 "$pid" 2>/dev/null; done
  kill "${XVFB_PID:-}" 2>/dev/null
  wait 2>/dev/null
  rm -rf "${RUN_DIRS[@]}"
}

# The files the run made in its folder.
made_files() {
  ls "$RUN_DIR" | grep -v -x -e survey_entry -e rc -e pid -e stdout -e stderr
}

start_program() {
  # Replaces the X server's own end-of-test trap, which end_test includes.
  trap end_test EXIT
  # The run's folder goes on a memory file system where there is one: the
  # program syncs each record to the disk before it takes the next key, and
  # on a disk busy with other work a sync can take most of a second, which
  # would only make the tests slow (slow_disk_test.sh makes the disk slow on
  # purpose).
  local parent=/dev/shm
  [[ -d $parent && -w $parent ]] || parent=${TMPDIR:-/tmp}
  RUN_DIR=$(mktemp -d -p "$parent")
  RUN_DIRS+=("$RUN_DIR")
  cp "$1" "$RUN_DIR/survey_entry"
  shift
  (
    cd "$RUN_DIR" || exit
    env ${PROGRAM_ENV[@]+"${PROGRAM_ENV[@]}"} ${PROGRAM_WRAPPER[@]+"${PROGRAM_WRAPPER[@]}"} \
      ./survey_entry "$@" >"$RUN_DIR/stdout" 2>"$RUN_DIR/stderr" &
    echo $! >"$RUN_DIR/pid"
    wait $!
    echo $? >"$RUN_DIR/rc"
  ) &
  wait_until 5 test -s "$RUN_DIR/pid"
  PROGRAM_PIDS+=("$(cat "$RUN_DIR/pid")")
  WID=$(wait_window '^Untitled$') || fail "no window titled Untitled"
  # No window manager here: the keys go to the window under the pointer.
  xdotool mousemove --window "$WID" 320 200
}

# type_answers ANSWER...: each answer typed (25 ms a key, which leaves the
# program the time to take each key, so the 15-key queue does not fill),
# then Enter; an empty answer is Enter alone.
type_answers() {
  local answer
  for answer in "$@"; do
    [[ -n "$answer" ]] && xdotool type --delay 25 -- "$answer"
    xdotool key Return
  done
}

# wait_exit [SECONDS]: waits up to SECONDS (10) for the end of the run and
# prints its exit code, or "timeout"; wait_exit 0 looks once.
wait_exit() {
  if wait_until "${1:-10}" test -s "$RUN_DIR/rc"; then
    cat "$RUN_DIR/rc"
  else
    echo timeout
  fi
}

window_exists() {
  xdotool search --name "$1" >/dev/null 2>&1
}

# wait_window NAME: waits up to 5 s for a window whose name matches the
# regular expression NAME and prints its id; returns 1 without one.
wait_window() {
  wait_until 5 window_id "$1"
}

# window_id NAME: prints the id of a window whose name matches NAME; 1
# without one.
window_id() {
  local id
  id=$(xdotool search --name "$1" 2>/dev/null | head -1)
  [[ -n "$id" ]] && echo "$id"
}

# frame_shown ROWS [scaled]: the window shows the 25 ROWS.
frame_shown() {
  tool expect-frame "$WID" ${2:+"$2"} <<<"$1" >/dev/null
}

wait_frame() {
  local rows
  rows=$(cat)
  wait_until 3 frame_shown "$rows" ${2:+"$2"} && return 0
  tool expect-frame "$WID" ${2:+"$2"} <<<"$rows" || fail "$1: the picture"
}

# The menu as the window shows it: 25 rows "ATTR|TEXT" for tool expect-frame.
menu_frame() {
  local box_line="          *                                                           *"
  local star_line="          *************************************************************"
  local sair_line="                                  *************************************"
  local i
  echo "21|"
  echo "21|$star_line"
  echo "21|$box_line"
  echo "21|          *                PROGRAMAS DE TOPOGRAFIA                    *"
  echo "21|          *            Producao de Ficheiros de Entrada               *"
  echo "21|$box_line"
  echo "21|          *    1.  ORIENTACAO DE GIRO                  ( Prima 1 )    *"
  echo "21|          *    2.  POLIGONAL S/RED.PLANO CARTOGRAFICO  ( Prima 2 )    *"
  echo "21|          *    3.  POLIGONAL C/RED.PLANO CARTOGRAFICO  ( Prima 3 )    *"
  echo "21|          *    4.  IRRADIACAO S/RED.PLANO CARTOGRAFICO ( Prima 4 )    *"
  echo "21|          *    5.  IRRADIACAO C/RED.PLANO CARTOGRAFICO ( Prima 5 )    *"
  echo "21|          *    6.  CLASSICO                            ( Prima 6 )    *"
  echo "21|$box_line"
  echo "21|$star_line"
  for i in 1 2 3 4 5; do echo "21|"; done
  echo "24|$sair_line"
  echo "24|                                  *       SAIR        ( Prima 0)      *"
  echo "24|$sair_line"
  echo "20| CONSULTE      PROG.TXT PARA SABER OS FORMATOS DOS FICHEIROS DE ENTRADA"
  echo "24|"
  echo "21|"
}
