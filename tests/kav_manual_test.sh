#!/usr/bin/env bash
# kav(1) and the tool's help say the same: docs/kav.1 must be what kav_manual makes from
# docs/kav.1.in and the command table, and groff must read it without a warning.
# Usage: kav_manual_test.sh KAV_MANUAL SOURCE-DIR
set -u
page=$(mktemp)
trap 'rm -f "$page"' EXIT
"$1" "$2/docs/kav.1.in" >"$page" || { echo "FAIL: kav_manual"; exit 1; }
if ! diff -u "$2/docs/kav.1" "$page"; then
  echo "FAIL: docs/kav.1 differs from the help texts (cmake --build BUILD --target manual)"
  exit 1
fi
if command -v groff >/dev/null; then
  warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
  [ -z "$warnings" ] || { echo "FAIL: groff: $warnings"; exit 1; }
fi
echo "kav(1) matches the help texts"
