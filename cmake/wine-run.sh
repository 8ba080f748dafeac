#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine, in the build's own
# Wine prefix, quietly.  Usage: wine-run.sh PREFIX-DIR PROGRAM [ARGS...]
set -eu
export WINEPREFIX="$1"
shift
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot --init >/dev/null 2>&1 || true
fi
exec wine "$@"
