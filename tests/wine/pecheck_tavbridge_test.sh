#!/usr/bin/env bash
# PE check of tavbridge.dll (needs no Wine prefix): the three entry points
# exported undecorated, VDDInitialize as the module's entry point, the
# NTVDM services imported undecorated from ntvdm.exe, strcpy/strcat from
# ntdll.dll, and otherwise only the few KERNEL32 and USER32 calls it makes:
# no C runtime, no mingw runtime DLL.
set -u
source "$(dirname "$0")/winelib.sh"
dll=$WIN32_BUILD/tavbridge/tavbridge.dll
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
passed=0
failed=0

check() {  # check "what" actual expected
  if [ "$2" == "$3" ]; then
    passed=$((passed + 1))
    echo "ok - $1"
  else
    failed=$((failed + 1))
    echo "FAIL $1: got \"$2\", expected \"$3\""
  fi
}

if ! dump=$("$objdump" -p "$dll" 2>&1); then
  echo "FAIL cannot read $dll: $dump"
  echo "0 passed, 1 failed"
  exit 1
fi

# Names imported from one DLL (case-insensitive DLL name), sorted, one line.
imports_of() {
  echo "$dump" | awk -v dll="$(echo "$1" | tr 'A-Z' 'a-z')" '
    /^[ \t]*DLL Name:/ { current = tolower($3); next }
    /^[ \t]*$/ { if (current != "") listing = 0 }
    /Hint\/Ord Member-Name/ { listing = (current == dll); next }
    listing && NF >= 3 { print $3 }' | sort | tr '\n' ' ' | sed 's/ $//'
}

check "PE32 DLL for i386" \
  "$(echo "$dump" | grep -c -E 'file format pei-i386|^[[:space:]]+DLL$')" "2"

# Exports: exactly the three names, undecorated.
exports=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
          awk '/^\t\[/ { print $NF }' | sort | tr '\n' ' ' | sed 's/ $//')
check "exported names" "$exports" "VDDDispatch VDDInitialize VDDRegisterInit"

# The entry point is VDDInitialize: its export address is the entry address.
entry=$(echo "$dump" | awk '/^AddressOfEntryPoint/ { print $2 }' | sed 's/^0*//')
init_index=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
             awk '$NF == "VDDInitialize" { gsub(/[][]/, "", $0); print $1 }')
init_rva=$(echo "$dump" | awk -v i="$init_index" '
    /Export RVA/ { line = $0; gsub(/[][]/, " ", line); split(line, f, " ");
                   if (f[1] == i) print f[4] }')
check "entry point set" "$([ -n "$entry" ] && echo yes)" "yes"
check "entry point is VDDInitialize" "$entry" "$init_rva"

# Imports: these DLLs and these names only.
dlls=$(echo "$dump" | awk '/^[ \t]*DLL Name:/ { print tolower($3) }' | sort | tr '\n' ' ' | sed 's/ $//')
check "imported DLLs" "$dlls" "kernel32.dll ntdll.dll ntvdm.exe user32.dll"
check "ntvdm.exe imports, undecorated" "$(imports_of ntvdm.exe)" \
  "MGetVdmPointer getBX getCX getDI getDX getES getSI setAX setCF setCX"
check "ntdll.dll imports" "$(imports_of ntdll.dll)" "strcat strcpy"
check "KERNEL32.dll imports" "$(imports_of KERNEL32.dll)" "CloseHandle CreateFileA DeviceIoControl"
check "USER32.dll imports" "$(imports_of USER32.dll)" "MessageBoxA"
check "no decorated name anywhere" \
  "$(echo "$dump" | grep -cE '(getBX|getCX|getDX|getSI|getDI|getES|setAX|setCX|setCF|MGetVdmPointer|VDD[A-Za-z]+)@[0-9]')" "0"
check "no thread-local storage (no runtime start-up)" \
  "$(echo "$dump" | awk '/Thread Storage Directory/ { print $3 }')" "00000000"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
