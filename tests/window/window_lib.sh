#!/bin/bash
# Sourced by the window tests after xvfb_lib.sh: starts the program in a
# folder of its own (its files land there), finds its window and waits for
# its end.
#   start_program "$1"   sets RUN_DIR and WID, points the mouse into the window
#   wait_exit [SECONDS]  prints the exit code (or "timeout")
#   tool ARGS...         runs screen_tool.py
#   fail MESSAGE         says what failed and ends the test with code 1
TOOL="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/screen_tool.py"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

tool() {
  python3 "$TOOL" "$@"
}

start_program() {
  RUN_DIR=$(mktemp -d)
  cp "$1" "$RUN_DIR/survey_entry"
  rm -f "$RUN_DIR/rc"
  ( "$RUN_DIR/survey_entry" 2>"$RUN_DIR/stderr"; echo $? >"$RUN_DIR/rc" ) &
  WID=""
  local i
  for i in $(seq 1 100); do
    WID=$(xdotool search --name '^Untitled$' 2>/dev/null | head -1)
    [[ -n "$WID" ]] && break
    sleep 0.05
  done
  [[ -n "$WID" ]] || fail "no window titled Untitled"
  # No window manager here: the keys go to the window under the pointer.
  xdotool mousemove --window "$WID" 320 200
}

wait_exit() {
  local limit=${1:-10} i
  for i in $(seq 1 $((limit * 20))); do
    if [[ -s "$RUN_DIR/rc" ]]; then
      cat "$RUN_DIR/rc"
      return
    fi
    sleep 0.05
  done
  echo timeout
}

window_exists() {
  xdotool search --name "$1" >/dev/null 2>&1
}
