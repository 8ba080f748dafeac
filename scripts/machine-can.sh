#!/usr/bin/env bash
# Tells whether this machine can do one thing the test run needs, by trying it: nothing here
# looks at installed packages, since a package can install and still not run (a kernel without
# 32-bit execution takes wine32:i386 and g++-multilib, then cannot start what they make).
#
# Usage: machine-can.sh WHAT [WINEPREFIX]
#   m32     build and run a trivial 32-bit x86 Linux program (gcc -m32)
#   wine32  start a trivial i686 Windows program with the 32-bit Wine loader, in WINEPREFIX
#   wine64  start a trivial x86-64 Windows program with the 64-bit Wine loader, in WINEPREFIX
#
# Exit status 0 when it can; otherwise 1, with the reason as the one line on standard output.
# KAV_NO_32BIT=1 in the environment makes m32 and wine32 answer as on a machine that cannot
# run 32-bit code, so that the run without them is tried on any machine.
set -u
what=${1:?usage: machine-can.sh m32|wine32|wine64 [WINEPREFIX]}
prefix=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cannot() {
  echo "$*"
  exit 1
}

# says_ok PROGRAM [RUNNER...]: the program prints "ok"; a loader that starts nothing (a 64-bit-only
# Wine given a 32-bit program exits 0 without running it) does not pass.
says_ok() {
  local out
  out=$(timeout 120 "$@" 2>"$scratch/err" | tr -d '\r') && [ "$out" = ok ]
}

# first_line FILE: the first non-empty line of a file, for a reason.
first_line() { grep -m1 -v '^[[:space:]]*$' "$1" | cut -c1-160; }

probe_source() { printf '#include <stdio.h>\nint main(void) { puts("ok"); return 0; }\n' >"$scratch/p.c"; }

case $what in
  m32)
    [ "${KAV_NO_32BIT:-0}" = 1 ] && cannot "KAV_NO_32BIT=1 says this machine runs no 32-bit code"
    probe_source
    gcc -m32 -o "$scratch/p" "$scratch/p.c" 2>"$scratch/err" ||
      cannot "gcc -m32 cannot build a program ($(first_line "$scratch/err"))"
    says_ok "$scratch/p" || cannot "a 32-bit x86 program does not run ($(first_line "$scratch/err"))"
    ;;
  wine32 | wine64)
    if [ "$what" = wine32 ]; then
      [ "${KAV_NO_32BIT:-0}" = 1 ] && cannot "KAV_NO_32BIT=1 says this machine runs no 32-bit code"
      compiler=i686-w64-mingw32-gcc loader=/usr/lib/wine/wine
    else
      compiler=x86_64-w64-mingw32-gcc loader=/usr/lib/wine/wine64
    fi
    [ -x "$loader" ] || cannot "no Wine loader $loader"
    probe_source
    "$compiler" -o "$scratch/p.exe" "$scratch/p.c" 2>"$scratch/err" ||
      cannot "$compiler cannot build a program ($(first_line "$scratch/err"))"
    [ -n "$prefix" ] || prefix=$scratch/wineprefix
    says_ok "$here/../cmake/wine-run.sh" "$prefix" "$scratch/p.exe" ||
      cannot "Wine's loader $loader does not start a program ($(first_line "$scratch/err"))"
    ;;
  *)
    cannot "machine-can.sh: unknown probe $what"
    ;;
esac
exit 0
