#!/bin/bash
# Sourced by the window tests: starts a private Xvfb server and exports
# DISPLAY; the server is ended when the sourcing script exits.
#   source "$(dirname "$0")/xvfb_lib.sh"; start_xvfb [WIDTHxHEIGHTxDEPTH [XVFB_OPTION...]]
#   bind_keysyms KEYSYM...   gives each KEYSYM a keycode of its own in the
#                            server's keymap (see below)
source "$(dirname "${BASH_SOURCE[0]}")/test_lib.sh"

start_xvfb() {
  local screen=${1:-1024x768x24} fd_file
  shift
  fd_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset "$@" 3>"$fd_file" 2>/dev/null &
  XVFB_PID=$!
  wait_until 5 test -s "$fd_file"
  DISPLAY=":$(tr -d '\n' <"$fd_file")"
  export DISPLAY
  rm -f "$fd_file"
  trap 'kill $XVFB_PID 2>/dev/null; wait $XVFB_PID 2>/dev/null' EXIT
}

# bind_keysyms KEYSYM...: binds each KEYSYM (a name or a hexadecimal
# value, as xdotool takes them) to a keycode of its own among those the
# keymap leaves empty, so that xdotool then types it by name with a keycode
# of the keymap. A keysym the keymap lacks is otherwise typed through a
# scratch keycode that xdotool binds for the press and takes back after the
# release; a key reader that reads the keymap after that (a loaded machine
# makes it late) gets no character. Call it once, after the last setxkbmap
# (which replaces the whole keymap) and before the program or the probe
# starts, and type only keysyms that the layout or this binding holds.
bind_keysyms() {
  local spare keysym args=() i=0
  # The keycodes with no keysym ("keycode N =" and nothing after it), but
  # the lowest, 8, which some clients take for no key.
  mapfile -t spare < <(xmodmap -pke | awk '$1 == "keycode" && NF == 3 && $2 > 8 { print $2 }')
  (($# <= ${#spare[@]})) || fail "the keymap has ${#spare[@]} free keycodes for $# keysyms"
  for keysym in "$@"; do
    args+=(-e "keycode ${spare[i]} = $keysym")
    i=$((i + 1))
  done
  xmodmap "${args[@]}" || fail "xmodmap could not bind $*"
  # Each keycode holds its keysym now: the binding is in the keymap that
  # the clients started from here on read.
  local keymap
  keymap=$(xmodmap -pke)
  for ((i = 0; i < $#; i++)); do
    grep -Eq "^keycode +${spare[i]} = [^ ]" <<<"$keymap" ||
      fail "keycode ${spare[i]} did not take ${*:i+1:1}"
  done
}
