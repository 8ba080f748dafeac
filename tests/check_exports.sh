#!/usr/bin/env bash
# Compares the names a built library exports with the names the public
# header declares (lines starting with KAV_API or KAV_DATA): both sets must be
# equal.  A DLL must also load with nothing beside it: it may import only
# Windows' own DLLs, never a mingw runtime (libstdc++, libgcc, libwinpthread).  Usage: check_exports.sh HEADER LIBRARY TOOL
#   TOOL is nm for an ELF shared object, objdump for a Windows DLL.
# With --none for HEADER, LIBRARY is a Windows program linked with the static library, which
# must export nothing.
set -eu
header=$1 library=$2 tool=$3

# The export table lists "[ordinal] name" lines after its name-pointer header.
pe_exports() {
  "$tool" -p "$1" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -nE 's/^[[:space:]]*\[[[:space:]]*[0-9]+\][[:space:]]+([^[:space:]]+).*/\1/p' | sort -u
}
if [ "$header" = --none ]; then
  exported=$(pe_exports "$library")
  [ -z "$exported" ] && { echo "exports nothing: $library"; exit 0; }
  echo "$library exports $(wc -l <<<"$exported") names:"; echo "$exported"; exit 1
fi

declared=$(grep -E '^KAV_(API|DATA)\b' "$header" |
  sed -E 's/\(.*//; s/[;[].*//; s/.*[ *]([A-Za-z_][A-Za-z0-9_]*)[[:space:]]*$/\1/' | sort -u)

case "$library" in
  *.dll) exported=$(pe_exports "$library") ;;
  *)
    exported=$("$tool" -D --defined-only --format=posix "$library" |
      awk '{print $1}' | grep -vE '^(_init|_fini|_edata|_end|__bss_start)$' | sort -u) ;;
esac

[ -n "$declared" ] || { echo "no declarations found in $header"; exit 1; }
missing=$(comm -23 <(echo "$declared") <(echo "$exported"))
extra=$(comm -13 <(echo "$declared") <(echo "$exported"))
status=0
if [ -n "$missing" ]; then echo "declared but not exported:"; echo "$missing"; status=1; fi
if [ -n "$extra" ]; then echo "exported but not declared:"; echo "$extra"; status=1; fi
if [[ "$library" == *.dll ]]; then
  runtime=$("$tool" -p "$library" | sed -nE 's/^[[:space:]]*DLL Name: (lib.*)/\1/p')
  if [ -n "$runtime" ]; then echo "imports runtime DLLs:"; echo "$runtime"; status=1; fi
fi
if [ $status -eq 0 ]; then
  echo "$(echo "$declared" | wc -l) names exported, equal to the header's declarations: $library"
fi
exit $status
