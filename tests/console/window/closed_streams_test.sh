#!/bin/bash
# Started with standard input, output and error closed, as a launcher or a
# service manager may start it: the three are opened on /dev/null at
# start, so no X connection or file takes their numbers, and the line the
# program writes to stderr at start goes nowhere. With the locale pt_PT
# (no compose table the library can read) that line is always written.
# Each run types a whole dialogue: the keys arrive, the window shows the
# screen, the file is right byte for byte.
set -u
source "$(dirname "$0")/xvfb_lib.sh"
source "$(dirname "$0")/window_lib.sh"
start_xvfb
BINARY="$1"
PROGRAM_ENV=(LANG=pt_PT)

# The line at start is there when stderr is open.
start_program "$BINARY"
wait_until 5 grep -q "no compose table" "$RUN_DIR/stderr" ||
  fail "no line on stderr at start with LANG=pt_PT"
xdotool key ctrl+Pause
[[ $(wait_exit 5) == 0 ]] || fail "the run with stderr open did not end"

# closed_run NAME REDIRECTIONS FD...: the run started with those
# redirections, which close the descriptors FD.
closed_run() {
  local name=$1 redirections=$2 fd target code
  shift 2
  PROGRAM_WRAPPER=(bash -c "exec \"\$@\" $redirections" with_closed_streams)
  start_program "$BINARY"
  tool wait-row "$WID" 23 " CONSULTE" || fail "$name: no menu"
  for fd in "$@"; do
    target=$(readlink "/proc/$(cat "$RUN_DIR/pid")/fd/$fd")
    [[ "$target" == /dev/null ]] || fail "$name: descriptor $fd is $target"
  done
  xdotool key 4
  tool wait-row "$WID" 3 "Nome do Ficheiro :" || fail "$name: no file question"
  type_answers irr.txt T1 0 A B
  tool wait-row "$WID" 25 "Press any key to continue" 10 || fail "$name: no end prompt"
  xdotool key x
  code=$(wait_exit 10)
  [[ "$code" == 0 ]] || fail "$name: exit code $code"
  cmp -s <(printf 'T1, 0 \r\nA\r\nB\r\n') "$RUN_DIR/irr.txt" ||
    fail "$name: file differs: $(od -An -c "$RUN_DIR/irr.txt" | tr -s ' ')"
}
closed_run "all three closed" "<&- >&- 2>&-" 0 1 2
closed_run "stderr closed" "2>&-" 2
echo "closed_streams_test: ok"
