#!/usr/bin/env bash
# The real tavbridge.dll under Wine, loaded by our test host ntvdm.exe,
# which stands in for the virtual DOS machine and the 16-bit caller
# (tavapi16.dll is outside the kit). First with no driver: the load is
# refused after one message box. Then with the simulated tavport.sys
# (standing in for the real driver) and links 1 to 3: a whole 16-bit
# session, the frames checked as the driver received them. Last with the
# driver serving link 3 only: the load still succeeds.
set -u
source "$(dirname "$0")/winelib.sh"
source "$(dirname "$0")/simlib.sh"
passed=0
failed=0

# run LABEL PROGRAM ARGS...: runs a test program and adds up its counts.
run() {
  local label=$1 output status counts
  shift
  echo "== $label"
  output=$(wine_run 120 "$@" 2>&1)
  status=$?
  output=$(echo "$output" | tr -d '\r')
  echo "$output" | grep -v -E '^[0-9]+ passed, [0-9]+ failed$'
  counts=$(echo "$output" | grep -E '^[0-9]+ passed, [0-9]+ failed$' | tail -n 1)
  if [ -z "$counts" ]; then
    echo "FAIL $label: no result line (exit status $status)"
    failed=$((failed + 1))
    return
  fi
  echo "$label: $counts"
  passed=$((passed + $(echo "$counts" | awk '{print $1}')))
  failed=$((failed + $(echo "$counts" | awk '{print $3}')))
  if [ "$status" -ne 0 ] && [ "$(echo "$counts" | awk '{print $3}')" -eq 0 ]; then
    echo "FAIL $label: exit status $status"
    failed=$((failed + 1))
  fi
}

wine_prefix_new
if sim_stage && cp "$WIN32_BUILD/tavbridge/tavbridge.dll" "$SIM_STAGE_DIR/"; then
  run "load refused without a driver" "$(sim_exe ntvdm)" refused
  if sim_driver_install >/dev/null; then
    run "16-bit session through the bridge" "$(sim_exe ntvdm)" session
    sim_driver_remove >/dev/null
    if sim_driver_install 3 >/dev/null; then
      run "load with link 3 only" "$(sim_exe ntvdm)" link3
      sim_driver_remove >/dev/null
    else
      echo "FAIL driver install with UseLpt 3"
      failed=$((failed + 1))
    fi
  else
    echo "FAIL driver install"
    failed=$((failed + 1))
  fi
else
  echo "FAIL staging"
  failed=$((failed + 1))
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
