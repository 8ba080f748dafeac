#!/usr/bin/env bash
# Fails when a file includes from a floor above its own.  The floors, from the bottom:
#   include/   the public header
#   base/      helpers of every floor (ASCII classes, the boundary guard): no OS, no family
#   platform/  the only code that talks to the OS, and the POSIX reproductions of Windows services
#   the families: text/ containers/ config/ files/ system/ console/ cheque/
#   tools/ tests/ bench/ fuzz/: may include anything
# A file may include its own floor and the floors below; the families may include each other.
# Usage: check-floors.sh [SOURCE-DIR]
set -u
cd "${1:-.}" || exit 2
floor_of() {
  case $1 in
    include/*) echo 0 ;;
    base/*) echo 1 ;;
    platform/*) echo 2 ;;
    text/* | containers/* | config/* | files/* | system/* | console/* | cheque/*) echo 3 ;;
    *) echo 4 ;;
  esac
}
bad=0
while IFS= read -r file; do
  own=$(floor_of "$file")
  [ "$own" -lt 4 ] || continue
  while IFS=: read -r line included; do
    [ -n "$included" ] || continue
    # A name without a folder is the public header or a neighbour in the same folder.
    case $included in */*) ;; *) continue ;; esac
    if [ "$(floor_of "$included")" -gt "$own" ]; then
      echo "$file:$line: includes \"$included\" from a floor above its own"
      bad=$((bad + 1))
    fi
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
    sed -E 's/^([0-9]+):[^"]*"([^"]*)".*/\1:\2/')
done < <(git ls-files '*.c' '*.cpp' '*.h' 2>/dev/null || find . -name '*.[ch]' -o -name '*.cpp')
if [ $bad -gt 0 ]; then
  echo "check-floors: $bad upward includes (floors: scripts/check-floors.sh, platform/README.md)"
  exit 1
fi
echo "check-floors: no file includes from above its floor"
