#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a long while, a few at a time, and writes a
# Markdown summary: per target the runs, the coverage (edges) and features reached, the corpus
# size, and what it found.  Usage: fuzz-long.sh BUILD-DIR SECONDS PARALLEL
#
# Each target starts from its seed corpus (fuzz/corpus/<name>) and keeps what it adds in
# BUILD-DIR/long-corpus/<name>, so a later run goes on from there.  A crash, leak, sanitizer
# report or an input slower than 25 s ends that target's run; its input is kept under
# BUILD-DIR/artifacts/.  The exit status is 1 when any target found something.
set -u
build=$1 seconds=$2 parallel=$3
logs=$build/long-logs
mkdir -p "$logs" "$build/artifacts"

run_one() {
  local target=$1 name=${1##*/fuzz_}
  local corpus=$build/long-corpus/$name
  mkdir -p "$corpus"
  local seeds=()
  [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
  "$target" -max_total_time="$seconds" -timeout=25 -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$name-" "$corpus" "${seeds[@]}" >"$logs/$name.log" 2>&1
  echo $? >"$logs/$name.status"
}

# One summary row from a target's log.
summarize() {
  local name=$1 log=$logs/$1.log
  local runs cov ft corpus found
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  local last
  last=$(grep -E '^#[0-9]+.*cov: [0-9]+' "$log" | tail -1)
  [ -n "$runs" ] || runs=$(sed -E -n 's/^#([0-9]+).*/\1/p' <<<"$last")
  cov=$(sed -E -n 's/.*cov: ([0-9]+).*/\1/p' <<<"$last")
  ft=$(sed -E -n 's/.*ft: ([0-9]+).*/\1/p' <<<"$last")
  corpus=$(sed -E -n 's/.*corp: ([0-9]+).*/\1/p' <<<"$last")
  if [ "$(cat "$logs/$name.status")" = 0 ]; then
    found=none
  else
    found=$(grep -m1 -E '^(==[0-9]+== *ERROR|SUMMARY)' "$log" | sed 's/^==[0-9]*== *//')
    found="${found:-exit status $(cat "$logs/$name.status")} ($(grep -o "$build/artifacts/[^ ]*" "$log" | tail -1))"
  fi
  echo "| fuzz_$name | ${runs:-?} | ${cov:-?} | ${ft:-?} | ${corpus:-?} | $found |"
}

targets=("$build"/bin/fuzz_*)
for target in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n; done
  echo "== ${target##*/} ($seconds s)"
  run_one "$target" &
done
wait

summary=$build/fuzz-long.md
{
  echo "Long fuzzing run of $(date -u '+%Y-%m-%d'), $seconds s per target, $parallel at a time:"
  echo
  echo "| Target | Runs | Coverage (edges) | Features | Corpus | Found |"
  echo "|---|---|---|---|---|---|"
  for target in "${targets[@]}"; do summarize "${target##*/fuzz_}"; done
} >"$summary"
cat "$summary"
! grep -qv '^0$' "$logs"/*.status
