#!/usr/bin/env bash
# tavapi32.dll as programs see it: export and import tables, then the
# exports resolved and called under Wine.
set -u
source "$(dirname "$0")/winelib.sh"
dll=$WIN32_BUILD/tavapi32/tavapi32.dll
passed=0
failed=0
check() {  # check DESCRIPTION EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAIL %s\n  expected: %s\n  got:      %s\n' "$1" "$2" "$3"
  fi
}

# The export table: the 41 names of the header, undecorated, in ascending
# byte order with ordinals 1 to 41; the import table: system DLLs only.
table=$(i686-w64-mingw32-objdump -p "$dll")
expected_names=$(grep -oE 'TAVAPI Tav[A-Za-z_]+' "$TAV_ROOT/include/tavapi32.h" | sed 's/TAVAPI //' | LC_ALL=C sort)
names=$(echo "$table" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -E '^\s+\[ *[0-9]+\] [A-Za-z_]' | awk '{print $NF}')
check "export names" "$(echo $expected_names)" "$(echo $names)"
check "41 exports" "41" "$(echo "$names" | grep -c .)"
check "ordinal base" "1" "$(echo "$table" | grep -oE 'Ordinal Base [0-9]+' | head -n1 | grep -oE '[0-9]+$')"
check "no decorated names" "0" "$(echo "$names" | grep -c '@')"
imports=$(echo "$table" | grep 'DLL Name:' | awk '{print toupper($3)}' | sort | tr '\n' ' ')
check "imports" "KERNEL32.DLL MSVCRT.DLL USER32.DLL " "$imports"

wine_prefix_new
work=$(mktemp -d)
cp "$dll" "$WIN32_BUILD/tests/wine/tavapi32_exports.exe" "$work/"
(cd "$work" && wine_run 120 tavapi32_exports.exe) | tr -d '\r' > "$work/out.txt"
status=${PIPESTATUS[0]}
grep -v -E '^[0-9]+ passed, [0-9]+ failed$' "$work/out.txt"
line=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$work/out.txt" | tail -n1)
if [ -n "$line" ]; then
  passed=$((passed + $(echo "$line" | awk '{print $1}')))
  failed=$((failed + $(echo "$line" | awk '{print $3}')))
else
  failed=$((failed + 1))
  echo "FAIL tavapi32_exports.exe ended with status $status and no result line"
fi
rm -rf "$work"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
