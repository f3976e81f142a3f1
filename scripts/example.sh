#!/usr/bin/env bash
# Builds kestrin and runs the main job on the bundled example form: both counts, then a flatten.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j 2 --target kestrin_cli >/dev/null
example=examples/example_form.pdf
out=${1:-/tmp/example_flat.pdf}
echo "fields:      $(./build/kestrin fields "$example")"
echo "annotations: $(./build/kestrin annotations "$example")"
./build/kestrin flatten --all "$example" "$out"
echo "flattened:   $out ($(./build/kestrin count "$out"))"
