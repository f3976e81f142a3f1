#!/usr/bin/env bash
# Installs kestrin into a temporary prefix, builds a C consumer through pkg-config and through
# find_package(kestrin), and runs both on the example form.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
example=$root/examples/example_form.pdf
libdir=$(dirname "$(find "$prefix" -name 'libkestrin.so' | head -n 1)")

PKG_CONFIG_PATH=$libdir/pkgconfig cc -o "$prefix/consumer-pc" "$root/tests/package/consumer.c" \
  $(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs kestrin)
[ "$(LD_LIBRARY_PATH=$libdir "$prefix/consumer-pc" "$example")" = 2 ]

cmake -S "$root/tests/package" -B "$prefix/consumer-build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$prefix/consumer-build" >/dev/null
[ "$("$prefix/consumer-build/consumer" "$example")" = 2 ]

[ "$("$prefix/bin/kestrin" fields "$example")" = 2 ]
[ -f "$prefix/share/man/man1/kestrin.1" ]
readelf -d "$libdir/libkestrin.so" | grep -q 'SONAME.*libkestrin.so.0'
echo "package check passed"
