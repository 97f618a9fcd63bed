#!/bin/bash
# The key reader's own X connection refused at start (the X server at its
# client limit, every slot but the window's taken): a start failure, exit
# code 1 and the message, rather than a window that never takes a key.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/xvfb_lib.sh"
source "$here/window_lib.sh"

start_xvfb 1024x768x24 -maxclients 64
run_dir=$(mktemp -d)
HOLDER_PID=""
trap 'kill $HOLDER_PID $XVFB_PID 2>/dev/null; wait 2>/dev/null; rm -rf "$run_dir"' EXIT
cp "$1" "$run_dir/survey_entry"

# Connections held until the server refuses one, less one: the window's.
python3 "$here/x_clients.py" hold-slots >"$run_dir/held" 2>/dev/null &
HOLDER_PID=$!
wait_until 10 test -s "$run_dir/held"
[[ $(cat "$run_dir/held") -gt 0 ]] || fail "the client slots were not taken"

(cd "$run_dir" && exec timeout 10 ./survey_entry 2>"$run_dir/stderr")
code=$?
[[ $code == 1 ]] || fail "key connection refused: exit code $code: $(cat "$run_dir/stderr")"
grep -q "survey_entry: cannot open the display $DISPLAY for the keyboard" "$run_dir/stderr" ||
  fail "key connection refused: no message: $(cat "$run_dir/stderr")"
ls "$run_dir" | grep -q -v -x -e survey_entry -e stderr -e held && fail "the failed start made a file"
echo "key_connection_test: ok"
