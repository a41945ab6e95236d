#!/usr/bin/env bash
# A shipped program must be a 32-bit Windows executable of the expected
# subsystem that imports nothing but Windows system DLLs.
#   check_pe.sh PROGRAM gui|console
set -euo pipefail
dump=$(i686-w64-mingw32-objdump -p "$1")
grep -q 'file format pei-i386' <<<"$dump" || { echo "$1: not PE32 i386"; exit 1; }
case $2 in
gui) grep -q 'Subsystem.*(Windows GUI)' <<<"$dump" || { echo "$1: not a GUI program"; exit 1; } ;;
console) grep -q 'Subsystem.*(Windows CUI)' <<<"$dump" || { echo "$1: not a console program"; exit 1; } ;;
esac
system='^(KERNEL32|USER32|GDI32|ADVAPI32|msvcrt)\.dll$'
bad=$(sed -n 's/^\s*DLL Name: //p' <<<"$dump" | grep -viE "$system" || true)
[ -z "$bad" ] || { echo "$1: imports $bad"; exit 1; }
sed -n 's/^\s*DLL Name: /imports /p' <<<"$dump"
