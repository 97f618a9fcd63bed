#!/bin/bash
# Sourced by the window tests: starts a private Xvfb server and exports
# DISPLAY; the server is ended when the sourcing script exits.
#   source "$(dirname "$0")/xvfb_lib.sh"; start_xvfb [WIDTHxHEIGHTxDEPTH]
source "$(dirname "${BASH_SOURCE[0]}")/test_lib.sh"

start_xvfb() {
  local screen=${1:-1024x768x24} fd_file
  fd_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$fd_file" 2>/dev/null &
  XVFB_PID=$!
  wait_until 5 test -s "$fd_file"
  DISPLAY=":$(tr -d '\n' <"$fd_file")"
  export DISPLAY
  rm -f "$fd_file"
  trap 'kill $XVFB_PID 2>/dev/null; wait $XVFB_PID 2>/dev/null' EXIT
}
