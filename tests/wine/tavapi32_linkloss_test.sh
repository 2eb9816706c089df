#!/usr/bin/env bash
# tavapi32.dll when the simulated driver is stopped under an open link.
set -u
source "$(dirname "$0")/winelib.sh"
source "$(dirname "$0")/simlib.sh"
wine_prefix_new
sim_step "staging" sim_stage
sim_step "driver installed and started" sim_driver_install
sim_tally 120 "$(sim_exe tavapi32_linkloss)"
sim_step "driver removed" wine_run 60 "$(sim_exe simdriver)" remove
sim_finish
