#!/bin/bash
# Types keys into the key probe under a private X server and checks the key
# texts that reach the key queue, the pause keys and the stop keys.
#   keys_test.sh [path/of/survey_entry]   (the probe: $KEY_PROBE, or
#   tests/key_probe next to survey_entry)
set -u
here=$(cd "$(dirname "$0")" && pwd)
probe=${KEY_PROBE:-$(dirname "${1:-.}")/tests/key_probe}
if [[ ! -x "$probe" ]]; then
  echo "key probe not found: $probe" >&2
  exit 1
fi
source "$here/xvfb_lib.sh"
start_xvfb
# The keysyms below that the layout lacks, each on a keycode of its own
# before the probe reads the keymap.
bind_keysyms eacute nobreakspace ydiaeresis 0x100009f U0100

source "$here/probe_lib.sh"

start_probe

# name | key texts | xdotool arguments. Presses that give nothing are
# followed by x (78), so each case ends in a known key.
cases=(
  "letter|61|key a"
  "Shift+letter|41|key shift+a"
  "Ctrl+A|01|key ctrl+a"
  "Ctrl+Shift+A|01|key ctrl+shift+a"
  "Ctrl+Z|1a|key ctrl+z"
  "Ctrl+M|0d|key ctrl+m"
  "Ctrl+J|0a|key ctrl+j"
  "Ctrl+H|08|key ctrl+h"
  "Enter|0d|key Return"
  "Ctrl+Enter|0a|key ctrl+Return"
  "keypad Enter|0d|key KP_Enter"
  "Ctrl+keypad Enter|0a|key ctrl+KP_Enter"
  "Alt+Enter|78|key alt+Return x"
  "Backspace|08|key BackSpace"
  "Ctrl+Backspace|00 93|key ctrl+BackSpace"
  "Alt+Backspace|00 0e|key alt+BackSpace"
  "Delete|00 53|key Delete"
  "Ctrl+Delete|00 93|key ctrl+Delete"
  "Tab|09|key Tab"
  "Shift+Tab|00 0f|key shift+Tab"
  "Esc|1b|key Escape"
  "Ctrl+[|1b|key ctrl+bracketleft"
  "Ctrl+2|00 03|key ctrl+2"
  "Ctrl+6|1e|key ctrl+6"
  "Ctrl+-|1f|key ctrl+minus"
  "Ctrl+1|78|key ctrl+1 x"
  "Space|20|key space"
  "Shift+1|21|key shift+1"
  "Latin-1 letter|e9|key eacute"
  "first of Latin-1, no-break space|a0|key nobreakspace"
  "last of Latin-1, ÿ|ff|key ydiaeresis"
  "U+009F, below Latin-1: dropped|78|key 0x100009f x"
  "U+0100, above Latin-1: dropped|78|key U0100 x"
  "F1|00 3b|key F1"
  "Shift+F1|00 54|key shift+F1"
  "Ctrl+F1|00 5e|key ctrl+F1"
  "Alt+F1|00 68|key alt+F1"
  "F10|00 44|key F10"
  "F11|00 85|key F11"
  "Shift+F11|00 85|key shift+F11"
  "Ctrl+F12|00 8a|key ctrl+F12"
  "Alt+F12|00 8c|key alt+F12"
  "Ctrl+F4|00 61|key ctrl+F4"
  "Up|00 48|key Up"
  "Down|00 50|key Down"
  "Left|00 4b|key Left"
  "Right|00 4d|key Right"
  "Ctrl+Left|00 73|key ctrl+Left"
  "Alt+Down|00 a0|key alt+Down"
  "Home|00 47|key Home"
  "Ctrl+Home|00 77|key ctrl+Home"
  "End|00 4f|key End"
  "Page Up|00 49|key Prior"
  "Page Down|00 51|key Next"
  "Insert|00 52|key Insert"
  "Alt+Q|00 10|key alt+q"
  "Alt+Shift+Q|00 10|key alt+shift+q"
  "Alt+M|00 32|key alt+m"
  "Alt+1|00 78|key alt+1"
  "Alt+0|00 81|key alt+0"
  "Alt+-|00 82|key alt+minus"
  "Alt+Space|78|key alt+space x"
  "Shift alone|78|key Shift_L x"
  "keypad 4, Num Lock off|00 4b|key KP_Left"
  "Scroll Lock alone|78|key Scroll_Lock x"
  "Pause, then a letter|79|key Pause x y"
  "Pause, then Shift|79|key Pause Shift_L y"
)
expect_cases "${cases[@]}"

# Caps Lock: the window system applies it, and Shift undoes it for letters.
xdotool key Caps_Lock
expect_line "Caps Lock on" "caps 1"
expect "Caps Lock letter" "41" key a
expect "Caps Lock Shift+letter" "61" key shift+a
expect "Caps Lock Ctrl+letter" "01" key ctrl+a
xdotool key Caps_Lock
expect_line "Caps Lock off" "caps 0"
expect "after Caps Lock" "61" key a

# Num Lock: the keypad gives digits; Ctrl+Num Lock pauses, whichever way the
# state goes.
xdotool key Num_Lock
expect_line "Num Lock on" "num 1"
expect "keypad 4, Num Lock on" "34" key KP_Left
expect "Ctrl+Num Lock (to off)" "79" key ctrl+Num_Lock x y
expect "Ctrl+Num Lock (to on)" "79" key ctrl+Num_Lock x y
xdotool key Num_Lock
expect "keypad 4 again, Num Lock off" "00 4b" key KP_Left

# Auto-repeat: a held key repeats as presses, each a key of its own.
before=$(wc -l <"$out")
xdotool keydown b
sleep 1.2
xdotool keyup b
sleep 0.2
got=$(keys_after "$before")
n=$(tr ',' '\n' <<<"$got" | grep -c .)
others=$(tr ',' '\n' <<<"$got" | grep -vcx 62)
((n >= 3 && others == 0)) || fail_case "auto-repeat: got '$got'"
# Ctrl held while a letter repeats: every repeat is the control byte.
before=$(wc -l <"$out")
xdotool keydown ctrl keydown c
sleep 1.2
xdotool keyup c keyup ctrl
sleep 0.2
got=$(keys_after "$before")
n=$(tr ',' '\n' <<<"$got" | grep -c .)
others=$(tr ',' '\n' <<<"$got" | grep -vcx 03)
((n >= 3 && others == 0)) || fail_case "auto-repeat with Ctrl: got '$got'"

# A modifier held when the focus leaves (Alt+Tab) and released while
# another window (a second probe) has it: the release never comes here, so
# the probe lets go of its keys at the focus change, and a letter typed
# after the focus is back is the plain letter. Case: name | xdotool key |
# its held-key set.
probe_window=$(xdotool getwindowfocus -f)
other_out=$(mktemp)
"$probe" 240 >"$other_out" 2>&1 &
other_pid=$!
wait_until 5 probe_ready "$other_out"
other_window=$(xdotool getwindowfocus -f)
[[ "$other_window" != "$probe_window" ]] || fail_case "the second window took no focus"
for c in "Ctrl|ctrl|n27" "Alt|alt|n29"; do
  IFS='|' read -r name key held <<<"$c"
  name="$name held as the focus leaves"
  xdotool windowfocus --sync "$probe_window"
  xdotool keydown "$key"
  expect_held "$name" "$held"
  xdotool windowfocus --sync "$other_window"
  expect_released "$name, focus away"
  xdotool keyup "$key"
  xdotool windowfocus --sync "$probe_window"
  expect "$name, then a" 61 key a
  expect_released "$name, then a"
done
kill "$other_pid" 2>/dev/null
wait "$other_pid" 2>/dev/null
rm -f "$other_out"

# The focus following the pointer (no window manager, or one that gives the
# focus to the window under the pointer): a modifier pressed in the probe,
# the pointer moved out, the modifier released there, the pointer moved
# back: the next digit arrives plain. Then the other way round: Ctrl
# pressed outside, the pointer moved in: the next key carries Ctrl, and
# Ctrl's release here lets go of it.
python3 "$here/x_clients.py" focus-pointer-root || fail "no pointer-root focus"
inside=(mousemove --window "$probe_window" 160 100)
outside=(mousemove 900 700)
for c in "Ctrl|ctrl|n27" "Alt|alt|n29"; do
  IFS='|' read -r name key held <<<"$c"
  name="$name released outside, the focus following the pointer"
  xdotool "${inside[@]}"
  xdotool keydown "$key"
  expect_held "$name" "$held"
  xdotool "${outside[@]}"
  xdotool keyup "$key"
  xdotool "${inside[@]}"
  expect "$name, then 1" 31 key 1
  expect_released "$name, then 1"
done
xdotool "${outside[@]}" keydown ctrl "${inside[@]}"
expect "Ctrl pressed outside, then a" 01 key a
xdotool keyup ctrl
expect_released "Ctrl pressed outside, released inside"
expect "Ctrl pressed outside and released, then a" 61 key a

grep -qx close "$out" && fail_case "a key that is no stop key raised the close request"
stop_probe

# Stop keys: each raises the close request and queues nothing.
expect_stop_keys

finish_probe_test "all key cases passed"
