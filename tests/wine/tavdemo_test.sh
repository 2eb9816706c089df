#!/usr/bin/env bash
# The sample application: its session log against the simulated driver,
# line for line (the simulated instrument's readings are deterministic),
# and its report when no driver is there.
set -u
source "$(dirname "$0")/winelib.sh"
source "$(dirname "$0")/simlib.sh"
expected="$(dirname "$0")/tavdemo.expected"
wine_prefix_new
sim_step "staging" sim_stage

output=$(wine_run 60 "$(sim_exe tavdemo)" 2>/dev/null | tr -d '\r'; echo "status ${PIPESTATUS[0]}")
echo "$output"
sim_step "without a driver: exit status 1" [ "$(echo "$output" | tail -n 1)" = "status 1" ]
sim_step "without a driver: the link is reported" \
  grep -qx "link 1 could not be opened and initialized: is the driver started?" <<<"$output"

sim_step "driver installed and started (UseLpt 1)" sim_driver_install 1
output=$(wine_run 60 "$(sim_exe tavdemo)" 2>/dev/null | tr -d '\r'; echo "status ${PIPESTATUS[0]}")
echo "$output"
sim_step "exit status 0" [ "$(echo "$output" | tail -n 1)" = "status 0" ]
if diff -u "$expected" <(echo "$output" | sed '$d') >/dev/null; then
  SIM_PASSED=$((SIM_PASSED + 1))
else
  echo "FAIL: the session log differs from tests/wine/tavdemo.expected:"
  diff -u "$expected" <(echo "$output" | sed '$d')
  SIM_FAILED=$((SIM_FAILED + 1))
fi
sim_step "driver stopped and removed" sim_driver_remove
sim_finish
