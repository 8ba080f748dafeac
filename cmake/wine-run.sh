#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine, in the build's own
# Wine prefix, quietly.  Usage: wine-run.sh PREFIX-DIR PROGRAM [ARGS...]
#
# A 64-bit-only Wine "runs" a 32-bit program by doing nothing and exiting 0,
# so a 32-bit program without 32-bit Wine is refused here, never passed.
set -eu
export WINEPREFIX="$(realpath -m "$1")"
shift
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

pe_machine() {
  local pe
  pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  od -An -tx2 -j$((pe + 4)) -N2 "$1" | tr -d ' '
}

if [ "$(pe_machine "$1")" = 014c ] && [ ! -x /usr/lib/wine/wine ]; then
  echo "wine-run: $1 is a 32-bit program and 32-bit Wine (wine32:i386) is not installed" >&2
  exit 1
fi

mkdir -p "$WINEPREFIX"
# One server for a whole test run: it stays 60 s after its last program ends (Wine's default is
# 3 s), so that a program of the next test does not connect to a server that is shutting down
# (the client then fails with "recvmsg: Connection reset by peer").  Exit status 2: one runs.
# Neither the server nor wineboot may inherit the lock's descriptor: a server holding it would
# keep every later run waiting until it exits.
(
  flock 9
  wineserver -p60 9>&- >/dev/null 2>&1 || true
  [ -f "$WINEPREFIX/system.reg" ] || wineboot --init 9>&- >/dev/null 2>&1 || true
) 9>"$WINEPREFIX.lock"
exec wine "$@"
