#!/usr/bin/env bash
# Checks what "make package" and "make dist-windows" made.  Debian packages: each holds its
# files (dpkg-deb -c) and its dependencies (dpkg-deb -f), and a program builds against them.
# Windows zips: the files, a DLL that is stripped, carries the version resource, exports exactly
# the header's names and loads alone, and a program builds against the DLL and statically (run
# under Wine in the win64 build's prefix, BUILD/win64/wineprefix beside BUILD/dist).
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

check_deb() {
  local listing depends
  listing=$(dpkg-deb -c "$package" | awk '{print substr($6, 2)}')
  depends=$(dpkg-deb -f "$package" Depends)
  case $(dpkg-deb -f "$package" Package) in
    libkavutil1)
      holds "$listing" /usr/lib/$multiarch/libkavutil.so.1 /usr/lib/$multiarch/libkavutil.so.$version \
        /etc/pam.d/kavutil
      [[ "$depends" == *libc6* && "$depends" == *libstdc++6* ]] || fail "$package depends on [$depends]"
      dpkg-deb --ctrl-tarfile "$package" | tar -xO ./conffiles | grep -qx /etc/pam.d/kavutil ||
        fail "$package: /etc/pam.d/kavutil is not a conffile" ;;
    libkavutil-dev)
      holds "$listing" /usr/include/kavutil.h /usr/lib/$multiarch/libkavutil.so \
        /usr/lib/$multiarch/libkavutil.a /usr/lib/$multiarch/pkgconfig/kavutil.pc \
        /usr/lib/$multiarch/cmake/kavutil/kavutil-config.cmake
      [[ "$depends" == *"libkavutil1 (= $version"* ]] || fail "$package depends on [$depends]" ;;
    kavutil-tools)
      holds "$listing" /usr/bin/kav /usr/share/man/man1/kav.1
      [[ "$depends" == *libkavutil1* ]] || fail "$package depends on [$depends]" ;;
    *) fail "$package: an unknown package" ;;
  esac
  [ "$(dpkg-deb -f "$package" Architecture)" = "$arch" ] || fail "$package: not for $arch"
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
    "$top/lib/libkavutil.dll.a" "$top/lib/kavutil.def" "$top/lib/libkavutil.a" \
    "$top/include/kavutil.h"
  unzip -q -o "$package" -d "$work"
  dll=$work/$top/bin/kavutil.dll
  ! "$tools-objdump" -h "$dll" | grep -q '\.debug_' || fail "$package: the DLL is not stripped"
  "$tools-windres" -i "$dll" -O rc 2>/dev/null | grep -q "\"FileVersion\", \"$version\"" ||
    fail "$package: the DLL has no version resource for $version"
  bash "$source/tests/check_exports.sh" "$source/include/kavutil.h" "$dll" "$tools-objdump" ||
    fail "$package: the DLL's export table"
  consume "$tools" "$work/$top" "$(dirname "$package")/../${top##*-}/wineprefix"
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

# The Debian packages unpacked together: kav runs, and a C program builds with their pkg-config
# file (its prefix follows the file) and runs.
check_unpacked() {
  local root=$work/root lib flags
  lib=$root/usr/lib/$multiarch
  for package in "$@"; do [[ $package != *.deb ]] || dpkg-deb -x "$package" "$root"; done
  [ -d "$root" ] || return 0
  [ "$(LD_LIBRARY_PATH=$lib "$root/usr/bin/kav" spell 12)" = TWELVE ] || fail "the packaged kav"
  read -ra flags <<<"$(PKG_CONFIG_PATH=$lib/pkgconfig pkg-config --cflags --libs kavutil)"
  cc -o "$work/consumer" "$source/tests/consumers/consumer.c" "${flags[@]}" &&
    LD_LIBRARY_PATH=$lib "$work/consumer" || fail "a program built against the packages"
  echo "checked: kav and a C program (pkg-config) from the unpacked packages"
}

for package; do
  case $package in
    *.deb) check_deb ;;
    *.zip) check_zip ;;
    *) fail "$package: not a .deb or .zip" ;;
  esac
  echo "checked: $package"
done
check_unpacked "$@"
[ $failures -eq 0 ]
