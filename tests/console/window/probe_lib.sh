#!/bin/bash
# Sourced by the key tests after start_xvfb: runs the key probe (a plain X
# window whose keys come through the X11 key layer, printed as key texts)
# and checks what it prints.
#   probe=PATH; source probe_lib.sh
#   start_probe [NAME=VALUE...]   start the probe (in that environment) and
#                                 wait for "ready"
#   stop_probe                    end it
#   expect NAME WANT XDOTOOL-ARGS  WANT: the key texts, comma-joined
#   expect_line NAME LINE          waits for LINE in the probe's output
#   expect_held NAME HELD          waits until the held-key set is HELD, as
#                                 the probe prints it ("n27", "none")
#   expect_released NAME           waits until the held-key set is empty
#   expect_cases [--released] CASE...  expect for each "NAME|WANT|XDOTOOL-ARGS";
#                                 with --released, expect_released after each
#   expect_stop_keys [KEY...]      each stop key, after those keys, in a probe
#                                 of its own: the close request, no key
#   finish_probe_test MESSAGE      ends the test: exit 1 after failures, else
#                                 prints MESSAGE
#   fail_case MESSAGE              says what failed, as fail does, and counts
#                                 it (see $failures): the test goes on with
#                                 its next case
#   probe_ready FILE               whether a probe's output FILE says "ready"
#   fail, wait_until               from test_lib.sh: fail ends the test at once
source "$(dirname "${BASH_SOURCE[0]}")/test_lib.sh"
out=$(mktemp)
failures=0
probe_pid=""

fail_case() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

probe_ready() {
  grep -q '^ready$' "$1"
}

start_probe() {
  : >"$out"
  env "$@" "$probe" 240 >>"$out" 2>&1 &
  probe_pid=$!
  wait_until 5 probe_ready "$out" && return 0
  cat "$out" >&2
  fail "the probe did not start"
}

stop_probe() {
  kill "$probe_pid" 2>/dev/null
  wait "$probe_pid" 2>/dev/null
  if grep -q 'Sanitizer' "$out"; then
    fail_case "sanitizer report from the probe"
    cat "$out" >&2
  fi
}

# The key texts printed after line $1, joined by commas.
keys_after() {
  tail -n +$(($1 + 1)) "$out" | grep -E '^[0-9a-f]{2}( [0-9a-f]{2})?$' | paste -sd, -
}

# Whether at least $2 key texts follow line $1 (none at all when $2 is 0).
keys_came() {
  local got
  got=$(keys_after "$1")
  if (($2 == 0)); then
    [[ -z "$got" ]]
  else
    [[ -n "$got" && $(tr -cd , <<<"$got" | wc -c) -ge $(($2 - 1)) ]]
  fi
}

# Waits until $2 key texts follow line $1 (at most 3 s), then a little more
# so that a key too many shows up as well.
wait_keys() {
  wait_until 3 keys_came "$1" "$2"
  sleep 0.15
}

# expect NAME WANT XDOTOOL-ARGS...: WANT is the comma-joined key texts.
expect() {
  local name=$1 want=$2
  shift 2
  local before count got
  before=$(wc -l <"$out")
  xdotool "$@"
  if [[ -z "$want" ]]; then count=0; else count=$(($(tr -cd , <<<"$want" | wc -c) + 1)); fi
  wait_keys "$before" "$count"
  got=$(keys_after "$before")
  [[ "$got" == "$want" ]] || fail_case "$name: got '$got', want '$want'"
}

# expect_line NAME LINE: waits for LINE (at most 3 s) in the probe's output.
expect_line() {
  wait_until 3 grep -qx -- "$2" "$out" || fail_case "$1: no line '$2'"
}

# expect_held NAME HELD: waits (at most 3 s) until the last held-key line
# the probe printed is "held HELD" (none printed yet: "held none").
expect_held() {
  wait_until 3 last_held_is "$2" && return 0
  local last
  last=$(grep '^held ' "$out" | tail -1)
  fail_case "$1: '${last:-held none}', want 'held $2'"
}

# Whether the last held-key line is "held $1" (none printed: "held none").
last_held_is() {
  local last
  last=$(grep '^held ' "$out" | tail -1)
  [[ "${last:-held none}" == "held $1" ]]
}

# expect_released NAME: waits (at most 3 s) until no key is held.
expect_released() {
  expect_held "$1" none
}

# expect_cases [--released] CASE...: each case is "NAME|WANT|XDOTOOL-ARGS",
# checked with expect (and with --released, expect_released after it).
expect_cases() {
  local released=0 c name want args
  if [[ "${1:-}" == --released ]]; then
    released=1
    shift
  fi
  for c in "$@"; do
    IFS='|' read -r name want args <<<"$c"
    # shellcheck disable=SC2086
    expect "$name" "$want" $args
    ((released)) && expect_released "$name"
  done
  return 0
}

# expect_stop_keys [KEY...]: each stop key pressed after those keys, in a
# probe of its own: it raises the close request and queues nothing.
expect_stop_keys() {
  local stop name
  for stop in ctrl+Scroll_Lock ctrl+Pause alt+F4; do
    name="${*:+$* }$stop"
    start_probe
    xdotool key "$@" "$stop"
    expect_line "$name" close
    [[ -z "$(keys_after 0)" ]] || fail_case "$name queued '$(keys_after 0)'"
    stop_probe
  done
}

# finish_probe_test MESSAGE: removes the probe's output, then exits 1 when a
# case failed, else prints MESSAGE.
finish_probe_test() {
  rm -f "$out"
  if ((failures)); then
    echo "$failures failure(s)" >&2
    exit 1
  fi
  echo "$1"
}
