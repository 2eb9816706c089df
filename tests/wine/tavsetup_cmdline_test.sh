#!/usr/bin/env bash
# tavsetup.exe under Wine: refused command lines, and kit folders that lack
# files. None of these runs gets as far as creating the service, so one
# prefix serves them all.
set -u
source "$(dirname "$0")/winelib.sh"
wine_prefix_new
source "$(dirname "$0")/setuplib.sh"

kit=$(kit_folder kit)

# The PE file: a console program importing system DLLs only, and the
# wide form of the service creation.
dump=$(${OBJDUMP:-i686-w64-mingw32-objdump} -p "$kit/tavsetup.exe")
dlls=$(echo "$dump" | sed -n 's/^\s*DLL Name: //p' | tr 'a-z' 'A-Z' | sort | tr '\n' ' ')
[ "$dlls" = "ADVAPI32.DLL KERNEL32.DLL MSVCRT.DLL " ] && setup_ok "imports: $dlls" ||
  setup_fail "imports: $dlls"
echo "$dump" | grep -q 'Subsystem.*Windows CUI' && setup_ok "console subsystem" ||
  setup_fail "not a console program"
echo "$dump" | grep -qw CreateServiceW && ! echo "$dump" | grep -qw CreateServiceA &&
  setup_ok "CreateServiceW imported, CreateServiceA not" || setup_fail "service creation import"

run_setup "$kit"
expect_run "no argument" 1 < <(usage_text)

for word in install64 'install ' Bogus; do
  run_setup "$kit" "$word"
  expect_run "operation '$word'" 1 --no-line-end < <(
    usage_text
    printf "'%s' is not 'remove' 'install' 'install16' or 'install32'\n" "$word")
done

# The port option is not looked at after an invalid operation.
run_setup "$kit" bogus lpt9
expect_run "invalid operation and option" 1 --no-line-end < <(
  usage_text
  echo "'bogus' is not 'remove' 'install' 'install16' or 'install32'")

for args in "install lpt4" "install16 lpt0" "install32 com1" "remove bogus"; do
  run_setup "$kit" $args
  expect_run "option in '$args'" 1 --no-line-end < <(
    usage_text
    echo "'${args#* }' is not a valid option")
done
expect_absent "refused commands" 'C:\windows\system\tavapi16.dll' \
  'C:\windows\system32\drivers\tavport.sys'

# A folder without the kit's files.
empty="$WINEPREFIX/drive_c/empty"
mkdir -p "$empty"
cp "$kit/tavsetup.exe" "$empty/"
run_setup "$empty" install
expect_run "folder without the files" 1 <<'TEXT'
File tavapi16.dll copy to C:\windows\system\tavapi16.dll FAILED
Error copying DLL's
TEXT
expect_absent "folder without the files" 'C:\windows\system\tavapi16.dll'

# Without only tavapi32.dll: the two libraries before it stay copied.
partial=$(kit_folder no32 tavapi32.dll)
run_setup "$partial" install lpt1
expect_run "folder without tavapi32.dll" 1 <<'TEXT'
File tavapi16.dll copied to C:\windows\system\tavapi16.dll
File tavbridge.dll copied to C:\windows\system32\tavbridge.dll
File tavapi32.dll copy to C:\windows\system32\tavapi32.dll FAILED
Error copying DLL's
TEXT
expect_placed "folder without tavapi32.dll" 'C:\windows\system\tavapi16.dll' \
  'C:\windows\system32\tavbridge.dll'
expect_absent "folder without tavapi32.dll" 'C:\windows\system32\tavapi32.dll' \
  'C:\windows\system32\drivers\tavport.sys'
remove_placed_files

# Without only the driver file: the libraries are placed, no service step
# runs, and the run says so by its status.
nodriver=$(kit_folder nodriver tavport.sys)
run_setup "$nodriver" install
expect_run "folder without tavport.sys" 2 <<'TEXT'
File tavapi16.dll copied to C:\windows\system\tavapi16.dll
File tavbridge.dll copied to C:\windows\system32\tavbridge.dll
File tavapi32.dll copied to C:\windows\system32\tavapi32.dll
Driver tavport.sys copy to C:\windows\system32\drivers\tavport.sys FAILED
TEXT
expect_placed "folder without tavport.sys" 'C:\windows\system\tavapi16.dll' \
  'C:\windows\system32\tavbridge.dll' 'C:\windows\system32\tavapi32.dll'
expect_registry "folder without tavport.sys" <<'TEXT'
no service key
TEXT

setup_finish
