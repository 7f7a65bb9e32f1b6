#!/bin/sh
# A long fuzzing campaign: every fuzz target of a fuzz build tree runs for the
# given seconds on its corpus, at most jobs of them at a time; then what it
# found that reaches code the kept corpus does not is merged into
# tests/fuzz/corpus/<target>, to be committed. Inputs that fail are left in
# <tree>/long/ and make the campaign fail.
# Usage: fuzz-long.sh <fuzz build tree> [seconds per target] [jobs] [targets...]
set -eu

tree=$1
seconds=${2:-600}
jobs=${3:-1}
[ $# -ge 3 ] && shift 3 || shift $#
source=$(cd "$(dirname "$0")/.." && pwd)
bin=$tree/tests/fuzz
work=$tree/long
mkdir -p "$work"

targets="$*"
if [ -z "$targets" ]; then
  for b in "$bin"/fuzz_*; do
    [ -x "$b" ] && targets="$targets $(basename "$b")"
  done
fi

campaign() {
  name=$1
  corpus=${name#fuzz_}
  mkdir -p "$work/$corpus" "$source/tests/fuzz/corpus/$corpus"
  "$bin/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/$name-" "$work/$corpus" "$source/tests/fuzz/corpus/$corpus" \
    >"$work/$name.log" 2>&1 || true
}

running=0
for name in $targets; do
  campaign "$name" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait
    running=0
  fi
done
wait

failed=0
for name in $targets; do
  corpus=${name#fuzz_}
  kept=$source/tests/fuzz/corpus/$corpus
  before=$(ls "$kept" | wc -l)
  "$bin/$name" -merge=1 "$kept" "$work/$corpus" >"$work/$name.merge.log" 2>&1 || true
  after=$(ls "$kept" | wc -l)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$name.log")
  took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$work/$name.log")
  crashes=$(ls "$work" | grep -c "^$name-" || true)
  t=${took:-0}
  [ "$t" -gt 0 ] || t=1
  echo "$name: ${runs:-0} runs in ${took:-?} s ($(( ${runs:-0} / t )) a second), corpus $before -> $after, failing inputs: $crashes"
  [ "$crashes" -eq 0 ] || failed=1
done
[ "$failed" -eq 0 ] || echo "failing inputs are in $work (see the logs there)"
exit "$failed"
