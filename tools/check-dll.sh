#!/usr/bin/env bash
# Checks a built plug-in DLL the way a host sees it, without running it:
#   - exactly the seven entry points are exported, by their plain undecorated names
#     (no leading underscore, no @N stdcall suffix: the host declares them __cdecl);
#   - it imports only system DLLs (no libstdc++/libgcc/libwinpthread next to it);
#   - it carries the host's plug-in menu: a MENU resource named EXTERN, language 1000, with
#     44454 "Settings", 44455 "About", 44456 "EPG".
# Usage: tools/check-dll.sh build/win32/pelta.dll   (prints one line per check; exit 1 on failure)
set -u

dll=${1:-}
if [[ -z "$dll" || ! -f "$dll" ]]; then
  echo "usage: $0 DLL" >&2
  exit 2
fi

# The binutils that match the DLL's machine (PE32 for i686, PE32+ for x86_64).
prefix=""
for p in i686-w64-mingw32 x86_64-w64-mingw32; do
  command -v "$p-objdump" >/dev/null || continue
  format=$("$p-objdump" -f "$dll" 2>/dev/null | sed -n 's/.*file format //p')
  case "$format" in
    pei-i386) prefix=i686-w64-mingw32 ;;
    pei-x86-64) prefix=x86_64-w64-mingw32 ;;
  esac
  [[ -n "$prefix" ]] && break
done
if [[ -z "$prefix" ]]; then
  echo "FAIL: $dll is not a PE DLL, or mingw-w64 binutils are missing" >&2
  exit 2
fi
objdump=$prefix-objdump
windres=$prefix-windres

passed=0
failed=0
check() {  # check NAME CONDITION-RESULT DETAIL
  if [[ "$2" == ok ]]; then
    echo "PASS: $1"
    passed=$((passed + 1))
  else
    echo "FAIL: $1 ($3)"
    failed=$((failed + 1))
  fi
}

headers=$("$objdump" -p "$dll")

# --- exports ---
expected_exports="On_Channel_Change On_Exit On_Filter_Close On_Hot_Key On_Menu_Select On_Send_Dll_ID_Name On_Start"
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^\t\[/ {print $NF; next} on {on=0}' \
  <<<"$headers" | sort | tr '\n' ' ' | sed 's/ $//')
if [[ "$exports" == "$expected_exports" ]]; then
  check "exports exactly the seven entry points" ok ""
else
  check "exports exactly the seven entry points" no "found: ${exports:-none}"
fi

# --- imports ---
allowed="kernel32.dll user32.dll gdi32.dll winmm.dll gdiplus.dll comdlg32.dll comctl32.dll msvcrt.dll"
imports=$(sed -n 's/^\tDLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort -u)
bad=""
for name in $imports; do
  [[ " $allowed " == *" $name "* ]] || bad="$bad $name"
done
if [[ -z "$bad" && -n "$imports" ]]; then
  check "imports only system DLLs ($(echo $imports))" ok ""
else
  check "imports only system DLLs" no "not allowed:${bad:- (no imports found)}"
fi

# --- the EXTERN menu ---
rc=$("$windres" -i "$dll" -O rc 2>&1)
menu=$(awk '/^LANGUAGE/ {lang=$0} /^"?EXTERN"? MENU/ {print lang; on=1; next} on {print} on && /^END/ {exit}' <<<"$rc")
if grep -q '^LANGUAGE 1000, *0' <<<"$menu"; then
  check "EXTERN menu resource with language 1000" ok ""
else
  check "EXTERN menu resource with language 1000" no "$(grep -m1 -n 'EXTERN' <<<"$rc" || echo 'no EXTERN resource')"
fi
items=$(grep -o 'MENUITEM "[^"]*", [0-9]*' <<<"$menu" | tr '\n' ';')
if [[ "$items" == 'MENUITEM "Settings", 44454;MENUITEM "About", 44455;MENUITEM "EPG", 44456;' ]]; then
  check "menu items 44454 Settings, 44455 About, 44456 EPG" ok ""
else
  check "menu items 44454 Settings, 44455 About, 44456 EPG" no "found: ${items:-none}"
fi
if grep -q 'POPUP' <<<"$menu"; then
  check "menu is flat (no sub-menus)" no "POPUP found"
else
  check "menu is flat (no sub-menus)" ok ""
fi

size=$(stat -c %s "$dll")
echo "size: $size bytes ($(basename "$dll"), $("$objdump" -f "$dll" | sed -n 's/.*file format //p'))"
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
