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
(
  flock 9
  [ -f "$WINEPREFIX/system.reg" ] || wineboot --init >/dev/null 2>&1 || true
) 9>"$WINEPREFIX.lock"
exec wine "$@"
