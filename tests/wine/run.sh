#!/usr/bin/env bash
# Runs every Wine test group (tests/wine/*_test.sh), each in a prefix of
# its own and under a time limit, and totals their "N passed, N failed" lines.
set -u
cd "$(dirname "$0")/../.."
logs=build/wine-logs
mkdir -p "$logs"
total_passed=0
total_failed=0
for group in tests/wine/*_test.sh; do
  [ -e "$group" ] || continue
  name=$(basename "$group" .sh)
  start=$(date +%s)
  timeout -k 10 900 bash "$group" >"$logs/$name.log" 2>&1
  status=$?
  seconds=$(( $(date +%s) - start ))
  counts=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$logs/$name.log" | tail -n 1)
  passed=$(echo "$counts" | awk '{print $1+0}')
  failed=$(echo "$counts" | awk '{print $3+0}')
  if [ -z "$counts" ] || { [ "$status" -ne 0 ] && [ "$failed" -eq 0 ]; }; then
    failed=$((failed + 1))
  fi
  grep -E '^(FAIL|not ok)' "$logs/$name.log" | head -n 40
  [ "$failed" -ne 0 ] && tail -n 20 "$logs/$name.log"
  echo "wine group $name: $passed passed, $failed failed (${seconds}s, log $logs/$name.log)"
  total_passed=$((total_passed + passed))
  total_failed=$((total_failed + failed))
done
echo "wine: $total_passed passed, $total_failed failed"
[ "$total_failed" -eq 0 ]
