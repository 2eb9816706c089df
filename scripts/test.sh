#!/usr/bin/env bash
# Sets up, builds both builds and runs every test: the host suites (ctest),
# the Wine suites over the real PE files, the host suites under the
# sanitizers, and a short pass of each fuzz target. Closes with one line
# that totals them.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh || exit 1
scripts/build.sh || exit 1

logs=build/test-logs
mkdir -p "$logs"
passed=0
failed=0
skipped=0

# step NAME COMMAND...: runs a step, shows and keeps its output.
step() {
  local name=$1
  shift
  echo "== $name"
  "$@" 2>&1 | tee "$logs/$name.log"
  return "${PIPESTATUS[0]}"
}

# Adds a ctest log's "N tests failed out of M" to the totals.
count_ctest() {
  local line
  line=$(grep -oE '[0-9]+ tests failed out of [0-9]+' "$logs/$1.log" | tail -n 1)
  if [ -z "$line" ]; then failed=$((failed + 1)); return; fi
  local bad total
  bad=$(echo "$line" | awk '{print $1}')
  total=$(echo "$line" | awk '{print $NF}')
  local notrun
  notrun=$(grep -cE '^\s+[0-9]+ - .*\(Skipped\)$' "$logs/$1.log")
  passed=$((passed + total - bad - notrun))
  failed=$((failed + bad))
  skipped=$((skipped + notrun))
}

step host-suites bash -c 'cd build/host && ctest --output-on-failure -j"$(nproc)"'
status=$?
count_ctest host-suites
[ "$status" -ne 0 ] && [ "$failed" -eq 0 ] && failed=1

step wine-suites tests/wine/run.sh
status=$?
line=$(grep -E '^wine: [0-9]+ passed, [0-9]+ failed$' "$logs/wine-suites.log" | tail -n 1)
if [ -n "$line" ]; then
  passed=$((passed + $(echo "$line" | awk '{print $2}')))
  failed=$((failed + $(echo "$line" | awk '{print $4}')))
fi
[ "$status" -ne 0 ] && [ -z "$line" ] && failed=$((failed + 1))

before=$failed
step sanitizers scripts/sanitize.sh
status=$?
count_ctest sanitizers
[ "$status" -ne 0 ] && [ "$failed" -eq "$before" ] && failed=$((failed + 1))

# Each fuzz target counts as one test: it passes when its run found nothing.
step fuzz scripts/fuzz.sh "${TAV_FUZZ_SECONDS:-20}"
status=$?
targets=$(ls build/fuzz/*_fuzz 2>/dev/null | wc -l)
if [ "$status" -eq 0 ]; then
  passed=$((passed + targets))
else
  failed=$((failed + 1))
  passed=$((passed + (targets > 0 ? targets - 1 : 0)))
fi

if [ "$failed" -ne 0 ]; then echo "TESTS FAILED"; else echo "ALL TESTS PASSED"; fi
echo "total: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
