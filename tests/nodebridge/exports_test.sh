#!/usr/bin/env bash
# libnodeflags.so exports exactly the six native methods of NNMMenuManager,
# with the three no-op names at one address, and nothing else (no
# JNI_OnLoad), and links libovw.so. Usage: exports_test.sh <library>
set -euo pipefail
library=$1
expected="Java_quorel_im_vesk_NNMMenuManager_CreateMenu
Java_quorel_im_vesk_NNMMenuManager_InitializeDB
Java_quorel_im_vesk_NNMMenuManager_InitializeUI
Java_quorel_im_vesk_NNMMenuManager_UninitializeDB
Java_quorel_im_vesk_NNMMenuManager_UninitializeUI
Java_quorel_im_vesk_NNMMenuManager_UpdateMenu"
dump=$(nm -D --defined-only "$library" | awk '$2 == "T" {print $1, $3}')
names=$(printf '%s\n' "$dump" | awk '{print $2}' | sed 's/@.*//' | sort)
addresses=$(printf '%s\n' "$dump" | awk '{print $1}' | sort | uniq -c | sort -rn | head -n 1 | awk '{print $1}')
nm -D --defined-only "$library" | awk '$2 != "T" && $2 != "A" {print "FAIL: unexpected export " $0; bad=1} END {exit bad}'
case "$(ldd "$library")" in *libovw.so*) ;; *) echo "FAIL: libovw.so is not linked"; exit 1 ;; esac
echo "exports:"
printf '%s\n' "$names" | sed 's/^/  /'
if [ "$names" != "$expected" ]; then echo "FAIL: export names differ"; exit 1; fi
if [ "$addresses" != 3 ]; then echo "FAIL: the three no-op names must share one address ($addresses)"; exit 1; fi
echo "PASS"
