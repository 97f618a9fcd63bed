#!/bin/bash
# The program on a slow disk, made slow by strace's fault injection: a
# radiation dialogue (menu key 4) typed ahead at 10 keys a second without
# waiting for the screen, across several records, while the program thread
# waits in each record's sync (2 s each), and then while it waits in each
# write to the file (0.3 s each). Far more than 15 keys arrive during each
# wait; every one of them must reach its question in order: the end prompt
# comes, and the file is compared byte for byte. The trace shows that the
# waits were made (one delayed sync per record, a delayed write per piece).
set -u
source "$(dirname "$0")/xvfb_lib.sh"
source "$(dirname "$0")/window_lib.sh"
start_xvfb
command -v strace >/dev/null || fail "strace is not installed"
BINARY="$1"

answers=(irr.txt T1 1 E1 1 2 3 4 5 2 P1 1.25 90.5 1.5 1.6 P2 2.25 90.5 2.5 1.6 A B)
expected='T1, 1 \r\nE1, 1 , 2 , 3 , 4 , 5 , 2 \r\nP1, 1.25 , 90.5 , 1.5 , 1.6 \r\n'
expected+='P2, 2.25 , 90.5 , 2.5 , 1.6 \r\nA\r\nB\r\n'
records=6

# The answers as keysyms, each ended by Return.
keys=()
for answer in "${answers[@]}"; do
  for ((i = 0; i < ${#answer}; i++)); do
    c=${answer:i:1}
    case $c in
      .) keys+=(period) ;;
      *) keys+=("$c") ;;
    esac
  done
  keys+=(Return)
done

# run_slow LABEL CALL MIN_DELAYED: starts the program under PROGRAM_WRAPPER,
# types every key at 10 a second from the file question on, and checks the
# end prompt, the exit code, the file, and that the trace shows at least
# MIN_DELAYED delayed calls of CALL.
run_slow() {
  local label=$1 call=$2 min_delayed=$3 code delayed
  start_program "$BINARY"
  tool wait-row "$WID" 23 " CONSULTE" 30 || fail "$label: no menu"
  xdotool key 4
  tool wait-row "$WID" 3 "Nome do Ficheiro :" 10 || fail "$label: no file question"
  xdotool key --delay 100 "${keys[@]}"
  tool wait-row "$WID" 25 "Press any key to continue" 60 ||
    fail "$label: no end prompt; the file: $(od -An -c "$RUN_DIR/irr.txt" 2>&1 | tr -s ' ')"
  xdotool key x
  code=$(wait_exit 20)
  [[ "$code" == 0 ]] || fail "$label: exit code $code"
  cmp -s <(printf '%b' "$expected") "$RUN_DIR/irr.txt" ||
    fail "$label: file differs: $(od -An -c "$RUN_DIR/irr.txt" 2>&1 | tr -s ' ')"
  delayed=$(grep -c "^[0-9]* *$call(.*(DELAYED)" "$RUN_DIR/trace")
  ((delayed >= min_delayed)) || fail "$label: $delayed delayed calls of $call, not $min_delayed"
  echo "$label: the file whole, $delayed delayed calls of $call"
}

# Each record's sync held 2 s.
PROGRAM_WRAPPER=(strace -f -qq --seccomp-bpf -o trace -e trace=fdatasync
  -e inject=fdatasync:delay_enter=2000000)
run_slow "sync" fdatasync "$records"

# Each write to the output file held 0.3 s. strace filters by a path only
# when it is given whole (a relative name must exist when strace starts),
# and the run's folder is made by start_program: the wrapper names the file
# from the folder it is started in.
PROGRAM_WRAPPER=(sh -c 'exec strace -f -qq --seccomp-bpf -o trace -e trace=write \
  -P "$PWD/irr.txt" -e inject=write:delay_enter=300000 "$@"' strace_wrapper)
# The six records are written in 57 pieces (texts, blanks, commas, CR LF).
run_slow "write" write 57

echo "slow_disk_test: ok"
