#!/usr/bin/env bash
# tavapi32.dll's frames as the simulated driver received them.
set -u
source "$(dirname "$0")/winelib.sh"
source "$(dirname "$0")/simlib.sh"
wine_prefix_new
sim_stage || { echo "staging failed"; echo "0 passed, 1 failed"; exit 1; }
sim_driver_install || { echo "driver install failed"; echo "0 passed, 1 failed"; exit 1; }
wine_run 120 "$(sim_exe tavapi32_frames)"
status=$?
sim_driver_remove >/dev/null
exit $status
