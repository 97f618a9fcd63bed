#!/bin/bash
# The desktop's stop signals, sent with kill: SIGTERM, SIGHUP and SIGINT end
# a run as the window's close box does, at the end of the statement in
# progress (a record being written is finished), with exit code 0. While an
# error box waits for its answer the first one waits with it, and a second
# one ends the process at once. SIGQUIT keeps its default, and a stop signal
# that the program was started with ignored stays ignored.
set -u
source "$(dirname "$0")/xvfb_lib.sh"
source "$(dirname "$0")/window_lib.sh"
start_xvfb
# SIGQUIT's default writes a core file.
ulimit -c 0
# The runs start with every signal at its default, as a desktop starts a
# program: a job that this script starts in the background would ignore
# SIGINT and SIGQUIT.
PROGRAM_ENV=(--default-signal=INT,QUIT)

# The program's process: the one started, or the child of its wrapper.
program_pid() {
  local pid
  pid=$(cat "$RUN_DIR/pid")
  if [[ -n ${PROGRAM_WRAPPER[*]+set} ]]; then
    pid=$(cat "/proc/$pid/task/$pid/children")
  fi
  echo "${pid// /}"
}

# The output file as od shows it, for the failure messages.
shown_file() {
  od -An -c "$RUN_DIR/out.txt" 2>&1 | tr -s ' '
}

# file_holds BYTES: out.txt holds BYTES (printf %b).
file_holds() {
  cmp -s <(printf '%b' "$1") "$RUN_DIR/out.txt"
}

# wait_file BYTES [SECONDS]: waits until out.txt holds BYTES.
wait_file() {
  wait_until "${2:-5}" file_holds "$1"
}

# screen_row_matches ROW PATTERN: row ROW of the window matches the
# extended regular expression PATTERN.
screen_row_matches() {
  tool text "$WID" 2>/dev/null | sed -n "$1p" | grep -Eq -- "$2"
}

# wait_screen ROW PATTERN: waits until row ROW of the window matches
# PATTERN.
wait_screen() {
  wait_until 5 screen_row_matches "$1" "$2"
}

# no_signal_pending: no signal of the process is pending (the signal
# thread has taken those sent).
no_signal_pending() {
  grep -Eq '^ShdPnd:\s+0+$' "/proc/$(program_pid)/status" 2>/dev/null
}

# wait_signal_taken SIGNAL: waits until the signal thread has taken SIGNAL.
wait_signal_taken() {
  wait_until 5 no_signal_pending || fail "SIG$1 is still pending"
}

# Each stop signal in a question, with two records written and the next
# answer half typed: the records stay, the half answer is not written.
records='job, 2 \r\ne1, 1.5 ,-1 , .25 , 0 , 1.5 , 2 \r\n'
for signal in TERM HUP INT; do
  start_program "$1"
  tool wait-row "$WID" 23 " CONSULTE" || fail "SIG$signal: no menu"
  xdotool key 4
  tool wait-row "$WID" 3 "Nome do Ficheiro :" || fail "SIG$signal: no file question"
  type_answers out.txt job 2 e1 1.5 -1 0.25 0 1.5 2
  wait_file "$records" || fail "SIG$signal: the records before the stop: $(shown_file)"
  xdotool type --delay 25 half
  wait_screen 3 ' PONTO +half *$' || fail "SIG$signal: the half answer is not shown"
  kill -s "$signal" "$(program_pid)"
  code=$(wait_exit 5)
  [[ "$code" == 0 ]] || fail "SIG$signal in a question: exit code $code"
  cmp -s <(printf '%b' "$records") "$RUN_DIR/out.txt" ||
    fail "SIG$signal in a question: file $(shown_file)"
  [[ "$(made_files)" == out.txt ]] || fail "SIG$signal in a question made: $(made_files)"
done

# A stop signal at the menu and at the end prompt; SIGQUIT at the menu
# ends the process by the signal (128 + 3).
for case in "menu TERM 0" "end-prompt INT 0" "menu QUIT 131"; do
  read -r where signal expected <<<"$case"
  start_program "$1"
  tool wait-row "$WID" 23 " CONSULTE" || fail "SIG$signal: no menu"
  if [[ $where == end-prompt ]]; then
    xdotool key 0
    tool wait-row "$WID" 25 "Press any key to continue" || fail "SIG$signal: no end prompt"
  fi
  kill -s "$signal" "$(program_pid)"
  code=$(wait_exit 5)
  [[ "$code" == "$expected" ]] || fail "SIG$signal at the $where: exit code $code"
  [[ -z "$(made_files)" ]] || fail "SIG$signal at the $where made: $(made_files)"
done

# Stopped and continued (Ctrl+Z and fg in the terminal, SIGSTOP and
# SIGCONT): the signal thread's wait fails with EINTR, and it waits again:
# the run goes on, and a SIGTERM after it still ends the run. The key and
# the SIGTERM come once the thread has been seen stopped and then back in
# its wait (or gone).
# signal_thread: the thread of the program that waits for the stop signals.
signal_thread() {
  local wchan
  wchan=$(grep -l sigtimedwait /proc/"$(program_pid)"/task/*/wchan 2>/dev/null | head -1)
  [[ -n $wchan ]] && basename "$(dirname "$wchan")"
}
# thread_state TID: the state letter of the program's thread TID (none once
# the thread is gone).
thread_state() {
  awk '{ print $3 }' "/proc/$(program_pid)/task/$1/stat" 2>/dev/null
}
thread_stopped() {
  [[ $(thread_state "$1") == T ]]
}
thread_waits_again() {
  [[ ! -e /proc/$(program_pid)/task/$1 ]] ||
    { [[ $(thread_state "$1") == S ]] && grep -q sigtimedwait "/proc/$(program_pid)/task/$1/wchan"; }
}
start_program "$1"
tool wait-row "$WID" 23 " CONSULTE" || fail "SIGSTOP: no menu"
tid=$(wait_until 5 signal_thread) || fail "SIGSTOP: no thread waits for the stop signals"
kill -s STOP "$(program_pid)"
wait_until 5 thread_stopped "$tid" || fail "SIGSTOP did not stop the program"
kill -s CONT "$(program_pid)"
wait_until 5 thread_waits_again "$tid" || fail "SIGCONT: the signal thread is not back in its wait"
xdotool key 1
tool wait-row "$WID" 3 "Nome do Ficheiro :" ||
  fail "after Ctrl+Z and fg (SIGSTOP, SIGCONT) the run does not go on: $(cat "$RUN_DIR/stderr")"
kill -s TERM "$(program_pid)"
code=$(wait_exit 5)
[[ "$code" == 0 ]] ||
  fail "SIGTERM after Ctrl+Z and fg (SIGSTOP, SIGCONT): exit code $code"

# Started with SIGINT ignored (as a background job of this script): SIGINT
# changes nothing, and the close box still ends the run.
PROGRAM_ENV=()
start_program "$1"
tool wait-row "$WID" 23 " CONSULTE" || fail "SIGINT ignored: no menu"
kill -s INT "$(program_pid)"
[[ $(wait_exit 1) == timeout ]] || fail "an ignored SIGINT ended the run"
tool close "$WID"
code=$(wait_exit 5)
[[ "$code" == 0 ]] || fail "SIGINT ignored, then the close box: exit code $code"
PROGRAM_ENV=(--default-signal=INT,QUIT)

# An error box waits for its answer: a first signal waits with it, as the
# close box does; a second one ends the process at once, the box unanswered.
start_program "$1"
tool wait-row "$WID" 23 " CONSULTE" || fail "no menu"
xdotool key 1
tool wait-row "$WID" 3 "Nome do Ficheiro :" || fail "no file question"
type_answers no_such_folder/x
wait_window "^Unhandled Error #76$" >/dev/null || fail "no error box"
kill -s HUP "$(program_pid)"
wait_signal_taken HUP
[[ $(wait_exit 1) == timeout ]] || fail "the run ended on the first signal with the error box open"
window_exists "^Unhandled Error #76$" || fail "the error box went on the first signal"
kill -s TERM "$(program_pid)"
code=$(wait_exit 5)
[[ "$code" == 0 ]] || fail "second signal at the error box: exit code $code"
[[ -z "$(made_files)" ]] || fail "the error box run made: $(made_files)"

# A signal while a record's items are being written, each write to the file
# held back 0.3 s by strace: the stop waits for the record's end, CR LF
# included.
PROGRAM_WRAPPER=(sh -c 'exec strace -f -qq -o /dev/null -P "$PWD/out.txt" -e trace=write \
  -e inject=write:delay_enter=300000 "$@"' sh)
start_program "$1"
tool wait-row "$WID" 23 " CONSULTE" 30 || fail "slow writes: no menu"
xdotool key 4
tool wait-row "$WID" 3 "Nome do Ficheiro :" || fail "slow writes: no file question"
type_answers out.txt job 2
wait_until 5 test -s "$RUN_DIR/out.txt"
at_signal=$(shown_file)
kill -s TERM "$(program_pid)"
code=$(wait_exit 10)
[[ "$code" == 0 ]] || fail "signal during a record: exit code $code"
cmp -s <(printf '%b' 'job, 2 \r\n') "$RUN_DIR/out.txt" ||
  fail "signal during a record: file $(shown_file), at the signal $at_signal"
[[ -n "$at_signal" && "$at_signal" != *'\r \n'* ]] ||
  fail "the signal did not come during the record: the file held $at_signal"
echo "signal_stop_test: ok"
