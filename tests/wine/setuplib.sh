# Shared by the installer's Wine test groups (tests/wine/tavsetup_*_test.sh).
# Source after tests/wine/winelib.sh and wine_prefix_new.
#   kit_folder NAME [FILE...]   C:\NAME with the staged kit, without FILEs
#   run_setup DIR ARGS...       wine tavsetup.exe ARGS from DIR, as a user runs it
#   expect_run WHAT STATUS [--no-line-end] <<EOF   exact output and exit status
#   expect_registry WHAT <<EOF  the service key as tavsetup_registry prints it
#   expect_placed WHAT FILE...  files (Windows paths under C:\) equal to the kit's
#   expect_absent WHAT FILE...
#   setup_finish                the closing "N passed, N failed" line and status
#
# Console output: the program writes through the C runtime's text mode, so
# each "\n" reaches the pipe as CR LF. Only that pair is turned back into
# "\n"; any other CR stays and fails the comparison. The comparison is then
# byte for byte, including a last line written without a line end.

SETUP_STAGING=${SETUP_STAGING:-$WIN32_BUILD/staging}
SETUP_TOOLS=$WIN32_BUILD/tests/wine
SETUP_OUT=$WINEPREFIX/setup-test-output
mkdir -p "$SETUP_OUT"
SETUP_PASSED=0
SETUP_FAILED=0
RUN_STATUS=
RUN_LABEL=

setup_ok() { SETUP_PASSED=$((SETUP_PASSED + 1)); echo "ok - $1"; }
setup_fail() {
  SETUP_FAILED=$((SETUP_FAILED + 1))
  echo "FAIL $1"
  [ -n "${2:-}" ] && printf '%s\n' "$2"
  return 0
}

kit_folder() {
  local dir="$WINEPREFIX/drive_c/$1"
  shift
  rm -rf "$dir"
  mkdir -p "$dir"
  cp "$SETUP_STAGING"/tavsetup.exe "$SETUP_STAGING"/tavapi16.dll "$SETUP_STAGING"/tavbridge.dll \
     "$SETUP_STAGING"/tavapi32.dll "$SETUP_STAGING"/tavport.sys "$dir/"
  local f
  for f in "$@"; do rm -f "$dir/$f"; done
  echo "$dir"
}

run_setup() {
  local dir=$1
  shift
  RUN_LABEL="tavsetup $*"
  (cd "$dir" && wine_run 60 tavsetup.exe "$@") >"$SETUP_OUT/raw" 2>"$SETUP_OUT/stderr"
  RUN_STATUS=$?
  perl -0777 -pe 's/\r\n/\n/g' "$SETUP_OUT/raw" >"$SETUP_OUT/output"
  echo "--- $RUN_LABEL (exit $RUN_STATUS)"
  cat "$SETUP_OUT/output"
  [ -n "$(tail -c 1 "$SETUP_OUT/output")" ] && echo "<no line end>"
  return 0
}

# Shows both sides with line ends and CRs made visible.
setup_diff() { diff <(cat -A "$1") <(cat -A "$2"); }

expect_run() {
  local what=$1 status=$2
  cat >"$SETUP_OUT/expected"
  [ "${3:-}" = --no-line-end ] && truncate -s -1 "$SETUP_OUT/expected"
  if cmp -s "$SETUP_OUT/expected" "$SETUP_OUT/output"; then
    setup_ok "$what: output"
  else
    setup_fail "$what: output differs (< expected, > got)" \
      "$(setup_diff "$SETUP_OUT/expected" "$SETUP_OUT/output")"
  fi
  if [ "$RUN_STATUS" = "$status" ]; then
    setup_ok "$what: exit status $status"
  else
    setup_fail "$what: exit status $RUN_STATUS, expected $status"
  fi
}

expect_registry() {
  local what=$1
  cat >"$SETUP_OUT/expected"
  wine_run 60 "$SETUP_TOOLS/tavsetup_registry.exe" 2>/dev/null |
    perl -0777 -pe 's/\r\n/\n/g' >"$SETUP_OUT/registry"
  if cmp -s "$SETUP_OUT/expected" "$SETUP_OUT/registry"; then
    setup_ok "$what: service key"
  else
    setup_fail "$what: service key differs (< expected, > got)" \
      "$(setup_diff "$SETUP_OUT/expected" "$SETUP_OUT/registry")"
  fi
}

# Windows path under C:\ to this machine's path.
drive_c_path() { echo "$WINEPREFIX/drive_c/$(echo "${1#C:\\}" | tr '\\' /)"; }

expect_placed() {
  local what=$1 file
  shift
  for file in "$@"; do
    if cmp -s "$SETUP_STAGING/${file##*\\}" "$(drive_c_path "$file")"; then
      setup_ok "$what: $file placed"
    else
      setup_fail "$what: $file missing or not the kit's"
    fi
  done
}

expect_absent() {
  local what=$1 file
  shift
  for file in "$@"; do
    if [ -e "$(drive_c_path "$file")" ]; then
      setup_fail "$what: $file present"
    else
      setup_ok "$what: $file absent"
    fi
  done
}

# Removes the kit's files from the prefix (remove leaves them in place).
remove_placed_files() {
  rm -f "$(drive_c_path 'C:\windows\system\tavapi16.dll')" \
        "$(drive_c_path 'C:\windows\system32\tavbridge.dll')" \
        "$(drive_c_path 'C:\windows\system32\tavapi32.dll')" \
        "$(drive_c_path 'C:\windows\system32\drivers\tavport.sys')"
}

# The service, stopped by a tool of the tests (the installer has no stop
# on its own).
stop_service() { wine_run 60 "$SETUP_TOOLS/simdriver.exe" stop >/dev/null 2>&1; }

setup_finish() {
  echo "$SETUP_PASSED passed, $SETUP_FAILED failed"
  [ "$SETUP_FAILED" -eq 0 ]
}

usage_text() {
  cat <<'TEXT'
The TAVSETUP program can be used to either install or remove the required
 files for using the Quorvane Tav with Windows NT

use:
  tavsetup install <options>
    to install tav device driver and required files for both 16 and 32 bit API
    <options> may be:
      LPTx = only LPTx will be used, x=1,2 or 3
              - or -
  tavsetup install16 <options>
    to install tav device driver and required files for only 16 bit API
              - or -
  tavsetup install32 <options>
    to install tav device driver and required files for only 32 bit API
              - or -
  tavsetup remove
    to remove tav device driver
TEXT
}
