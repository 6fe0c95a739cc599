#!/usr/bin/env bash
# Checks that a built plug-in DLL stays within its size budget.
#
#   tools/check-size.sh build/win32/pelta.dll          at most 400 KiB
#   tools/check-size.sh build/win32/pelta.dll 512      at most 512 KiB
#
# Prints the size and, when objdump for the DLL's architecture is there, the size of each
# section, so a growth can be traced to code (.text), constants (.rdata) or data.
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: tools/check-size.sh DLL [MAX_KIB]" >&2
  exit 2
fi
dll="$1"
max_kib="${2:-400}"
case "$max_kib" in
  '' | *[!0-9]*) echo "check-size: MAX_KIB must be a whole number of KiB" >&2; exit 2 ;;
esac
if [ ! -f "$dll" ]; then
  echo "check-size: $dll: no such file" >&2
  exit 2
fi

bytes="$(stat -c %s "$dll")"
max_bytes=$((max_kib * 1024))
kib_tenths=$(((bytes * 10 + 512) / 1024))
echo "check-size: $(basename "$dll") is $bytes bytes ($((kib_tenths / 10)).$((kib_tenths % 10)) KiB), budget $max_kib KiB"

for objdump in i686-w64-mingw32-objdump x86_64-w64-mingw32-objdump objdump; do
  if command -v "$objdump" >/dev/null && "$objdump" -h "$dll" >/dev/null 2>&1; then
    # Idx Name Size VMA LMA File-off Algn: the size column is hexadecimal.
    "$objdump" -h "$dll" | awk '$1 ~ /^[0-9]+$/ { print $2, $3 }' |
      while read -r name size; do printf '  %-10s %8d bytes\n' "$name" "$((16#$size))"; done
    break
  fi
done

if [ "$bytes" -gt "$max_bytes" ]; then
  echo "check-size: over budget by $((bytes - max_bytes)) bytes" >&2
  exit 1
fi
echo "check-size: ok"
