#!/usr/bin/env bash
# Runs one fuzz target for a fixed time from its seed corpus and prints one summary line:
# executions, coverage (libFuzzer's cov: edges and ft: features), the corpus it grew and the
# findings. It runs on a copy of the seeds in a temporary directory, where the new inputs go,
# so the committed seeds stay as they are. A finding (crash, broken invariant, leak, hang,
# oversized allocation) is kept in FINDINGS and ends the run with libFuzzer's non-zero exit
# code.
#   run-fuzzer.sh BINARY SEED_DIR SECONDS FINDINGS_DIR
set -uo pipefail
binary=$1 seeds=$2 seconds=$3 findings=$4
name=$(basename "$binary")
work=$(mktemp -d "${TMPDIR:-/tmp}/vkr-$name.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$findings"
cp "$seeds"/* "$work/corpus/"
seeded=$(find "$work/corpus" -type f | wc -l)
touch "$work/started"
log="$work/log"

# A damaged input must never make a reader ask for much memory: nothing here needs more than
# a few megabytes at once. The entropic schedule and the listing of newly covered functions
# cost the generator's targets (thousands of features, a symbolizer call per function) most
# of their executions.
"$binary" -max_total_time="$seconds" -timeout=10 -malloc_limit_mb=64 -rss_limit_mb=1024 \
  -print_final_stats=1 -print_funcs=0 -entropic=0 -artifact_prefix="$findings/" "$work/corpus" >"$log" 2>&1
status=$?

executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
coverage=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -n 1)
grown=$(( $(find "$work/corpus" -type f | wc -l) - seeded ))
found=$(find "$findings" -type f -newer "$work/started" | wc -l)
echo "$name: ${executions:-0} executions in ${seconds} s, ${coverage:-cov: ? ft: ?}, $grown new corpus inputs, $found findings (exit $status)"
if [ "$status" -ne 0 ]; then
  # The report: what broke and where, with the reproducer's name.
  grep -E 'ERROR|invariant broken|SUMMARY|Test unit written|^ *#[0-9]+ 0x' "$log" | head -n 40
  find "$findings" -type f -newer "$work/started" | sed 's/^/reproducer: /'
fi
exit "$status"
