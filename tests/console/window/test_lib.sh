#!/bin/bash
# Sourced by every window test (through xvfb_lib.sh, window_lib.sh or
# probe_lib.sh): how a test fails and how it waits for a state.
#   fail MESSAGE              says what failed ("FAIL: MESSAGE" on stderr)
#                             and ends the test with code 1
#   wait_until SECONDS COMMAND [ARG...]
#                             runs COMMAND every 20th of a second until it
#                             succeeds: 0 once it has, 1 if it has not after
#                             SECONDS (whole or tenths, as 5 or 0.5) x 20
#                             tries; SECONDS 0 is one try. A slow COMMAND on
#                             a loaded machine makes the wait longer, never
#                             shorter, so it holds for the state and not
#                             for a time. COMMAND may be a shell function.

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

wait_until() {
  local seconds=$1 whole tenths tries i
  shift
  whole=${seconds%%.*}
  tenths=0
  [[ $seconds == *.* ]] && tenths=${seconds#*.} && tenths=${tenths:0:1}
  tries=$((${whole:-0} * 20 + tenths * 2))
  ((tries > 0)) || tries=1
  for ((i = 1; i <= tries; i++)); do
    "$@" && return 0
    ((i < tries)) && sleep 0.05
  done
  return 1
}
