#!/usr/bin/env bash
# Checks a built HTML reference: a front page with content, a search, the porting guide, and a
# section of its own (an anchor to link to) for every name the header exports.
# Usage: check-reference.sh HTML-DIR HEADER
set -euo pipefail
html=$1 header=$2
failures=0
fail() { echo "FAIL: reference in $html: $*"; failures=$((failures + 1)); }

grep -q 'kavutil reference' "$html/index.html" 2>/dev/null || fail "index.html has no front page"
[ -f "$html/search/search.js" ] || fail "no search"
compgen -G "$html/*porting*.html" >/dev/null || fail "no porting guide"
declared=$(grep -E '^KAV_(API|DATA)\b' "$header" |
  sed -E 's/\(.*//; s/[;[].*//; s/.*[ *]([A-Za-z_][A-Za-z0-9_]*)[[:space:]]*$/\1/' | sort -u)
titled=$(cat "$html"/group__*.html |
  sed -nE 's/.*<h2 class="memtitle">.*<\/span>([A-Za-z_][A-Za-z0-9_]*)(\(\))?.*<\/h2>.*/\1/p' | sort -u)
missing=$(comm -23 <(echo "$declared") <(echo "$titled"))
[ -z "$missing" ] || fail "exports without a section: $(tr '\n' ' ' <<<"$missing")"
[ $failures -eq 0 ] && echo "reference: $(wc -l <<<"$declared") exports, each with its section; front page, search"
[ $failures -eq 0 ]
