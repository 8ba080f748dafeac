#!/usr/bin/env bash
# kavutil as its users take it.  Installs a native build into a temporary prefix and checks the
# installed files, then builds and runs: a C program through pkg-config (against the shared
# library, then statically with the .pc file's Libs.private), a C++ CMake project through
# find_package(kavutil 1.0), and a parent project that adds the source tree with
# add_subdirectory.  Everything is removed at the end.  Usage: check.sh BUILD-DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source=$(cd "$here/../.." && pwd)
build=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() { echo "FAIL: $*" >&2; exit 1; }
quietly() { "$@" >"$work/log" 2>&1 || { cat "$work/log"; fail "$*"; }; }
cached() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
# run NAME EXPECTED PROGRAM...: the program's output must be EXPECTED.
run() {
  local got
  got=$("${@:3}") || fail "$1 exited with $?"
  [ "$got" = "$2" ] || fail "$1 printed [$got], not [$2]"
  echo "ok: $1"
}

quietly cmake --install "$build" --prefix "$prefix"
libdir=$(cached CMAKE_INSTALL_LIBDIR) mandir=$(cached CMAKE_INSTALL_MANDIR)
mandir=${mandir:-share/man}  # GNUInstallDirs caches it empty when it follows datarootdir
version=$(sed -n 's/^#define KAVUTIL_VERSION_STRING "\(.*\)"/\1/p' "$source/include/kavutil.h")
docdir=$(cached CMAKE_INSTALL_DOCDIR)
docdir=${docdir:-share/doc/kavutil}
for file in include/kavutil.h bin/kav "$mandir/man1/kav.1" etc/pam.d/kavutil \
  "$libdir"/{libkavutil.so,libkavutil.so.1,libkavutil.so.$version,libkavutil.a} \
  "$libdir"/pkgconfig/kavutil.pc \
  "$libdir"/cmake/kavutil/{kavutil-config,kavutil-config-version,kavutil-targets}.cmake \
  "$docdir"/README.md "$docdir"/LICENSE; do
  [ -e "$prefix/$file" ] || fail "not installed: $file"
done
if [ -n "$(cached KAV_DOXYGEN | grep -v NOTFOUND)" ]; then
  bash "$source/scripts/check-reference.sh" "$prefix/$docdir/html" "$source/include/kavutil.h" >/dev/null ||
    fail "the installed reference"
  echo "ok: the reference installed in $docdir/html"
fi
grep -qx "prefix=$prefix" "$prefix/$libdir/pkgconfig/kavutil.pc" ||
  fail "kavutil.pc names [$(grep '^prefix=' "$prefix/$libdir/pkgconfig/kavutil.pc")], not the prefix"
soname=$(objdump -p "$prefix/$libdir/libkavutil.so.1" | awk '$1 == "SONAME" {print $2}')
[ "$soname" = libkavutil.so.1 ] || fail "the SONAME is [$soname]"
echo "ok: installed under a temporary prefix, SONAME $soname"
lib=$prefix/$libdir
run "installed kav" "TWELVE" env LD_LIBRARY_PATH="$lib" "$prefix/bin/kav" spell 12

c_want="kavutil $version: ONE THOUSAND TWO HUNDRED THIRTY FOUR"
export PKG_CONFIG_PATH=$lib/pkgconfig
read -ra flags <<<"$(pkg-config --cflags --libs kavutil)"
quietly "${CC:-cc}" -o "$work/c-shared" "$here/consumer.c" "${flags[@]}"
run "C program, pkg-config" "$c_want" env LD_LIBRARY_PATH="$lib" "$work/c-shared"
read -ra flags <<<"$(pkg-config --static --cflags --libs kavutil)"
quietly "${CC:-cc}" -o "$work/c-static" "$here/consumer.c" "${flags[@]/#-lkavutil/-l:libkavutil.a}"
! ldd "$work/c-static" | grep -q libkavutil || fail "the static program needs libkavutil.so"
run "C program, pkg-config --static" "$c_want" "$work/c-static"

quietly cmake -S "$here/cpp" -B "$work/cpp" -DCMAKE_PREFIX_PATH="$prefix"
quietly cmake --build "$work/cpp"
for program in consumer consumer_static; do
  run "C++ program, find_package ($program)" "kavutil $version: job.ps, TWO THOUSAND SEVEN" \
    "$work/cpp/$program"
done

quietly cmake -S "$here/parent" -B "$work/parent" -DKAVUTIL_SOURCE="$source"
quietly cmake --build "$work/parent" -j "${JOBS:-2}"
tests=$(cd "$work/parent" && ctest -N | sed -n 's/^Total Tests: //p')
[ "$tests" = 1 ] || fail "the parent project has $tests tests: kavutil's own came in"
run "C program, add_subdirectory" "$c_want" "$work/parent/consumer"
