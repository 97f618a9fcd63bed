#!/bin/bash
# Processor time and wake-ups of the idle program in its three waits, under
# a private Xvfb: at the menu, in a question ("1", then "Nome do Ficheiro :"
# with its cursor blinking) and at the end prompt ("0"). The time is utime +
# stime of the process (all its threads) from /proc/<pid>/stat over SECONDS
# of wall time, as % of one core; the wake-ups are the context switches
# (voluntary and not) of all its threads from /proc/<pid>/task/*/status over
# the same interval, per second. The baseline, a minimal freeglut program
# with a 10 ms key poll, is measured the same way in the same run; the X
# server's own time over each interval is shown beside it. Further programs
# (another build of the program, say the one before a change) are measured
# after it in the same three places.
#
#   bench/idle_cpu.sh PROGRAM BASELINE [SECONDS [OTHER_PROGRAM...]]   (SECONDS: 10)
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/bench_lib.sh"

program=${1:?usage: idle_cpu.sh PROGRAM BASELINE [SECONDS [OTHER_PROGRAM...]]}
baseline=${2:?usage: idle_cpu.sh PROGRAM BASELINE [SECONDS [OTHER_PROGRAM...]]}
seconds=${3:-10}
others=("${@:4}")
ticks_per_second=$(getconf CLK_TCK)
settle=1.5

start_bench_xvfb || exit 1

started_pids=()
stop_started() {
  local pid
  for pid in "${started_pids[@]}"; do
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  started_pids=()
}
trap 'stop_started; kill $XVFB_PID 2>/dev/null; wait $XVFB_PID 2>/dev/null' EXIT

# start PATH TITLE: starts PATH, sets PID and WID, points the mouse into the
# window (no window manager: the keys go to the window under the pointer).
start() {
  "$1" >/dev/null 2>&1 &
  PID=$!
  started_pids+=("$PID")
  WID=$(timeout 10 xdotool search --sync --name "^$2\$" 2>/dev/null | head -1)
  if [[ -z "$WID" ]]; then
    echo "idle_cpu: no window \"$2\" from $1" >&2
    exit 1
  fi
  xdotool mousemove --window "$WID" 320 200
}

# measure LABEL: prints the processor time and the wake-ups of PID and the
# processor time of the X server over the next $seconds seconds.
measure() {
  local label=$1 state=$2 p0 p1 x0 x1 w0 w1 c0 c1 threads
  p0=$(cpu_ticks "$PID") || { echo "idle_cpu: $label: the process has ended" >&2; exit 1; }
  c0=$(context_switches "$PID")
  x0=$(cpu_ticks "$XVFB_PID")
  w0=$(date +%s.%N)
  sleep "$seconds"
  p1=$(cpu_ticks "$PID") || { echo "idle_cpu: $label: the process has ended" >&2; exit 1; }
  c1=$(context_switches "$PID")
  x1=$(cpu_ticks "$XVFB_PID")
  w1=$(date +%s.%N)
  threads=$(ls "/proc/$PID/task" | wc -l)
  awk -v label="$label" -v state="$state" -v p="$((p1 - p0))" -v x="$((x1 - x0))" \
    -v c="$((c1 - c0))" -v threads="$threads" \
    -v w0="$w0" -v w1="$w1" -v hz="$ticks_per_second" 'BEGIN {
      wall = w1 - w0
      printf "%-50s %-11s %8.2f %% %9.1f %8d %10.2f %% %8.2f s\n", label, state,
             100 * p / hz / wall, c / wall, threads, 100 * x / hz / wall, wall
    }'
}

echo "Idle processor time, % of one core (utime+stime from /proc/<pid>/stat; CLK_TCK $ticks_per_second),"
echo "and wake-ups per second (context switches of all threads, /proc/<pid>/task/*/status)"
printf "%-50s %-11s %10s %9s %8s %12s %10s\n" "program and place" "shown" "program" "wake/s" \
  "threads" "X server" "interval"

start "$baseline" Baseline
sleep "$settle"
measure "baseline_glut (10 ms key poll)" "-"
stop_started

# places PROGRAM NAME: the three waits of one build of the program.
places() {
  start "$1" Untitled
  sleep "$settle"
  measure "$2 at the menu" "$(window_state "$WID")"
  xdotool key 1
  sleep "$settle"
  measure "$2 in a question" "$(window_state "$WID")"
  stop_started

  start "$1" Untitled
  sleep "$settle"
  xdotool key 0
  sleep "$settle"
  measure "$2 at the end prompt" "$(window_state "$WID")"
  stop_started
}

places "$program" survey_entry
for other in "${others[@]}"; do places "$other" "$other"; done

echo "goal: at most 0.3 % of one core and 5 wake-ups a second at the menu and the end prompt,"
echo "0.6 % and 20 wake-ups a second in a question"
