#!/usr/bin/env bash
# Adds up the CTest results of the given build folders into one closing line.
passed=0 failed=0
for dir in "$@"; do
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$dir/ctest.out" 2>/dev/null | tail -1)
  [ -n "$line" ] || continue
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  bad=$(sed -E 's/.*passed, ([0-9]+) tests failed.*/\1/' <<<"$line")
  printf '%-12s %s\n' "$(basename "$dir"):" "$line"
  passed=$((passed + total - bad))
  failed=$((failed + bad))
done
echo "kavutil: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
