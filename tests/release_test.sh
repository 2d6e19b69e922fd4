#!/usr/bin/env bash
# The release holds exactly the deliverables and the deployment note, both as
# an installed folder and as the ZIP named for the build's architecture; the
# shipped binaries are stripped and name their debug files, which keep the
# symbols beside the build. Usage: release_test.sh <build dir> <objdump>
set -euo pipefail
build=$(cd "$1" && pwd)
objdump=$2
work="$build/release"
rm -rf "$work"
fail() { echo "FAIL: $*"; exit 1; }
cmake --install "$build" --prefix "$work/folder" >/dev/null
expected=$'DEPLOY.txt\nimcheck.exe\nimdaemon.exe\nnodeflags.dll'
installed=$(cd "$work/folder" && find . -type f | sed 's|^\./||' | sort)
[ "$installed" = "$expected" ] || fail "installed folder holds: $(echo $installed)"
(cd "$build" && cpack -B "$work" >/dev/null)
case "$("$objdump" -f "$build/bin/imdaemon.exe")" in
    *pei-x86-64*) zip="$work/imdaemon-1.0-win64.zip" ;;
    *pei-i386*) zip="$work/imdaemon-1.0-win32.zip" ;;
    *) fail "unknown architecture of imdaemon.exe" ;;
esac
[ -f "$zip" ] || fail "no $(basename "$zip"): $(ls "$work")"
listed=$(cmake -E tar tf "$zip" | sort)
[ "$listed" = "$expected" ] || fail "$(basename "$zip") holds: $(echo $listed)"
for binary in $(printf '%s\n' "$expected" | grep -E '\.(exe|dll)$'); do
    headers=$("$objdump" -h "$work/folder/$binary")
    case "$headers" in *.debug_*) fail "$binary is not stripped" ;; esac
    case "$headers" in *.gnu_debuglink*) ;; *) fail "$binary does not name its debug file" ;; esac
    case "$("$objdump" -h "$build/bin/$binary.debug")" in
        *.debug_info*) ;;
        *) fail "$binary.debug holds no symbols" ;;
    esac
done
echo "PASS: $zip holds $(echo $listed), stripped, symbols in bin/*.debug"
