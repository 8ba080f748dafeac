#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine, in the build's own
# Wine prefix, quietly.  Usage: wine-run.sh PREFIX-DIR PROGRAM [ARGS...]
#
# The loader is chosen by the program's own machine type: /usr/lib/wine/wine64 for an x86-64
# program, /usr/lib/wine/wine for an i686 one.  Debian's "wine" wrapper takes the 32-bit loader
# whenever wine32 is installed, so on a kernel that cannot execute 32-bit code it would fail
# even for 64-bit programs; this script never goes through it.  A PROGRAM that is not a file
# (a built-in such as "reg") runs with the 64-bit loader where there is one.
#
# A 64-bit-only Wine "runs" a 32-bit program by doing nothing and exiting 0, so a 32-bit
# program without the 32-bit loader, or with KAV_NO_32BIT=1, is refused here, never passed.
set -eu
export WINEPREFIX="$(realpath -m "$1")"
shift
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine32=/usr/lib/wine/wine wine64=/usr/lib/wine/wine64

# pe_machine FILE: the PE header's machine field in hex (014c i686, 8664 x86-64), or nothing.
pe_machine() {
  local pe
  [ -f "$1" ] || return 0
  pe=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$pe" ] || return 0
  od -An -tx2 -j$((pe + 4)) -N2 "$1" 2>/dev/null | tr -d ' '
}

loader=$wine64
[ -x "$wine64" ] || loader=$wine32
if [ "$(pe_machine "$1")" = 014c ]; then
  if [ "${KAV_NO_32BIT:-0}" = 1 ]; then
    echo "wine-run: $1 is a 32-bit program and KAV_NO_32BIT=1 says none can run here" >&2
    exit 1
  fi
  if [ ! -x "$wine32" ]; then
    echo "wine-run: $1 is a 32-bit program and 32-bit Wine (wine32:i386) is not installed" >&2
    exit 1
  fi
  loader=$wine32
fi
[ -x "$loader" ] || { echo "wine-run: Wine is not installed" >&2; exit 1; }
# Wine starts further processes of the same kind through WINELOADER.
export WINELOADER=$loader

mkdir -p "$WINEPREFIX"
# One server for a whole test run: it stays 60 s after its last program ends (Wine's default is
# 3 s), so that a program of the next test does not connect to a server that is shutting down
# (the client then fails with "recvmsg: Connection reset by peer").  Exit status 2: one runs.
# Neither the server nor wineboot may inherit the lock's descriptor: a server holding it would
# keep every later run waiting until it exits.  The prefix is made by the 64-bit loader where
# there is one (a 64-bit prefix runs 32-bit programs too).
(
  flock 9
  wineserver -p60 9>&- >/dev/null 2>&1 || true
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    boot=$wine64
    [ -x "$boot" ] || boot=$wine32
    WINELOADER=$boot "$boot" wineboot --init 9>&- >/dev/null 2>&1 || true
  fi
) 9>"$WINEPREFIX.lock"
exec "$loader" "$@"
