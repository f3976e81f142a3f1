#!/usr/bin/env bash
# Runs every test binary, corpus and hostile-input cases included, under valgrind memcheck. The
# hostile cases run in forked children, which stay under valgrind; programs the tests start
# (our command-line tool, qpdf, pdftoppm) do not. Takes the better part of half an hour.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
# valgrind runs threads one at a time, so the concurrency test's races are the native and the
# ThreadSanitizer runs' business; here a sample of the corpus checks its memory use.
export KESTRIN_CONCURRENCY_FILES=100
# Corpus tests that flatten files the corpus flatten test already flattens under valgrind, and
# spend their time in the external renderers: the sanitizer run covers them.
corpus_repeats='CorpusCompact.*:CorpusFieldValues.*'
status=0
for t in "$build"/tests/*_tests; do
  echo "== valgrind $(basename "$t")"
  valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite \
    "$t" --gtest_brief=1 --gtest_filter="-$corpus_repeats" || status=1
done
exit $status
