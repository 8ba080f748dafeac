#!/usr/bin/env bash
# Checks that a Windows DLL loads on the oldest Windows it is for: every function its import
# table names must be listed in LIST (tests/windows_imports.txt) under its DLL, with a minimum
# Windows that is not newer than MINIMUM.  Names are compared exactly, DLL names without regard
# to case; an import by ordinal alone is refused (nothing can say which function it is).
# Usage: check_imports.sh DLL OBJDUMP LIST MINIMUM     (MINIMUM such as XP)
set -eu
dll=$1 objdump=$2 list=$3 minimum=$4
versions=(95 NT4 2000 XP 2003 Vista 7 8 10)

rank() {
  local i
  for i in "${!versions[@]}"; do
    [ "${versions[$i]}" = "$1" ] && { echo "$i"; return; }
  done
  echo "unknown Windows version '$1' in $list" >&2
  exit 2
}
limit=$(rank "$minimum")

# "dll function" for each import: the rows of a DLL's table follow its "DLL Name:" line as
# "vma hint name"; an import by ordinal shows "<none>" in place of the hint.
imports=$("$objdump" -p "$dll" | awk '
  /DLL Name:/ { name = tolower($3); next }
  /^[[:space:]]*$/ { name = "" }
  name != "" && $1 ~ /^[0-9a-f]+$/ && NF >= 3 && $2 != "Hint/Ord" { print name, $3 }
  name != "" && $2 == "<none>" { print name, "(ordinal " $3 ")" }' | sort -u)
[ -n "$imports" ] || { echo "no import table found in $dll"; exit 1; }

declare -A listed
while read -r library function version; do
  case "$library" in '' | '#'*) continue ;; esac
  listed["${library,,} $function"]=$version
done <"$list"

status=0 count=0
while read -r library function; do
  count=$((count + 1))
  version=${listed["$library $function"]:-}
  if [ -z "$version" ]; then
    echo "not in $list: $library $function"
    status=1
  elif [ "$(rank "$version")" -gt "$limit" ]; then
    echo "needs Windows $version: $library $function"
    status=1
  fi
done <<<"$imports"
if [ $status -eq 0 ]; then
  echo "$count imports, each exported by Windows $minimum or older: $dll"
fi
exit $status
