#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan+UBSan) and runs each for a number of seconds on a
# working corpus made of fuzz/seeds plus a sample of small real-world files. The working corpus
# lives outside the repository; crashes land in fuzz/crashes-<target>/ (not for committing).
#
# Usage: scripts/fuzz.sh [seconds=60] [target...]
#   targets: inflate load flatten_forms flatten_annotations flatten_all generate (default: all, in turn)
#   KESTRIN_FUZZ_WORK=dir keeps the working corpus in dir across runs (default: a temp dir).
#   KESTRIN_CORPUS_DIR=dir names the real-world corpus (default: ../shared/corpus).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(inflate load flatten_forms flatten_annotations flatten_all generate)

build=$root/build-fuzz
corpus_dir=${KESTRIN_CORPUS_DIR:-$root/../shared/corpus}
[ -d "$corpus_dir" ] || corpus_dir=/work/shared/corpus
corpus=$corpus_dir/files
# Real-world files above this size make each execution slow without finding more.
sample_max_bytes=65536
sample_count=40

# fuzzer-no-link gives the library itself coverage feedback; without it the fuzzer sees only the
# target's own few edges and mutates blindly.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DKESTRIN_FUZZ=ON -DKESTRIN_SANITIZE=ON -DKESTRIN_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
# The machine is shared: never more than two compile jobs.
ninja -C "$build" -j2 $(printf 'fuzz_%s ' "${targets[@]}")

if [ -n "${KESTRIN_FUZZ_WORK:-}" ]; then
    work=$KESTRIN_FUZZ_WORK
    mkdir -p "$work"
else
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi

# Seeds for a target: the generated seeds of its kind and, for the PDF targets, a deterministic
# sample of small corpus files.
fill_corpus() {
    local target=$1 dir=$2
    mkdir -p "$dir"
    if [ "$target" = inflate ] || [ "$target" = generate ]; then
        cp -n "$root"/fuzz/seeds/"$target"/* "$dir"/ 2>/dev/null || true
        return
    fi
    # Saved regressions are left out: one still unfixed would stop the campaign at once, and
    # the replay test runs them anyway.
    cp -n "$root"/fuzz/seeds/pdf/* "$dir"/ 2>/dev/null || true
    if [ -d "$corpus" ]; then
        find "$corpus" -maxdepth 1 -name '*.pdf' -size -"$sample_max_bytes"c | LC_ALL=C sort |
            awk -v n="$sample_count" '{ a[NR] = $0 } END { step = NR / n; if (step < 1) step = 1;
                for (i = 1; i <= NR; i += step) print a[int(i)] }' |
            while read -r f; do cp -n "$f" "$dir"/; done
    fi
}

for target in "${targets[@]}"; do
    dir=$work/$target
    fill_corpus "$target" "$dir"
    crashes=$root/fuzz/crashes-$target
    mkdir -p "$crashes"
    echo "== fuzz_$target for ${seconds}s on $(ls "$dir" | wc -l) inputs"
    # One worker process (-fork=1) that is restarted after a crash, so that a known fault does
    # not end the run; every crash is still saved.
    # The PDF targets get the dictionary of tokens the library acts on, the generator that of
    # default-appearance tokens; the inflate target works on bits, where one would only get in the way.
    dict=()
    case $target in
    inflate) ;;
    generate) dict=(-dict="$root/fuzz/generate.dict") ;;
    *) dict=(-dict="$root/fuzz/pdf.dict") ;;
    esac
    # The generator's inputs are a field's strings: longer ones only make each run slower.
    max_len=1000000
    [ "$target" = generate ] && max_len=16384
    "$build/fuzz/fuzz_$target" "${dict[@]}" -max_len="$max_len" -rss_limit_mb=4096 -timeout=30 \
        -max_total_time="$seconds" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
        -artifact_prefix="$crashes/" "$dir" 2>&1 | tee "$work/$target.log" |
        grep -E '^(==|#[0-9]+ +DONE|rule broken|SUMMARY|INFO: fuzzed for|INFO: exiting)|ERROR' || true
    echo "saved crashes: $(ls "$crashes" | wc -l) in $crashes"
done
