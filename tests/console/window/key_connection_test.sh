#!/bin/bash
# The key reader's own X connection refused at start (the X server at its
# client limit, every slot but the window's taken): a start failure, exit
# code 1 and the message, rather than a window that never takes a key.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/window_lib.sh"

run_dir=$(mktemp -d)
HOLDER_PID=""
XVFB_PID=""
trap 'kill $HOLDER_PID $XVFB_PID 2>/dev/null; wait 2>/dev/null; rm -rf "$run_dir"' EXIT
cp "$1" "$run_dir/survey_entry"

fd_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset -maxclients 64 3>"$fd_file" \
  2>/dev/null &
XVFB_PID=$!
for _ in $(seq 1 100); do [[ -s "$fd_file" ]] && break; sleep 0.05; done
DISPLAY=":$(tr -d '\n' <"$fd_file")"
export DISPLAY
rm -f "$fd_file"

# Connections held until the server refuses one, less one: the window's.
python3 "$here/x_clients.py" hold-slots >"$run_dir/held" 2>/dev/null &
HOLDER_PID=$!
for _ in $(seq 1 200); do [[ -s "$run_dir/held" ]] && break; sleep 0.05; done
[[ $(cat "$run_dir/held") -gt 0 ]] || fail "the client slots were not taken"

(cd "$run_dir" && exec timeout 10 ./survey_entry 2>"$run_dir/stderr")
code=$?
[[ $code == 1 ]] || fail "key connection refused: exit code $code: $(cat "$run_dir/stderr")"
grep -q "survey_entry: cannot open the display $DISPLAY for the keyboard" "$run_dir/stderr" ||
  fail "key connection refused: no message: $(cat "$run_dir/stderr")"
ls "$run_dir" | grep -q -v -x -e survey_entry -e stderr -e held && fail "the failed start made a file"
echo "key_connection_test: ok"
