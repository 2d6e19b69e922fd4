#!/usr/bin/env bash
# imcheck.exe imports system DLLs only: neither ov.dll nor ovw.dll, so it
# runs on a station where the platform is stopped. Usage: imports_test.sh <imcheck.exe>
set -euo pipefail
allowed=" advapi32.dll kernel32.dll msvcrt.dll shell32.dll user32.dll "
dlls=$(x86_64-w64-mingw32-objdump -p "$1" | awk '/DLL Name:/ {print tolower($3)}' | sort)
[ -n "$dlls" ] || { echo "FAIL: no imports read from $1"; exit 1; }
for dll in $dlls; do
    case "$allowed" in *" $dll "*) ;; *) echo "FAIL: imcheck.exe imports $dll"; exit 1 ;; esac
done
echo "PASS: imcheck.exe imports $(echo $dlls)"
