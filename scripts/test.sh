#!/bin/bash
# Sets up, builds and runs every test, then the checks that keep the code
# sound:
#   1. the plain build and every test through CTest: unit, in-process and
#      the window tests under Xvfb (each starts its own X server);
#   2. the unit and in-process tests built with ASan and UBSan (preset asan);
#   3. the same tests built with TSan (preset tsan);
#   4. every fuzz target for a bounded time (scripts/fuzz.sh).
# Every stage runs even when an earlier one failed; the last line sums them
# up, and the exit code is 1 when any stage failed. Each stage has a time
# limit, and so has each test (CTest's TIMEOUT; a test program still running
# after 150 s prints its threads' stacks first). A test that runs out of time
# is run again, up to twice, so that a stall of the machine does not fail
# the whole run; its first output stays in the log, and the summary names
# every test that passed only when run again, so that a hang is not hidden.
#
#   scripts/test.sh
# Environment: SURVEY_BUILD_PREFIX names the build folders (default "build":
# build, build-asan, build-tsan); FUZZ_SECONDS is the time per fuzz target
# (default 45; 0 leaves fuzzing out); SKIP_SETUP=1 leaves out the package
# set-up.
set -uo pipefail
cd "$(dirname "$0")/.."

prefix="${SURVEY_BUILD_PREFIX:-build}"
fuzz_seconds="${FUZZ_SECONDS:-45}"
jobs="$(nproc)"

# Any sanitizer report ends the test process with a failure at once, so the
# test that caused it fails and its output holds the report and the stack.
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
export UBSAN_OPTIONS="halt_on_error=1:abort_on_error=1:print_stacktrace=1"
export TSAN_OPTIONS="halt_on_error=1:abort_on_error=1:second_deadlock_stack=1"

summary=()
stages=0
failed_stages=()
started=$(date +%s)

# No core files: a sanitizer's abort must end its test at once.
ulimit -c 0

# stage NAME LIMIT COMMAND...: runs the command for at most LIMIT seconds,
# notes its result and its time.
stage() {
  local name=$1 limit=$2 start result
  shift 2
  stages=$((stages + 1))
  echo "=== $name"
  start=$(date +%s)
  if timeout --kill-after=30 "$limit" "$@"; then
    result=ok
  else
    result=FAILED
    failed_stages+=("$name")
  fi
  summary+=("$name $result ($(($(date +%s) - start)) s)")
  echo "=== $name: $result"
}

# CTest's own output of a stage also goes to <build folder>/ctest.log, from
# which the summary takes the tests that were run again.
plain() {
  rm -f "$prefix/ctest.log"
  cmake -S . -B "$prefix" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null &&
    cmake --build "$prefix" -j"$jobs" &&
    ctest --test-dir "$prefix" --output-on-failure --no-tests=error -j"$jobs" \
      --repeat after-timeout:3 --output-log "$prefix/ctest.log"
}

# sanitized PRESET: the unit and in-process tests (label "unit", as the
# preset's test preset selects them) of a sanitizer build. ctest is pointed
# at the folder itself: its --preset would take the preset's folder even
# with another one named, and a run that finds no test must fail.
sanitized() {
  local preset=$1 dir="$prefix-$1"
  rm -f "$dir/ctest.log"
  cmake --preset "$preset" -B "$dir" >/dev/null &&
    cmake --build "$dir" -j"$jobs" &&
    ctest --test-dir "$dir" -L '^unit$' --output-on-failure --no-tests=error -j"$jobs" \
      --repeat after-timeout:3 --output-log "$dir/ctest.log"
}
export -f plain sanitized
export prefix jobs

# retried_tests LOG: the tests that CTest's log shows timed out once and
# passed when run again.
retried_tests() {
  [[ -f "$1" ]] || return 0
  sed -nE 's/^ *([0-9]+\/[0-9]+ +)?Test +#[0-9]+: ([^ ]+) [ .]*(\*\*\*Timeout|Passed) .*/\3 \2/p' "$1" |
    awk '$1 == "***Timeout" { timed_out[$2] = 1 } $1 == "Passed" && ($2 in timed_out) { print $2 }' |
    sort -u | tr '\n' ' '
}

retried=0
# note_retries BUILD_FOLDER: adds the stage's tests that passed only when run
# again after a time-out to the summary.
note_retries() {
  local names
  names=$(retried_tests "$1/ctest.log")
  [[ -n "$names" ]] || return 0
  summary+=("  passed only when run again after a time-out: ${names% }")
  retried=$((retried + $(wc -w <<<"$names")))
}

if [[ "${SKIP_SETUP:-0}" != 1 ]]; then
  bash scripts/setup.sh || exit 1
fi
stage "plain build and all tests" 1500 bash -c plain
note_retries "$prefix"
stage "ASan+UBSan unit tests" 900 bash -c "sanitized asan"
note_retries "$prefix-asan"
stage "TSan unit tests" 900 bash -c "sanitized tsan"
note_retries "$prefix-tsan"
if ((fuzz_seconds > 0)); then
  # scripts/fuzz.sh runs every target for fuzz_seconds, after its build.
  fuzz_targets=(tests/fuzz/fuzz_*.cpp)
  stage "fuzzing ${fuzz_seconds}s per target (${#fuzz_targets[@]} targets)" \
    $((fuzz_seconds * ${#fuzz_targets[@]} + 300)) bash scripts/fuzz.sh "$fuzz_seconds"
fi

echo
for line in "${summary[@]}"; do echo "  $line"; done
total="$(($(date +%s) - started)) s"
if ((retried)); then
  echo "test.sh: $retried tests passed only when run again after a time-out (named above)"
fi
if ((${#failed_stages[@]})); then
  echo "test.sh: ${#failed_stages[@]} of $stages stages FAILED in $total:" \
    "$(IFS=,; echo "${failed_stages[*]}")"
  exit 1
fi
echo "test.sh: all $stages stages passed in $total"
