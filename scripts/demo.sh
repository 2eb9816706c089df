#!/usr/bin/env bash
# The main job, end to end on this machine: installs what is missing,
# builds both builds, makes a fresh 32-bit Wine prefix, installs the kit
# there with its own installer from the staging folder, runs the demo
# program against the installed kit, removes the kit, and shuts the prefix
# down. Each step's output is shown; the first step that fails ends the job
# with a message naming it and a non-zero exit status.
#
# The kit's tavport.sys here is the simulated driver (the real driver is
# outside the kit), and tavapi16.dll a placeholder for the 16-bit library.
set -uo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s.%N)
STEP=

step() {
  STEP=$1
  echo
  echo "=== $STEP"
}

fail() {
  echo
  echo "MAIN JOB FAILED at step: $STEP${1:+ - $1}" >&2
  exit 1
}

# Wine's console writes CR LF; shown here as plain lines.
show() { sed 's/\r$//'; }

step "install missing packages"
scripts/setup.sh || fail "scripts/setup.sh"

step "build both builds"
mkdir -p build
if scripts/build.sh >build/build.log 2>&1; then
  echo "built build/host and build/win32 (log: build/build.log)"
else
  tail -n 40 build/build.log
  fail "scripts/build.sh (log: build/build.log)"
fi

source tests/wine/winelib.sh
staging=$WIN32_BUILD/staging
demo=$WIN32_BUILD/examples/tavdemo.exe
for f in tavsetup.exe tavapi16.dll tavbridge.dll tavapi32.dll tavport.sys; do
  [ -f "$staging/$f" ] || fail "$f missing from the staging folder $staging"
done
[ -f "$demo" ] || fail "the demo program $demo was not built"

step "fresh 32-bit Wine prefix"
wine_prefix_new || fail "wineboot"
echo "prefix $WINEPREFIX"

step "tavsetup install lpt1 (from the staging folder)"
(cd "$staging" && wine_run 60 tavsetup.exe install lpt1) 2>/dev/null | show
status=${PIPESTATUS[0]}
[ "$status" -eq 0 ] || fail "tavsetup install lpt1 exited with $status"

step "tavdemo.exe against the installed kit"
# Run from a folder of its own, so tavapi32.dll is the one the installer
# placed in system32.
demo_dir=$WINEPREFIX/drive_c/demo
mkdir -p "$demo_dir"
cp "$demo" "$demo_dir/"
(cd "$demo_dir" && wine_run 120 tavdemo.exe) 2>/dev/null | show
status=${PIPESTATUS[0]}
[ "$status" -eq 0 ] || fail "tavdemo.exe exited with $status"

step "tavsetup remove"
(cd "$staging" && wine_run 60 tavsetup.exe remove) 2>/dev/null | show
status=${PIPESTATUS[0]}
[ "$status" -eq 0 ] || fail "tavsetup remove exited with $status"

step "shut the prefix down"
wine_prefix_end
trap - EXIT
echo "prefix ended and removed"

seconds=$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
echo
echo "MAIN JOB PASSED (${seconds}s)"
