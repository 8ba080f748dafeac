#!/usr/bin/env bash
# A packager's plain build with nothing but a compiler and CMake: GoogleTest, Google Benchmark
# and pkg-config are hidden from the configure, which must then build the libraries and kav,
# say in one line what it left out, and build no test or benchmark.
# Usage: plain_build.sh SOURCE-DIR
set -u
source_dir=$(cd "$1" && pwd)
build=$(mktemp -d)
trap 'rm -rf "$build"' EXIT
failures=0 checks=0

check() { # check WHAT COMMAND...: one check, counted
  checks=$((checks + 1))
  if ! "${@:2}"; then
    echo "FAIL: $1"
    failures=$((failures + 1))
  fi
}

cmake -S "$source_dir" -B "$build" -Wno-dev -DCMAKE_BUILD_TYPE=Release \
  -DKAV_GTEST_SOURCE=/nonexistent -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON \
  -DCMAKE_DISABLE_FIND_PACKAGE_PkgConfig=ON >"$build.configure.log" 2>&1
check "the plain configure" test $? -eq 0
check "one line says what was left out" \
  test "$(grep -c 'kavutil: building the library and kav without tests' "$build.configure.log")" -eq 1
cmake --build "$build" -j "$(nproc)" >"$build.build.log" 2>&1
check "the plain build" test $? -eq 0
check "the shared library" test -e "$build/lib/libkavutil.so.1"
check "the static library" test -e "$build/lib/libkavutil.a"
check "kav" test "$("$build/bin/kav" spell 12 2>/dev/null)" = TWELVE
check "no test or benchmark built" test -z "$(find "$build/bin" -name '*_test' -o -name '*_bench')"
[ $failures -eq 0 ] || tail -20 "$build.configure.log" "$build.build.log"
rm -f "$build.configure.log" "$build.build.log"
echo "plain: $((checks - failures)) passed, $failures failed"
[ $failures -eq 0 ]
