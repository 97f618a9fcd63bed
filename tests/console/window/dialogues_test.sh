#!/bin/bash
# One whole run of each menu key through the window: the answers typed with
# xdotool, the end prompt, exit code 0 and the file compared byte for byte.
set -u
source "$(dirname "$0")/xvfb_lib.sh"
source "$(dirname "$0")/window_lib.sh"
start_xvfb
BINARY="$1"

# run_dialogue KEY FILE EXPECTED ANSWER...: EXPECTED in printf %b form.
run_dialogue() {
  local key=$1 file=$2 expected=$3 answer code
  shift 3
  start_program "$BINARY"
  tool wait-row "$WID" 23 " CONSULTE" || fail "key $key: no menu"
  xdotool key "$key"
  tool wait-row "$WID" 3 "Nome do Ficheiro :" || fail "key $key: no file question"
  type_answers "$@"
  tool wait-row "$WID" 25 "Press any key to continue" 10 || fail "key $key: no end prompt"
  xdotool key x
  code=$(wait_exit 10)
  [[ "$code" == 0 ]] || fail "key $key: exit code $code"
  cmp -s <(printf '%b' "$expected") "$RUN_DIR/$file" ||
    fail "key $key: file differs: $(od -An -c "$RUN_DIR/$file" | tr -s ' ')"
  rm -rf "$RUN_DIR"
}

run_dialogue 1 ori.txt 'J1, 1 \r\nE1, 1000.5 , 2000 , 1 \r\nV1, 1.25 , 2 ,-3.5 \r\nA\r\nB\r\n' \
  ori.txt J1 1 E1 1000.5 2000 1 V1 1.25 2 -3.5 A B

traverse_answers=(trav.txt T1 3 1000.5 2000 100.25 0 1500 2500.75 101 0.5
  A1 10.5 90 120.25 1.55 1.6 '"A2, x"' 190.5 270 120.25 1.5 1.7 20 91 80 1.52 1.8
  "" 200 89.5 0 1.4 0 S C)
traverse_file=' 3 ,T1\r\n 1000.5 , 2000 , 100.25 , 0 \r\n 1500 , 2500.75 , 101 , .5 \r\n'
traverse_file+='A1, 10.5 , 90 , 120.25 , 1.55 , 1.6 \r\nA2, x, 190.5 , 270 , 120.25 , 1.5 , 1.7 \r\n'
traverse_file+=' 20 , 91 , 80 , 1.52 , 1.8 \r\n, 200 , 89.5 , 0 , 1.4 , 0 \r\nS\r\nC\r\n'
run_dialogue 2 trav.txt "$traverse_file" "${traverse_answers[@]}"
run_dialogue 3 trav.txt "$traverse_file" "${traverse_answers[@]}"

radiation_answers=(irr.txt T1 1 E1 1000.5 2000 100.25 0 1.5 1 P1 123.4567 98.765 45.67 1.6 A B)
radiation_file='T1, 1 \r\nE1, 1000.5 , 2000 , 100.25 , 0 , 1.5 , 1 \r\n'
radiation_file+='P1, 123.4567 , 98.765 , 45.67 , 1.6 \r\nA\r\nB\r\n'
run_dialogue 4 irr.txt "$radiation_file" "${radiation_answers[@]}"
run_dialogue 5 irr.txt "$radiation_file" "${radiation_answers[@]}"

run_dialogue 6 cl.txt 'z,D,M\r\nJ, 1 \r\nE1, 1 , 2 , 3 , 4 , 1.5 , 1 \r\nP1, 123.4567 , 98.765 , 1.234568 , 1.2 \r\nA\r\nB\r\n' \
  cl.txt x z Di D M J 1 E1 1 2 3 4 1.5 1 P1 123.4567 98.765 1.2345678 1.2 A B

echo "dialogues_test: ok"
