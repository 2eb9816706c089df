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

# sim_tally SECONDS program args...: runs a test program, shows its output
# and adds its "N passed, N failed" line to SIM_PASSED / SIM_FAILED (a run
# without that line counts as one failure).
SIM_PASSED=0
SIM_FAILED=0
sim_tally() {
  local out counts
  out=$(wine_run "$@" 2>&1 | tr -d '\r')
  echo "$out"
  counts=$(echo "$out" | grep -E '^[0-9]+ passed, [0-9]+ failed$' | tail -n 1)
  if [ -z "$counts" ]; then
    echo "FAIL: $* gave no result line"
    SIM_FAILED=$((SIM_FAILED + 1))
    return
  fi
  SIM_PASSED=$((SIM_PASSED + $(echo "$counts" | awk '{print $1}')))
  SIM_FAILED=$((SIM_FAILED + $(echo "$counts" | awk '{print $3}')))
}

# sim_step WHAT command...: a set-up step that counts as one check.
sim_step() {
  local what=$1
  shift
  if "$@"; then
    SIM_PASSED=$((SIM_PASSED + 1))
  else
    echo "FAIL: $what"
    SIM_FAILED=$((SIM_FAILED + 1))
  fi
}

sim_finish() {
  echo "$SIM_PASSED passed, $SIM_FAILED failed"
  [ "$SIM_FAILED" -eq 0 ]
}
