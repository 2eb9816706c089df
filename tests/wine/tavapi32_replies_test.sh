#!/usr/bin/env bash
# tavapi32.dll against the simulated driver: statuses, copied bytes and message boxes over scripted replies.
set -u
source "$(dirname "$0")/winelib.sh"
source "$(dirname "$0")/simlib.sh"
wine_prefix_new
sim_step "staging" sim_stage
sim_step "driver installed and started" sim_driver_install
sim_tally 120 "$(sim_exe tavapi32_replies)"
sim_step "driver stopped and removed" sim_driver_remove
sim_finish
