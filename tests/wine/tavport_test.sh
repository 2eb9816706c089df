#!/usr/bin/env bash
# The simulated tavport.sys under Wine: links by UseLpt, TavCommInit on
# them, bad requests, several threads, and a clean unload on stop.
set -u
source "$(dirname "$0")/winelib.sh"
source "$(dirname "$0")/simlib.sh"
wine_prefix_new
simdriver() { wine_run 60 "$(sim_exe simdriver)" "$@"; }
check() { sim_tally 120 "$(sim_exe tavport_check)" "$@"; }

sim_step "staging" sim_stage
sim_step "install and start without UseLpt" sim_driver_install
check links 0xE
check requests
sim_step "stop" simdriver stop
check stopped
for lpt in 2 3 1 0; do
  sim_step "UseLpt $lpt" simdriver uselpt "$lpt"
  sim_step "start with UseLpt $lpt" simdriver start
  if [ "$lpt" -eq 0 ]; then check links 0xE; else check links $((1 << lpt)); fi
  sim_step "stop with UseLpt $lpt" simdriver stop
done
check stopped
sim_step "remove" simdriver remove
sim_finish
