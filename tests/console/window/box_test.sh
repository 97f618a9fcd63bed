#!/bin/bash
# A message box dismissed from outside, through the box probe: destroyed by
# another client (xdotool windowclose) or its client killed (windowkill, as
# xkill and a window manager's force-quit do), it gives the answer of a box
# dismissed without one, No for a Yes/No box and OK for an OK box, and the
# process goes on; with the display itself gone, the process ends as for
# the loss of the window's connection.
#   box_test.sh [path/of/survey_entry]   (the probe: $BOX_PROBE, or
#   tests/box_probe next to survey_entry)
set -u
here=$(cd "$(dirname "$0")" && pwd)
probe=${BOX_PROBE:-$(dirname "${1:-.}")/tests/box_probe}
[[ -x "$probe" ]] || { echo "box probe not found: $probe" >&2; exit 1; }
source "$here/xvfb_lib.sh"
source "$here/window_lib.sh"
out=$(mktemp -d)
start_xvfb
trap 'kill $XVFB_PID 2>/dev/null; wait 2>/dev/null; rm -rf "$out"' EXIT

# show KIND: starts the probe with a box of KIND; sets PROBE and BOX.
show() {
  "$probe" "$1" >"$out/stdout" 2>"$out/stderr" &
  PROBE=$!
  BOX=$(wait_window '^Probe box$') || fail "$1: no box"
}

# probe_gone: the probe's process has ended.
probe_gone() {
  ! kill -0 "$PROBE" 2>/dev/null
}

# ended WHAT CODE OUTPUT: the probe ended within 5 s with CODE and printed
# OUTPUT.
ended() {
  local code
  wait_until 5 probe_gone || { kill -9 "$PROBE"; fail "$1: the probe still waits"; }
  wait "$PROBE"
  code=$?
  [[ $code == "$2" && "$(cat "$out/stdout")" == "$3" ]] ||
    fail "$1: exit code $code, printed '$(cat "$out/stdout")': $(cat "$out/stderr")"
}

for kind in yes_no ok; do
  answer=no
  [[ $kind == ok ]] && answer=ok
  for how in windowclose windowkill; do
    show "$kind"
    xdotool "$how" "$BOX"
    ended "$kind box, $how" 0 "$answer"
    ! grep -qi -e "lost" -e "x error" "$out/stderr" || fail "$kind box, $how: $(cat "$out/stderr")"
  done
done

# The box's own close button: nothing on a Yes/No box, OK on an OK box.
show ok
tool close "$BOX"
ended "close button of the OK box" 0 ok
show yes_no
tool close "$BOX"
sleep 0.5
kill -0 "$PROBE" 2>/dev/null || fail "the close button answered a Yes/No box"
xdotool windowclose "$BOX"
ended "Yes/No box after its close button" 0 no

# A press on Yes, dragged onto No and released there, gives no answer, as
# on any desktop's buttons: the box stays, and a click on Yes answers it.
# button_centre N: "X Y", the middle of button N (0 Yes, 1 No) in the box.
button_centre() {
  local rect
  read -r -a rect <<<"$(xprop -id "$BOX" _SURVEY_BOX_BUTTONS | sed 's/.*= //; s/,//g')"
  echo "$((rect[$1 * 4] + rect[$1 * 4 + 2] / 2)) $((rect[$1 * 4 + 1] + rect[$1 * 4 + 3] / 2))"
}
show yes_no
read -r yes_x yes_y <<<"$(button_centre 0)"
read -r no_x no_y <<<"$(button_centre 1)"
xdotool mousemove --window "$BOX" "$yes_x" "$yes_y" mousedown 1 \
  mousemove --window "$BOX" "$no_x" "$no_y" mouseup 1 \
  mousemove --window "$BOX" "$yes_x" "$yes_y" click 1
ended "a press on Yes released on No (no answer), then a click on Yes" 0 yes

# The whole display gone while a box is up.
show yes_no
kill "$XVFB_PID"
ended "display gone" 1 ""
grep -q "the connection to the display .* is lost" "$out/stderr" ||
  fail "display gone: $(cat "$out/stderr")"
echo "box_test: ok"
