#!/bin/bash
# Sets up, builds and starts the program in its window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target survey_entry
exec ./build/survey_entry
