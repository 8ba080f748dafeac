#!/usr/bin/env bash
# Runs the test suites of "make test" one after another, each as a make target, going on after
# a suite fails, and ends with one table of them all (suite, passed, failed, skipped, minutes)
# whose last line is the total: "kavutil: N passed, M failed, K skipped".  Exit status 1 when
# anything failed.
#
# Usage: run-suites.sh BUILD-DIR SUITE=TARGET [SUITE=TARGET...]
#
# A suite's counts come from its log: CTest's "N% tests passed, F tests failed out of T" (each
# build folder's run adds one), its "(Skipped)" tests, or a suite's own closing line
# "... N passed, M failed[, K skipped]".  A suite that says "SKIPPED: <suite>: <reason>" and
# passes counts one skip per such line; a suite whose target fails without any count fails once.
set -u
build=$1
shift
logs=$build/suites
mkdir -p "$logs"
rm -f "$logs"/*.log
make_cmd=${MAKE:-make}
rows=() total_passed=0 total_failed=0 total_skipped=0 any_failed=0

# count LOG STATUS: prints "passed failed skipped" for one suite's log and make status.
count() {
  local log=$1 status=$2 passed=0 failed=0 skipped=0 line total bad found=0
  while IFS= read -r line; do
    total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
    bad=$(sed -E 's/.*passed, ([0-9]+) tests failed.*/\1/' <<<"$line")
    passed=$((passed + total - bad)) failed=$((failed + bad)) found=1
  done < <(grep -aE '[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log")
  if [ $found -eq 1 ]; then
    skipped=$(grep -acE '\(Skipped\)$' "$log")
    passed=$((passed - skipped))
  else
    line=$(grep -aE '(^|[ :])[0-9]+ passed, [0-9]+ failed(, [0-9]+ skipped)?$' "$log" | tail -1)
    if [ -n "$line" ]; then
      passed=$(grep -oE '[0-9]+ passed' <<<"$line" | grep -oE '[0-9]+')
      failed=$(grep -oE '[0-9]+ failed' <<<"$line" | grep -oE '[0-9]+')
      skipped=$(grep -oE '[0-9]+ skipped' <<<"$line" | grep -oE '[0-9]+' || echo 0)
      found=1
    fi
  fi
  skipped=$((skipped + $(grep -acE '^SKIPPED: ' "$log")))
  if [ "$status" -ne 0 ] && [ "$failed" -eq 0 ]; then
    failed=1 # the target failed (a build, a lint, a fuzzer) beyond what it counted
  elif [ $found -eq 0 ] && [ "$status" -eq 0 ] && [ "$skipped" -eq 0 ]; then
    passed=1
  fi
  echo "$passed $failed $skipped"
}

for pair in "$@"; do
  suite=${pair%%=*} target=${pair#*=}
  log=$logs/$suite.log
  echo "=== $suite (make $target)"
  start=$(date +%s)
  $make_cmd --no-print-directory "$target" 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  seconds=$(($(date +%s) - start))
  read -r passed failed skipped < <(count "$log" "$status")
  [ "$failed" -eq 0 ] || any_failed=1
  total_passed=$((total_passed + passed)) total_failed=$((total_failed + failed))
  total_skipped=$((total_skipped + skipped))
  rows+=("$(printf '%-13s %7d %7d %8d %8s' "$suite" "$passed" "$failed" "$skipped" \
    "$(awk -v s="$seconds" 'BEGIN { printf "%.1f", s / 60 }')")")
  echo "=== $suite: $passed passed, $failed failed, $skipped skipped (log: $log)"
done

echo
grep -ahE '^SKIPPED: ' "$logs"/*.log 2>/dev/null | sort -u
printf '%-13s %7s %7s %8s %8s\n' suite passed failed skipped minutes
printf '%s\n' "${rows[@]}"
echo "kavutil: $total_passed passed, $total_failed failed, $total_skipped skipped"
exit $any_failed
