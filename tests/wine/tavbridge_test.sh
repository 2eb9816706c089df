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
wine_prefix_new
simdriver() { wine_run 60 "$(sim_exe simdriver)" "$@" >/dev/null; }
host() { sim_tally 120 "$(sim_exe ntvdm)" "$@"; }
install_driver() { sim_driver_install "$@" >/dev/null; }

sim_step "staging" sim_stage
sim_step "staging tavbridge.dll" cp "$WIN32_BUILD/tavbridge/tavbridge.dll" "$SIM_STAGE_DIR/"
host refused
sim_step "install and start the driver with links 1 to 3" install_driver
host session
sim_step "stop" simdriver stop
sim_step "UseLpt 3" simdriver uselpt 3
sim_step "start with link 3 only" simdriver start
host link3
sim_step "stop" simdriver stop
sim_step "remove" simdriver remove
sim_finish
