#!/usr/bin/env bash
# tavsetup.exe under Wine against the simulated driver: install with each
# port option, install16 and install32, install over an existing service,
# remove of a running, a stopped and a deleted service, and a driver that
# exposes no link. One prefix; every install is removed again before the
# next, so no service is left to load at a later start of the prefix.
set -u
source "$(dirname "$0")/winelib.sh"
wine_prefix_new
source "$(dirname "$0")/setuplib.sh"

kit=$(kit_folder kit)

copies_all() {
  cat <<'TEXT'
File tavapi16.dll copied to C:\windows\system\tavapi16.dll
File tavbridge.dll copied to C:\windows\system32\tavbridge.dll
File tavapi32.dll copied to C:\windows\system32\tavapi32.dll
Driver tavport.sys copied to C:\windows\system32\drivers\tavport.sys
TEXT
}

service_steps() {
  cat <<'TEXT'
Creating tavport service
Service tavport created
Updating registry entries for tavport service
Registry updated ok
StartService SUCCESS
TEXT
}

# The service key after an install with UseLpt $1. Wine keeps the tag the
# installer passes (2); Windows would assign one within the group.
service_key() {
  cat <<'TEXT'
Type REG_DWORD 1
Start REG_DWORD 2
ErrorControl REG_DWORD 1
ImagePath text C:\windows\system32\drivers\tavport.sys
DisplayName text tavport
Group text Extended base
Tag REG_DWORD 2
DependOnService REG_MULTI_SZ 18 bytes "Parport\0\0"
TEXT
  echo "Parameters\\UseLpt REG_DWORD $1"
}

removed() {
  cat <<'TEXT'
ControlService(SERVICE_CONTROL_STOP) SUCCESS
DeleteService SUCCESS
TEXT
}

all_files=('C:\windows\system\tavapi16.dll' 'C:\windows\system32\tavbridge.dll'
           'C:\windows\system32\tavapi32.dll' 'C:\windows\system32\drivers\tavport.sys')

# --- install lpt1, then installs over the existing service ----------------------
run_setup "$kit" install lpt1
expect_run "install lpt1" 0 < <(copies_all; service_steps; echo "CreateFile '\\\\.\\TAV1' SUCCESS")
expect_placed "install lpt1" "${all_files[@]}"
expect_registry "install lpt1" < <(service_key 1)

# Running: the loaded driver's file is in use, so its copy fails and no
# service step runs.
run_setup "$kit" install lpt2
expect_run "install over a running service" 2 <<'TEXT'
File tavapi16.dll copied to C:\windows\system\tavapi16.dll
File tavbridge.dll copied to C:\windows\system32\tavbridge.dll
File tavapi32.dll copied to C:\windows\system32\tavapi32.dll
Driver tavport.sys copy to C:\windows\system32\drivers\tavport.sys FAILED
TEXT

# Stopped: all four files are copied over, then the creation finds the
# service, and nothing of it changes.
stop_service
run_setup "$kit" install lpt2
expect_run "install over a stopped service" 2 < <(copies_all
  echo "Creating tavport service"
  echo "failure: CreateService, ERROR_SERVICE_EXISTS")
expect_registry "install over a stopped service" < <(service_key 1)

# --- remove of a stopped service, then of a deleted one --------------------------
run_setup "$kit" remove
expect_run "remove of a stopped service" 0 <<'TEXT'
failure: ControlService(SERVICE_CONTROL_STOP) (0x426)
DeleteService SUCCESS
TEXT
expect_registry "remove of a stopped service" <<<"no service key"
expect_placed "remove leaves the files" "${all_files[@]}"

run_setup "$kit" Remove lpt2
expect_run "remove of a deleted service" 2 <<'TEXT'
failure: OpenService (0x424)
failure: OpenService (0x424)
TEXT

# --- each port option: UseLpt and the links the driver then exposes ------------
for option in none lpt2 LPT3; do
  case $option in
    none) args=(install); use=0; links=(1 2 3) ;;
    lpt2) args=(install lpt2); use=2; links=(2) ;;
    LPT3) args=(INSTALL LPT3); use=3; links=(3) ;;
  esac
  run_setup "$kit" "${args[@]}"
  expect_run "install $option" 0 < <(copies_all; service_steps
    for n in "${links[@]}"; do echo "CreateFile '\\\\.\\TAV$n' SUCCESS"; done)
  expect_registry "install $option" < <(service_key "$use")
  run_setup "$kit" remove
  expect_run "remove after install $option" 0 < <(removed)
  expect_registry "remove after install $option" <<<"no service key"
done

# Two words after the operation: neither is examined, UseLpt is 0.
run_setup "$kit" install32 lpt2 lpt3
expect_run "install32 with two words" 0 < <(
  echo 'File tavapi32.dll copied to C:\windows\system32\tavapi32.dll'
  echo 'Driver tavport.sys copied to C:\windows\system32\drivers\tavport.sys'
  service_steps
  for n in 1 2 3; do echo "CreateFile '\\\\.\\TAV$n' SUCCESS"; done)
expect_registry "install32 with two words" < <(service_key 0)
run_setup "$kit" remove
expect_run "remove after install32" 0 < <(removed)

# --- install16 and install32 place only their own files ------------------------
remove_placed_files
run_setup "$kit" Install16 lpt2
expect_run "install16" 0 <<'TEXT'
File tavapi16.dll copied to C:\windows\system\tavapi16.dll
File tavbridge.dll copied to C:\windows\system32\tavbridge.dll
Driver tavport.sys copied to C:\windows\system32\drivers\tavport.sys
Creating tavport service
Service tavport created
Updating registry entries for tavport service
Registry updated ok
StartService SUCCESS
CreateFile '\\.\TAV2' SUCCESS
TEXT
expect_placed "install16" 'C:\windows\system\tavapi16.dll' 'C:\windows\system32\tavbridge.dll' \
  'C:\windows\system32\drivers\tavport.sys'
expect_absent "install16" 'C:\windows\system32\tavapi32.dll'
run_setup "$kit" remove
expect_run "remove after install16" 0 < <(removed)

remove_placed_files
run_setup "$kit" install32 lpt1
expect_run "install32" 0 <<'TEXT'
File tavapi32.dll copied to C:\windows\system32\tavapi32.dll
Driver tavport.sys copied to C:\windows\system32\drivers\tavport.sys
Creating tavport service
Service tavport created
Updating registry entries for tavport service
Registry updated ok
StartService SUCCESS
CreateFile '\\.\TAV1' SUCCESS
TEXT
expect_placed "install32" 'C:\windows\system32\tavapi32.dll' 'C:\windows\system32\drivers\tavport.sys'
expect_absent "install32" 'C:\windows\system\tavapi16.dll' 'C:\windows\system32\tavbridge.dll'
expect_registry "install32" < <(service_key 1)
run_setup "$kit" remove
expect_run "remove after install32 lpt1" 0 < <(removed)

# --- a driver that exposes no link ------------------------------------------------
nolinks=$(kit_folder nolinks)
cp "$SETUP_TOOLS/nolinks.sys" "$nolinks/tavport.sys"
run_setup "$nolinks" install
expect_run "driver without links" 2 < <(copies_all; service_steps
  echo "Unable to open any links to driver")
# The started service stays: the remove stops and deletes it.
run_setup "$nolinks" remove
expect_run "remove of the driver without links" 0 < <(removed)
expect_registry "remove of the driver without links" <<<"no service key"

setup_finish
