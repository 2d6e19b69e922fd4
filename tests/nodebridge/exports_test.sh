#!/usr/bin/env bash
# The bridge exports exactly the six native methods of NNMMenuManager, with
# the three no-op names at one address, and nothing else (no JNI_OnLoad).
# Usage: exports_test.sh pe|pe32|elf <library>
# pe32: the 32-bit DLL, whose names carry stdcall decoration as a 32-bit JVM
# looks them up first: a leading underscore and @<bytes of arguments>.
set -euo pipefail
kind=$1
library=$2
expected="Java_quorel_im_vesk_NNMMenuManager_CreateMenu
Java_quorel_im_vesk_NNMMenuManager_InitializeDB
Java_quorel_im_vesk_NNMMenuManager_InitializeUI
Java_quorel_im_vesk_NNMMenuManager_UninitializeDB
Java_quorel_im_vesk_NNMMenuManager_UninitializeUI
Java_quorel_im_vesk_NNMMenuManager_UpdateMenu"
if [ "$kind" = pe32 ]; then
    expected=$(printf '%s\n' "$expected" | sed 's/^/_/; s/UpdateMenu$/UpdateMenu@24/; /@24$/!s/$/@8/')
fi
if [ "$kind" = pe ] || [ "$kind" = pe32 ]; then
    dump=$(x86_64-w64-mingw32-objdump -p "$library")
    names=$(printf '%s\n' "$dump" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/^[ \t]*\[ *[0-9]/ {print $NF}' | sort)
    addresses=$(printf '%s\n' "$dump" | awk '/Export RVA/ {print $(NF-2)}' | sort | uniq -c | sort -rn | head -n 1 | awk '{print $1}')
    imports=$(printf '%s\n' "$dump" | awk '/DLL Name:/ {print $3}' | sort | tr '\n' ' ')
    echo "imports: $imports"
    case " $imports" in *" ovw.dll "*) ;; *) echo "FAIL: ovw.dll is not imported"; exit 1 ;; esac
else
    dump=$(nm -D --defined-only "$library" | awk '$2 == "T" {print $1, $3}')
    names=$(printf '%s\n' "$dump" | awk '{print $2}' | sed 's/@.*//' | sort)
    addresses=$(printf '%s\n' "$dump" | awk '{print $1}' | sort | uniq -c | sort -rn | head -n 1 | awk '{print $1}')
    nm -D --defined-only "$library" | awk '$2 != "T" && $2 != "A" {print "FAIL: unexpected export " $0; bad=1} END {exit bad}'
    case "$(ldd "$library")" in *libovw.so*) ;; *) echo "FAIL: libovw.so is not linked"; exit 1 ;; esac
fi
echo "exports:"
printf '%s\n' "$names" | sed 's/^/  /'
if [ "$names" != "$expected" ]; then echo "FAIL: export names differ"; exit 1; fi
if [ "$addresses" != 3 ]; then echo "FAIL: the three no-op names must share one address ($addresses)"; exit 1; fi
echo "PASS"
