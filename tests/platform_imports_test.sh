#!/usr/bin/env bash
# In the build against the real platform, imdaemon.exe imports ov.dll,
# WSOCK32.dll and system DLLs only, nodeflags.dll imports ovw.dll and system
# DLLs only, every name taken from ov.dll or ovw.dll is one that platform/
# declares, and the headers and export lists there agree. Usage: platform_imports_test.sh <platform dir> <imdaemon.exe> <nodeflags.dll>
set -euo pipefail
platform=$1
daemon=$2
bridge=$3
# DLL names are compared in lower case, as Windows finds them.
system_dlls="kernel32.dll msvcrt.dll user32.dll"
fail() { echo "FAIL: $*"; exit 1; }

# "DLL: name" for each imported name.
imports() {
    x86_64-w64-mingw32-objdump -p "$1" | awk '
        /DLL Name:/ { dll = tolower($3); next }
        dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ { print dll ": " $NF }
        /^$/ && dll != "" && seen { dll = "" }
        dll != "" { seen = 1 }'
}
declared() { awk 'f && NF {print $1} /^EXPORTS/ {f=1}' "$platform/$1.def" | sort; }
check() {
    local file=$1 platform_dll=$2 def=$3 extra=$4
    local dlls names
    dlls=$(x86_64-w64-mingw32-objdump -p "$file" | awk '/DLL Name:/ {print tolower($3)}' | sort)
    for dll in $dlls; do
        case " $platform_dll $extra $system_dlls " in *" $dll "*) ;; *) fail "$(basename "$file") imports $dll" ;; esac
    done
    case " $(echo $dlls) " in *" $platform_dll "*) ;; *) fail "$(basename "$file") does not import $platform_dll" ;; esac
    names=$(imports "$file" | awk -v d="$platform_dll" '$1 == d ":" {print $2}' | sort)
    [ -n "$names" ] || fail "no names read from $platform_dll"
    for name in $names; do
        declared "$def" | grep -qx "$name" || fail "$(basename "$file") takes $name, which platform/$def.def does not declare"
    done
    echo "$(basename "$file"): $(echo $dlls); from $platform_dll: $(echo $names)"
}
# The export lists name exactly what the headers declare.
for lib in ov ovw; do
    header=$(grep -E '^(OV_API|OVW_API) ' "$platform/$lib.h" | grep -oE '[A-Za-z_]+(\(| *;)' | tr -d '(; ' | sort)
    [ "$header" = "$(declared $lib)" ] || fail "platform/$lib.h and platform/$lib.def name different functions"
done
check "$daemon" ov.dll ov wsock32.dll
check "$bridge" ovw.dll ovw ""
[ "$(imports "$daemon" | awk '$1 == "ov.dll:" {print $2}' | sort)" = "$(declared ov)" ] ||
    fail "imdaemon.exe must take every name ov.dll declares"
echo PASS
