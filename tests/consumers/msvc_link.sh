#!/usr/bin/env bash
# Links msvc_consumer.c against an unpacked Windows package's kavutil.lib (the import library in
# Microsoft's format) with clang --target=<arch>-pc-windows-msvc and lld-link, the tools Debian
# has for Microsoft's toolchain, and runs it beside the package's DLL under Wine: the exit code
# must be the check digit 2 and the log file must hold the amount in words.
# Usage: msvc_link.sh DLL IMPORT-LIBRARY INCLUDE-DIR WINEPREFIX
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dll=$1 implib=$2 include=$3 prefix=$4
fail() { echo "FAIL: $*"; exit 1; }
for tool in clang lld-link; do
  command -v $tool >/dev/null || fail "$tool is not installed (apt-get install clang lld)"
done
case $(od -An -tx2 -j$(( $(od -An -tu4 -j60 -N4 "$dll" | tr -d ' ') + 4 )) -N2 "$dll" | tr -d ' ') in
  8664) arch=x86_64 mingw=x86_64-w64-mingw32 ;;
  014c) arch=i686 mingw=i686-w64-mingw32 ;;
  *) fail "$dll is neither an x86-64 nor an i686 DLL" ;;
esac
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The header needs <stdio.h> for FILE only: mingw-w64's headers serve.
clang --target=$arch-pc-windows-msvc -O1 -c -I"$include" -isystem "/usr/$mingw/include" \
  -o "$work/msvc_consumer.obj" "$here/msvc_consumer.c" || fail "compiling for $arch-windows-msvc"
lld-link /nologo /entry:mainCRTStartup /subsystem:console /nodefaultlib \
  "/out:$work/msvc_consumer.exe" "$work/msvc_consumer.obj" "$implib" || fail "linking with $implib"
if [ $arch = i686 ] && ! reason=$(bash "$here/../../scripts/machine-can.sh" wine32 "$prefix"); then
  echo "linked with $implib; SKIPPED: running it under 32-bit Wine: $reason"
  exit 0
fi
cp "$dll" "$work/kavutil.dll"
rc=0
(cd "$work" && LOGFILE=log.txt "$here/../../cmake/wine-run.sh" "$prefix" ./msvc_consumer.exe) || rc=$?
[ $rc -eq 2 ] || fail "msvc_consumer.exe ($arch) exited with $rc, not 2"
grep -q " 7 ONE THOUSAND TWO HUNDRED THIRTY FOUR" "$work/log.txt" ||
  fail "msvc_consumer.exe ($arch) logged [$(cat "$work/log.txt" 2>/dev/null)]"
echo "linked with $implib (lld-link) and ran under Wine ($arch)"
