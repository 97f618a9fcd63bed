#!/bin/bash
# Builds every libFuzzer target (tests/fuzz/fuzz_*.cpp) with clang in
# build-fuzz and runs each for a bounded time on its seed corpus. Every
# target runs; the script fails when any of them reports a finding (crash,
# sanitizer report, leak, failed check), whose reproducer is left in
# build-fuzz/artifacts/.
#   scripts/fuzz.sh [seconds per target, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
build=build-fuzz

CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -DSURVEY_FUZZ=ON -DSURVEY_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=()
for source in tests/fuzz/fuzz_*.cpp; do
  targets+=("$(basename "$source" .cpp)")
done
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

mkdir -p "$build/artifacts"
failed=()
for target in "${targets[@]}"; do
  seeds="tests/fuzz/corpus/$target"
  work="$build/corpus/$target"
  mkdir -p "$work"
  corpora=("$work")
  [[ -d "$seeds" ]] && corpora+=("$seeds")
  echo "== $target: ${seconds}s"
  # New inputs go to the work folder; the seed folder is only read.
  if ! "$build/tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$target-" "${corpora[@]}"; then
    failed+=("$target")
  fi
done
if ((${#failed[@]})); then
  echo "fuzzing: findings in ${failed[*]} (see $build/artifacts/)" >&2
  exit 1
fi
echo "fuzzing: ${#targets[@]} targets ran ${seconds}s each with no finding"
