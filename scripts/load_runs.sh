#!/bin/bash
# Runs the window tests and the unit tests again and again, at -j of the
# processor count, beside one busy process per processor, to bring out
# tests that fail only on a loaded machine. Each run is one ctest pass of
# the window tests and one of the unit tests, with no retry. Stops when the
# window tests have passed the wanted number of runs in a row, or after the
# most runs allowed; prints every run and, at the end, every failure.
#
#   scripts/load_runs.sh [RUNS_IN_A_ROW (20)] [MOST_RUNS (60)] [BUILD_DIR (build)]
#
# The build folder must hold a plain build (scripts/test.sh makes one). The
# output of failed runs is kept in BUILD_DIR/load_runs/.
set -uo pipefail
cd "$(dirname "$0")/.."
wanted=${1:-20}
most=${2:-60}
build=${3:-build}
jobs=$(nproc)
logs="$build/load_runs"
[[ -f "$build/CTestTestfile.cmake" ]] || {
  echo "load_runs.sh: no build in $build" >&2
  exit 2
}
mkdir -p "$logs"

busy=()
stop_busy() {
  ((${#busy[@]})) && kill "${busy[@]}" 2>/dev/null
  wait 2>/dev/null
}
trap stop_busy EXIT
for _ in $(seq 1 "$jobs"); do
  (while :; do :; done) &
  busy+=($!)
done

failures=()
in_a_row=0
run=0
# pass LABEL LOG: one ctest pass of the tests with that label; prints the
# names of the failed tests and returns 1 when any failed.
pass() {
  if ctest --test-dir "$build" -L "^$1\$" -j"$jobs" --output-on-failure --no-tests=error \
    >"$2" 2>&1; then
    return 0
  fi
  grep -E '^\s+[0-9]+ - ' "$2" | sed -E 's/^\s*[0-9]+ - //'
  return 1
}
while ((in_a_row < wanted && run < most)); do
  run=$((run + 1))
  start=$(date +%s)
  line="run $run:"
  if failed=$(pass window "$logs/window-$run.log"); then
    in_a_row=$((in_a_row + 1))
    line+=" window ok"
    rm -f "$logs/window-$run.log"
  else
    in_a_row=0
    line+=" window FAILED ($(echo "$failed" | tr '\n' ' '))"
    failures+=("run $run window: $(echo "$failed" | tr '\n' ' ')")
  fi
  if failed=$(pass unit "$logs/unit-$run.log"); then
    line+=", unit ok"
    rm -f "$logs/unit-$run.log"
  else
    line+=", unit FAILED ($(echo "$failed" | tr '\n' ' '))"
    failures+=("run $run unit: $(echo "$failed" | tr '\n' ' ')")
  fi
  echo "$line ($(($(date +%s) - start)) s, load $(cut -d' ' -f1 /proc/loadavg))"
done

echo
echo "load_runs.sh: $run runs, window tests passed the last $in_a_row in a row," \
  "${#failures[@]} failed passes"
for f in "${failures[@]}"; do echo "  $f (log in $logs/)"; done
((in_a_row >= wanted))
