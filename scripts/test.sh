#!/bin/bash
# Sets up, builds and runs every test: the unit and in-process tests through
# CTest, and the window tests under Xvfb (each starts its own X server).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"
