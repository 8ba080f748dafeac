#!/usr/bin/env bash
# Installs the Debian packages that building and testing kavutil need, when
# some are missing.  As root it runs apt-get; otherwise it prints the exact
# apt-get line and fails.  32-bit Wine (wine32:i386) is wanted but optional:
# Debian mirrors sometimes lag on i386, and then only the tests of the 32-bit
# build under Wine are skipped.
set -u

packages=(
  cmake make g++ git
  googletest libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format cppcheck
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64
  libpam0g-dev libgs10 libmariadb3 mariadb-server
  g++-multilib pkg-config doxygen zip unzip dpkg-dev
  groff-base lintian llvm lld
  libglib2.0-dev
  libicu-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
want_wine32=0
dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed' || want_wine32=1

export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages; as root run:"
    echo "  apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
    exit 1
  fi
  echo "installing: ${missing[*]}"
  apt-get update -q >/dev/null 2>&1 || echo "apt-get update reported errors; going on with the indexes it has"
  apt-get install -y -q --no-install-recommends "${missing[@]}" >/tmp/kavutil-apt.log 2>&1 || {
    tail -20 /tmp/kavutil-apt.log
    echo "apt-get install failed (full log: /tmp/kavutil-apt.log)"
    exit 1
  }
fi

if [ $want_wine32 -eq 1 ] && [ "$(id -u)" -eq 0 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -q >/dev/null 2>&1
  if apt-get install -y -q --no-install-recommends wine32:i386 >/tmp/kavutil-apt-wine32.log 2>&1; then
    echo "installed 32-bit Wine"
  else
    echo "note: 32-bit Wine (wine32:i386) could not be installed today; the 32-bit build's tests will be skipped"
  fi
fi
exit 0
