#!/usr/bin/env bash
# Builds kestrin and runs every test (unit, end-to-end and corpus).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build build -j 2
ctest --test-dir build --output-on-failure -j 2
