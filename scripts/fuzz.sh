#!/usr/bin/env bash
# Runs fuzz targets longer than the test command does, one after another, and prints for
# each its executions, coverage (libFuzzer's cov: and ft: figures) and findings; a finding's
# reproducer is kept under build/fuzz/tests/fuzz/findings/TARGET.
#   scripts/fuzz.sh TARGET|all SECONDS      (targets: the fuzz_*.cpp files in tests/fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -ne 2 ]; then
  echo "usage: $0 TARGET|all SECONDS" >&2
  exit 2
fi
if [ "$1" = all ]; then
  targets=$(ls tests/fuzz/fuzz_*.cpp | xargs -n1 basename | sed 's/\.cpp$//')
else
  targets=$1
fi
cmake --preset fuzz >/dev/null
# shellcheck disable=SC2086
cmake --build --preset fuzz --target $targets >/dev/null
status=0
for target in $targets; do
  tests/fuzz/run-fuzzer.sh "build/fuzz/tests/fuzz/$target" "tests/fuzz/corpus/$target" "$2" \
    "build/fuzz/tests/fuzz/findings/$target" || status=1
done
exit $status
