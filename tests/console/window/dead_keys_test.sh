#!/bin/bash
# Dead keys and the Compose key on the Portuguese layout (setxkbmap pt, the
# Menu key as Compose), under a private X server:
#   1. the key probe: what each sequence delivers, that a pending dead key
#      does not swallow Ctrl, Alt, AltGr and named keys, the pause and stop
#      keys, a held dead key, and the held-key set after each case;
#   2. the real program: text answers typed with dead keys, the output file
#      compared byte for byte.
#   dead_keys_test.sh path/of/survey_entry   (the probe: $KEY_PROBE, or
#   tests/key_probe next to survey_entry)
set -u
here=$(cd "$(dirname "$0")" && pwd)
BINARY=${1:-}
probe=${KEY_PROBE:-$(dirname "${BINARY:-.}")/tests/key_probe}
if [[ ! -x "$probe" ]]; then
  echo "key probe not found: $probe" >&2
  exit 1
fi
# The system's compose tables only: no compose file of the user running
# the test (HOME an empty folder for the program and the probe).
test_home=$(mktemp -d)
export HOME=$test_home
unset XCOMPOSEFILE XDG_CONFIG_HOME XLOCALEDIR
source "$here/xvfb_lib.sh"
start_xvfb
trap 'kill $XVFB_PID 2>/dev/null; wait $XVFB_PID 2>/dev/null; rm -rf "$test_home" "${out:-}"' EXIT
# The layout of this test's own X server only.
setxkbmap -layout pt -option compose:menu || fail "setxkbmap pt"
source "$here/probe_lib.sh"

# ---------------------------------------------------------------------------
# 1. The key probe.

# The probe with a Portuguese locale; the program further down with no
# locale variable at all (the default table).
start_probe LC_ALL=pt_PT.UTF-8

# name | key texts | xdotool arguments. A case whose last presses give
# nothing ends in x (78) or y (79), so that it ends in a known key.
cases=(
  "letter|61|key a"
  "ç, not a dead key|e7|key ccedilla"
  "º, not a dead key|ba|key masculine"
  "~ a|e3|key dead_tilde a"
  "~ Shift+O|d5|key dead_tilde shift+o"
  "´ e|e9|key dead_acute e"
  "´ Shift+E|c9|key dead_acute shift+e"
  "AltGr+¨ u|fc|key dead_diaeresis u"
  "AltGr+¨ y, the last of Latin-1|ff|key dead_diaeresis y"
  "^ o|f4|key dead_circumflex o"
  "~ Space|7e|key dead_tilde space"
  "´ b: cancelled|78|key dead_acute b x"
  "´ ~ o: no byte|78|key dead_acute dead_tilde o x"
  "´ Enter|0d|key dead_acute Return"
  "´ Backspace|08|key dead_acute BackSpace"
  "´ Tab|09|key dead_acute Tab"
  "´ Esc|1b|key dead_acute Escape"
  "´ Ctrl+A, then e|01,65|key dead_acute ctrl+a e"
  "´ Alt+Q, then e|00 10,65|key dead_acute alt+q e"
  "Ctrl+´, then e|65|key ctrl+dead_acute e"
  "´ AltGr+2, then e|00 79,65|key dead_acute at e"
  "´ F1, then e|00 3b,65|key dead_acute F1 e"
  "´ Left, then e|00 4b,65|key dead_acute Left e"
  "´ Shift alone, then e|e9|key dead_acute Shift_L e"
  "´ Pause, then x y|79|key dead_acute Pause x y"
  "Pause, then ´ e|65|key Pause dead_acute e"
  "Compose ' a|e1|key Multi_key apostrophe a"
  "Compose , c|e7|key Multi_key comma c"
  "Compose Space Space, the first of Latin-1|a0|key Multi_key space space"
  "Compose = e: no byte|78|key Multi_key equal e x"
  "Compose Enter|0d|key Multi_key Return"
)
expect_cases --released "${cases[@]}"

# A held dead key repeats; the repeats are not new dead keys, so the letter
# after it composes with the one press (´´ would give the accent alone).
before=$(wc -l <"$out")
xdotool keydown dead_acute
sleep 1.2
xdotool keyup dead_acute key e
wait_keys "$before" 1
got=$(keys_after "$before")
[[ "$got" == e9 ]] || fail_case "held dead key, then e: got '$got', want 'e9'"
expect_released "held dead key"

# A letter held after a dead key: the first press composes, its repeats are
# the letter; everything is let go at the end.
before=$(wc -l <"$out")
xdotool key dead_tilde keydown a
sleep 1.2
xdotool keyup a
sleep 0.2
got=$(keys_after "$before")
first=${got%%,*}
others=$(tr ',' '\n' <<<"${got#*,}" | grep -vcx 61)
[[ "$first" == e3 && "$got" == *,* && $others -eq 0 ]] ||
  fail_case "~ then a held: got '$got', want e3 then 61s"
expect_released "~ then a held"

# Dead key, Shift and the letter let go in any order.
expect "´ Shift E, released out of order" "c9" \
  keydown dead_acute keydown Shift_L keydown e keyup dead_acute keyup Shift_L keyup e
expect_released "´ Shift E, released out of order"
expect "after that, a plain letter" "65" key e

grep -qx close "$out" && fail_case "a key that is no stop key raised the close request"
grep -q "compose table" "$out" && fail_case "probe: $(grep "compose table" "$out")"
stop_probe

# Stop keys after a pending dead key: each still raises the close request.
expect_stop_keys dead_acute

# ---------------------------------------------------------------------------
# 2. The real program: menu key 4, answers typed with dead keys, the file.

if [[ -z "$BINARY" ]]; then
  fail_case "no program given"
else
  source "$here/window_lib.sh"
  RUN_DIRS+=("$test_home" "$out")
  unset LC_ALL LC_CTYPE LANG
  start_program "$BINARY"
  tool wait-row "$WID" 23 " CONSULTE" || fail "no menu"
  xdotool key 4
  tool wait-row "$WID" 3 "Nome do Ficheiro :" || fail "no file question"
  # answer KEYSYM...: one answer pressed key by key, then Enter (answers of
  # plain characters go through type_answers). A key every 40 ms keeps the
  # 15-key queue from filling.
  answer() {
    [[ $# -gt 0 ]] && xdotool key --delay 40 "$@"
    xdotool key Return
  }
  lower=(dead_tilde a dead_acute a dead_grave a dead_circumflex a dead_acute e
    dead_circumflex e dead_acute i dead_acute o dead_circumflex o dead_tilde o
    dead_acute u dead_diaeresis u)
  upper=(dead_tilde A dead_acute A dead_grave A dead_circumflex A dead_acute E
    dead_circumflex E dead_acute I dead_acute O dead_circumflex O dead_tilde O
    dead_acute U dead_diaeresis U)
  type_answers irr.txt                               # file name
  answer "${lower[@]}" space "${upper[@]}"           # job name
  type_answers 1                                     # number of stations
  # Station name: a dead key and Space, a dead key and a letter it does
  # not compose with (both lost), ç and the Compose key.
  answer E dead_tilde space dead_acute b 1 ccedilla Multi_key apostrophe a
  type_answers 1000.5 2000 100.25 0 1.5 1
  answer P dead_acute                                # point name: a dead key, then Enter
  type_answers 123.4567 98.765 45.67 1.6
  answer S dead_tilde a o space J o dead_tilde a o   # surveyor
  answer P dead_acute o v o a                        # calculator
  tool wait-row "$WID" 25 "Press any key to continue" 10 || fail "no end prompt"
  xdotool key x
  code=$(wait_exit 10)
  [[ "$code" == 0 ]] || fail "exit code $code"
  ! grep "compose table" "$RUN_DIR/stderr" || fail "the program found no compose table"
  want='\xe3\xe1\xe0\xe2\xe9\xea\xed\xf3\xf4\xf5\xfa\xfc '
  want+='\xc3\xc1\xc0\xc2\xc9\xca\xcd\xd3\xd4\xd5\xda\xdc, 1 \r\n'
  want+='E~1\xe7\xe1, 1000.5 , 2000 , 100.25 , 0 , 1.5 , 1 \r\n'
  want+='P, 123.4567 , 98.765 , 45.67 , 1.6 \r\n'
  want+='S\xe3o Jo\xe3o\r\nP\xf3voa\r\n'
  cmp -s <(printf '%b' "$want") "$RUN_DIR/irr.txt" ||
    fail "file differs: $(od -An -tx1 -c "$RUN_DIR/irr.txt" 2>&1 | tr -s ' ')"
fi

rm -rf "$test_home"
finish_probe_test "dead_keys_test: ok"
