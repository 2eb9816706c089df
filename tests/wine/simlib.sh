# The simulated driver in the current Wine prefix, for the test groups and
# the demo. Source after tests/wine/winelib.sh and wine_prefix_new.
#   sim_stage                   copies the programs and tavapi32.dll to C:\tavtest
#   sim_driver_install [UseLpt] copies tavport.sys to system32\drivers, installs
#                               and starts the service "tavport"
#   sim_driver_remove           stops and deletes the service
#   sim_exe NAME                the staged program's path, for wine_run
# The simulated tavport.sys stands in for the real driver, which is not
# part of the kit. The kit's installer will take over the registration.

SIM_STAGE_DIR=

sim_stage() {
  SIM_STAGE_DIR="$WINEPREFIX/drive_c/tavtest"
  mkdir -p "$SIM_STAGE_DIR"
  cp "$WIN32_BUILD/tavapi32/tavapi32.dll" "$SIM_STAGE_DIR/" || return 1
  local f
  for f in "$WIN32_BUILD"/tests/wine/*.exe "$WIN32_BUILD"/examples/*.exe; do
    [ -e "$f" ] && cp "$f" "$SIM_STAGE_DIR/"
  done
  return 0
}

sim_exe() { echo "$SIM_STAGE_DIR/$1.exe"; }

sim_driver_install() {
  local drivers="$WINEPREFIX/drive_c/windows/system32/drivers"
  mkdir -p "$drivers"
  cp "$WIN32_BUILD/simulator/tavport.sys" "$drivers/" || return 1
  wine_run 60 "$(sim_exe simdriver)" install 'C:\windows\system32\drivers\tavport.sys' "$@" &&
    wine_run 60 "$(sim_exe simdriver)" start
}

sim_driver_remove() {
  wine_run 60 "$(sim_exe simdriver)" stop
  wine_run 60 "$(sim_exe simdriver)" remove
}
