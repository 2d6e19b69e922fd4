#!/usr/bin/env bash
# libnodeflags.so exports exactly the native methods of the bridge's list
# (nodebridge/exports.txt), with the names that share code at one address, and
# nothing else (no JNI_OnLoad), and links libovw.so.
# Usage: exports_test.sh <library> <list of exports>
set -euo pipefail
library=$1
expected=$(sed 's/#.*//' "$2" | awk 'NF {print "Java_quorel_im_vesk_NNMMenuManager_" $1}' | sort)
# The most names that share one method's code.
sharing=$(sed 's/#.*//' "$2" | awk 'NF {print (NF > 2 ? $3 : $1)}' | sort | uniq -c | sort -rn | head -n 1 | awk '{print $1}')
dump=$(nm -D --defined-only "$library" | awk '$2 == "T" {print $1, $3}')
names=$(printf '%s\n' "$dump" | awk '{print $2}' | sed 's/@.*//' | sort)
addresses=$(printf '%s\n' "$dump" | awk '{print $1}' | sort | uniq -c | sort -rn | head -n 1 | awk '{print $1}')
nm -D --defined-only "$library" | awk '$2 != "T" && $2 != "A" {print "FAIL: unexpected export " $0; bad=1} END {exit bad}'
case "$(ldd "$library")" in *libovw.so*) ;; *) echo "FAIL: libovw.so is not linked"; exit 1 ;; esac
echo "exports:"
printf '%s\n' "$names" | sed 's/^/  /'
if [ "$names" != "$expected" ]; then echo "FAIL: export names differ"; exit 1; fi
if [ "$addresses" != "$sharing" ]; then echo "FAIL: the $sharing names that share code must share one address ($addresses)"; exit 1; fi
echo "PASS"
