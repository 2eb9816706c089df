#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs the sample
# application tavdemo.exe against the simulated driver in a fresh 32-bit
# Wine prefix: driver installed and started (UseLpt 1), demo run from a
# folder holding tavapi32.dll, driver stopped and removed, prefix ended.
# The simulated tavport.sys stands in for the real kernel driver, which is
# not part of the kit; the kit's installer will take over the registration.
set -uo pipefail
cd "$(dirname "$0")/.."

fail() {
  echo "demo: FAILED at step: $1" >&2
  exit 1
}
step() { echo "== demo: $1"; }

step "installing what is missing"
scripts/setup.sh || fail "installing packages (scripts/setup.sh)"
step "building"
mkdir -p build
scripts/build.sh >build/demo-build.log 2>&1 ||
  { tail -n 30 build/demo-build.log >&2; fail "building (scripts/build.sh, log build/demo-build.log)"; }

source tests/wine/winelib.sh
source tests/wine/simlib.sh
step "making a fresh 32-bit Wine prefix"
wine_prefix_new || fail "making the Wine prefix"
sim_stage || fail "staging tavapi32.dll and tavdemo.exe"
step "installing and starting the simulated driver tavport.sys (UseLpt 1)"
sim_driver_install 1 || fail "installing and starting the simulated driver"

step "running tavdemo.exe"
wine_run 60 "$(sim_exe tavdemo)" | tr -d '\r'
demo_status=${PIPESTATUS[0]}

step "stopping and removing the simulated driver"
sim_driver_remove || fail "stopping and removing the simulated driver"
step "ending the Wine prefix"
wine_prefix_end
trap - EXIT

[ "$demo_status" -eq 0 ] || fail "running tavdemo.exe (exit status $demo_status)"
echo "== demo: done"
