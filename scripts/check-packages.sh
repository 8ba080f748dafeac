#!/usr/bin/env bash
# Checks what "make package" and "make dist-windows" made.  Debian packages: each holds its
# files (dpkg-deb -c), its copyright file and changelog, and its dependencies (dpkg-deb -f);
# lintian finds no error or warning; a program builds against them.  Windows zips: the files
# (README, licence, reference, header, .def, both import libraries), a DLL that is stripped,
# carries the version resource, exports exactly the header's names and loads alone, and
# programs built against the DLL through each import library and statically (run under Wine in
# the win64 build's prefix, BUILD/win64/wineprefix beside BUILD/dist).
# Usage: check-packages.sh PACKAGE...   (.deb or .zip files)
set -euo pipefail
source=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^#define KAVUTIL_VERSION_STRING "\(.*\)"/\1/p' "$source/include/kavutil.h")
arch=$(dpkg --print-architecture) multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# holds LISTING FILE...: each file is in the listing.
holds() {
  local listing=$1 file
  shift
  for file; do grep -qxF "$file" <<<"$listing" || fail "$package lacks $file"; done
}

# control PACKAGE FILE: a file of the package's control part.
control() { dpkg-deb --ctrl-tarfile "$1" | tar -xO "./$2" 2>/dev/null; }

check_deb() {
  local listing depends name
  listing=$(dpkg-deb -c "$package" | awk '{print substr($6, 2)}')
  depends=$(dpkg-deb -f "$package" Depends)
  name=$(dpkg-deb -f "$package" Package)
  holds "$listing" "/usr/share/doc/$name/copyright" "/usr/share/doc/$name/changelog.Debian.gz"
  case $name in
    libkavutil1)
      holds "$listing" /usr/lib/$multiarch/libkavutil.so.1 /usr/lib/$multiarch/libkavutil.so.$version \
        /etc/pam.d/kavutil
      [[ "$depends" == *libc6* && "$depends" == *libstdc++6* ]] || fail "$package depends on [$depends]"
      control "$package" conffiles | grep -qx /etc/pam.d/kavutil ||
        fail "$package: /etc/pam.d/kavutil is not a conffile"
      control "$package" triggers | grep -qx "activate-noawait ldconfig" ||
        fail "$package: no ldconfig trigger"
      [ "$(control "$package" shlibs)" = "libkavutil 1 libkavutil1 (>= $version)" ] ||
        fail "$package: shlibs [$(control "$package" shlibs)]" ;;
    libkavutil-dev)
      holds "$listing" /usr/include/kavutil.h /usr/lib/$multiarch/libkavutil.so \
        /usr/lib/$multiarch/libkavutil.a /usr/lib/$multiarch/pkgconfig/kavutil.pc \
        /usr/lib/$multiarch/cmake/kavutil/kavutil-config.cmake
      [[ "$depends" == *"libkavutil1 (= $version"* ]] || fail "$package depends on [$depends]" ;;
    kavutil-tools)
      holds "$listing" /usr/bin/kav /usr/share/man/man1/kav.1.gz
      [[ "$depends" == *"libkavutil1 (>= $version)"* ]] || fail "$package depends on [$depends]" ;;
    libkavutil-doc)
      holds "$listing" /usr/share/doc/libkavutil-doc/html/index.html ;;
    *) fail "$package: an unknown package" ;;
  esac
  local want=$arch
  [ "$name" != libkavutil-doc ] || want=all
  [ "$(dpkg-deb -f "$package" Architecture)" = "$want" ] || fail "$package: not for $want"
}

# lintian on all the Debian packages together: no error and no warning (each override that
# the packages carry says why in cmake/debian).
check_lintian() {
  local debs=() found
  for package in "$@"; do [[ $package != *.deb ]] || debs+=("$package"); done
  [ ${#debs[@]} -gt 0 ] || return 0
  if ! command -v lintian >/dev/null; then
    fail "lintian is not installed (apt-get install lintian)"
    return
  fi
  found=$(lintian --fail-on none "${debs[@]}" 2>&1 | grep -E '^[EW]: ') || true
  [ -z "$found" ] || fail "lintian: $found"
  echo "checked: lintian finds no error or warning in ${#debs[@]} packages"
}

check_zip() {
  local top tools dll
  top=$(basename "$package" .zip)
  case $top in
    *-win32) tools=i686-w64-mingw32 ;;
    *-win64) tools=x86_64-w64-mingw32 ;;
    *) fail "$package: neither win32 nor win64"; return ;;
  esac
  holds "$(unzip -Z1 "$package")" "$top/bin/kavutil.dll" "$top/bin/kav.exe" \
    "$top/lib/libkavutil.dll.a" "$top/lib/kavutil.lib" "$top/lib/kavutil.def" \
    "$top/lib/libkavutil.a" "$top/include/kavutil.h" "$top/README.md" "$top/LICENSE" \
    "$top/share/doc/kavutil/html/index.html"
  unzip -q -o "$package" -d "$work"
  bash "$source/scripts/check-reference.sh" "$work/$top/share/doc/kavutil/html" \
    "$source/include/kavutil.h" || fail "$package: the reference"
  dll=$work/$top/bin/kavutil.dll
  ! "$tools-objdump" -h "$dll" | grep -q '\.debug_' || fail "$package: the DLL is not stripped"
  "$tools-windres" -i "$dll" -O rc 2>/dev/null | grep -q "\"FileVersion\", \"$version\"" ||
    fail "$package: the DLL has no version resource for $version"
  bash "$source/tests/check_exports.sh" "$source/include/kavutil.h" "$dll" "$tools-objdump" ||
    fail "$package: the DLL's export table"
  consume "$tools" "$work/$top" "$(dirname "$package")/../${top##*-}/wineprefix"
  bash "$source/tests/consumers/msvc_link.sh" "$dll" "$work/$top/lib/kavutil.lib" \
    "$work/$top/include" "$(dirname "$package")/../win64/wineprefix" ||
    fail "$package: a program linked with kavutil.lib"
}

# consume TOOLS DIR WINEPREFIX: the C program built with the unpacked files' pkg-config file,
# against the DLL (run under Wine where it can run) and statically (it must export nothing).
consume() {
  local flags program=$2/bin/consumer
  export PKG_CONFIG_PATH=$2/lib/pkgconfig
  read -ra flags <<<"$(pkg-config --cflags --libs kavutil)"
  "$1-gcc" -o "$program.exe" "$source/tests/consumers/consumer.c" "${flags[@]}" ||
    fail "$package: a program against the DLL"
  read -ra flags <<<"$(pkg-config --static --cflags --libs kavutil)"
  "$1-gcc" -static -o "$program-static.exe" "$source/tests/consumers/consumer.c" \
    "${flags[@]/#-lkavutil/-l:libkavutil.a}" || fail "$package: a program against libkavutil.a"
  bash "$source/tests/check_exports.sh" --none "$program-static.exe" "$1-objdump" ||
    fail "$package: the static program exports names"
  if [ "$1" = x86_64-w64-mingw32 ]; then
    for exe in "$program.exe" "$program-static.exe"; do
      "$source/cmake/wine-run.sh" "$3" "$exe" | grep -q "^kavutil $version: ONE THOUSAND" ||
        fail "$package: $(basename "$exe") under Wine"
    done
  fi
  unset PKG_CONFIG_PATH
}

# The Debian packages unpacked together: kav runs, the pkg-config file names /usr, a C program
# builds with it (the unpacked tree as the system root) and runs, and the reference is whole.
check_unpacked() {
  local root=$work/root lib flags
  lib=$root/usr/lib/$multiarch
  for package in "$@"; do [[ $package != *.deb ]] || dpkg-deb -x "$package" "$root"; done
  [ -d "$root" ] || return 0
  [ "$(LD_LIBRARY_PATH=$lib "$root/usr/bin/kav" spell 12)" = TWELVE ] || fail "the packaged kav"
  grep -qx 'prefix=/usr' "$lib/pkgconfig/kavutil.pc" || fail "kavutil.pc: $(grep prefix= "$lib/pkgconfig/kavutil.pc")"
  read -ra flags <<<"$(PKG_CONFIG_SYSROOT_DIR=$root PKG_CONFIG_LIBDIR=$lib/pkgconfig \
    pkg-config --cflags --libs kavutil)"
  cc -o "$work/consumer" "$source/tests/consumers/consumer.c" -I"$root/usr/include" "${flags[@]}" &&
    LD_LIBRARY_PATH=$lib "$work/consumer" || fail "a program built against the packages"
  if [ -d "$root/usr/share/doc/libkavutil-doc/html" ]; then
    bash "$source/scripts/check-reference.sh" "$root/usr/share/doc/libkavutil-doc/html" \
      "$source/include/kavutil.h" || fail "the packaged reference"
  fi
  echo "checked: kav, a C program (pkg-config) and the reference from the unpacked packages"
}

for package; do
  case $package in
    *.deb) check_deb ;;
    *.zip) check_zip ;;
    *) fail "$package: not a .deb or .zip" ;;
  esac
  echo "checked: $package"
done
check_lintian "$@"
check_unpacked "$@"
[ $failures -eq 0 ]
