#!/usr/bin/env bash
# Runs every test binary under valgrind memcheck. The corpus-wide, hostile-input and rendering
# cases are left out here (hours under valgrind); they run under AddressSanitizer instead.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
status=0
for t in "$build"/tests/*_tests; do
  echo "== valgrind $(basename "$t")"
  valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite \
    "$t" --gtest_brief=1 --gtest_filter='-*Corpus*:*Hostile*:*corpus*' || status=1
done
exit $status
