#!/usr/bin/env bash
# Sets the Windows version that Wine reports to single programs of a prefix, through
# HKCU\Software\Wine\AppDefaults\<program>\Version.
# Usage: wine_app_version.sh WINE-RUN PREFIX PROGRAM VERSION [PROGRAM VERSION...]
set -eu
run=$1 prefix=$2
shift 2
while [ $# -ge 2 ]; do
  "$run" "$prefix" reg add "HKCU\\Software\\Wine\\AppDefaults\\$1" /v Version /d "$2" /f >/dev/null
  shift 2
done
