#!/bin/bash
# Sourced by the window figures' scripts.
#   start_bench_xvfb      starts a private Xvfb, exports DISPLAY and XVFB_PID;
#                         the server ends when the sourcing script exits
#   cpu_ticks PID         utime + stime of the process, in clock ticks
#   context_switches PID  context switches of all its threads so far
#   window_state WID      what the program window shows: menu, question,
#                         end-prompt or unknown (from its pixels)

start_bench_xvfb() {
  local fd_file
  fd_file=$(mktemp)
  # -noreset: an X server that resets when its last client leaves drops the
  # connections made during the reset, and the figures start and end many
  # clients in a row.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$fd_file" 2>/dev/null &
  XVFB_PID=$!
  for _ in $(seq 1 100); do
    [[ -s "$fd_file" ]] && break
    sleep 0.05
  done
  DISPLAY=":$(tr -d '\n' <"$fd_file")"
  export DISPLAY XVFB_PID
  rm -f "$fd_file"
  trap 'kill $XVFB_PID 2>/dev/null; wait $XVFB_PID 2>/dev/null' EXIT
  for _ in $(seq 1 100); do
    xdpyinfo >/dev/null 2>&1 && return 0
    sleep 0.05
  done
  echo "no X server on $DISPLAY" >&2
  return 1
}

cpu_ticks() {
  # Fields 14 and 15 of /proc/PID/stat, counted after the command name in
  # parentheses (which may hold blanks).
  local stat
  stat=$(cat "/proc/$1/stat") || return 1
  stat=${stat##*) }
  awk '{ print $12 + $13 }' <<<"$stat"
}

# The context switches, voluntary and not, of all threads of the process so
# far: each is a wake-up of one of its threads, or a thread put off the
# processor. A thread that ended meanwhile takes its count with it, so the
# figure is for threads that live through the interval.
context_switches() {
  cat /proc/"$1"/task/*/status 2>/dev/null |
    awk '/^(non)?voluntary_ctxt_switches:/ { n += $2 } END { print n + 0 }'
}

# The colour of one pixel of a window, as "R,G,B".
pixel_of() {
  import -window "$1" -crop "1x1+$2+$3" -depth 8 txt:- 2>/dev/null |
    sed -n 's/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1,\2,\3/p' | head -1
}

window_state() {
  local corner colours
  corner=$(pixel_of "$1" 4 4)
  # Row 2 of the menu holds the box's line of stars; blank after key "0".
  colours=$(import -window "$1" -crop 640x16+0+16 -depth 8 -format '%k' info: 2>/dev/null)
  case "$corner" in
    0,170,170) echo question ;;
    0,170,0) if [[ "$colours" == 1 ]]; then echo end-prompt; else echo menu; fi ;;
    *) echo unknown ;;
  esac
}
