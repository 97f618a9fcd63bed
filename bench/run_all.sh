#!/bin/bash
# Builds and runs every benchmark and prints the figures: the Google
# Benchmark programs of bench/, the start to the first frames
# (first_frame_bench), the window layer's window_bench, the idle processor
# time and wake-ups (idle_cpu.sh), the key latency (key_latency) and the
# stop to exit (stop_latency), the window figures each under a private
# Xvfb. Nothing is checked against the goals: the figures are printed with
# the goals beside them.
#
#   bench/run_all.sh [BUILD_DIR]     (BUILD_DIR: build-bench in the tree)
#   KEY_PRESSES=N IDLE_SECONDS=S bench/run_all.sh   (defaults 200 and 10)
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-$root/build-bench}
presses=${KEY_PRESSES:-200}
idle_seconds=${IDLE_SECONDS:-10}
source "$here/bench_lib.sh"

section() { printf '\n==== %s\n' "$*"; }

section "Build ($build)"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSURVEY_BENCH=ON >/dev/null ||
  exit 1
cmake --build "$build" -j"$(nproc)" >/dev/null || {
  echo "the build failed; run cmake --build $build to see why" >&2
  exit 1
}
echo "built"

section "Machine"
echo "processors (nproc): $(nproc)"
echo "CPU: $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)"
echo "kernel: $(uname -sr)"
echo "X server: Xvfb $(dpkg-query -W -f='${Version}' xvfb 2>/dev/null), 1024x768x24, Mesa $(dpkg-query -W -f='${Version}' libgl1-mesa-dri 2>/dev/null)"
echo "compiler: $(c++ --version | head -1)"
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"

# Google Benchmark programs that need no display.
for bench in "$build"/bench/*_bench; do
  [[ -x "$bench" ]] || continue
  [[ "$(basename "$bench")" == first_frame_bench ]] && continue
  section "$(basename "$bench")"
  "$bench" 2>&1
done

program="$build/survey_entry"
baseline="$build/bench/baseline_glut"
if [[ ! -x "$program" || ! -x "$baseline" ]]; then
  echo "no window figures: $program or $baseline was not built" >&2
  exit 1
fi

section "Start to the first frames (first_frame_bench, under Xvfb; read the medians)"
(start_bench_xvfb && "$build/bench/first_frame_bench" 2>&1)

if [[ -x "$build/window_bench" ]]; then
  section "window_bench (the window's own figures, under Xvfb)"
  (start_bench_xvfb && "$build/window_bench" 2>&1)
fi

section "Idle processor time (idle_cpu.sh, under Xvfb)"
bash "$here/idle_cpu.sh" "$program" "$baseline" "$idle_seconds"

section "Key latency (key_latency, under Xvfb)"
(start_bench_xvfb && "$build/bench/key_latency" --presses "$presses" "$program" "$baseline")

section "Stop to exit (stop_latency, under Xvfb)"
(start_bench_xvfb && "$build/bench/stop_latency" "$program")

section "Done"
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
