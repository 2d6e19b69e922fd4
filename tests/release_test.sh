#!/usr/bin/env bash
# The release holds exactly the deliverables and the deployment note, both as
# an installed folder and as the ZIP the build makes for its architecture
# (entries in name order); the shipped binaries are stripped and name their
# debug files, which keep the symbols beside the build.
# Usage: release_test.sh <build dir> <objdump> <release ZIP>
set -euo pipefail
build=$(cd "$1" && pwd)
objdump=$2
zip=$3
work="$build/release-test"
rm -rf "$work"
fail() { echo "FAIL: $*"; exit 1; }
cmake --install "$build" --prefix "$work/folder" >/dev/null
expected=$'DEPLOY.txt\nimcheck.exe\nimdaemon.exe\nnodeflags.dll'
installed=$(cd "$work/folder" && find . -type f | sed 's|^\./||' | sort)
[ "$installed" = "$expected" ] || fail "installed folder holds: $(echo $installed)"
# The ZIP names the architecture of what it holds.
case "$("$objdump" -f "$build/bin/imdaemon.exe")/$(basename "$zip")" in
    *pei-x86-64*/imdaemon-*-win64*.zip | *pei-i386*/imdaemon-*-win32*.zip) ;;
    *) fail "$(basename "$zip") is not named for the architecture of imdaemon.exe" ;;
esac
[ -f "$zip" ] || fail "no $(basename "$zip"): $(ls "$build/release")"
listed=$(cmake -E tar tf "$zip")
[ "$listed" = "$expected" ] || fail "$(basename "$zip") holds: $(echo $listed)"
mkdir "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$zip")
for binary in $(printf '%s\n' "$expected" | grep -E '\.(exe|dll)$'); do
    cmp -s "$work/zip/$binary" "$build/bin/$binary" || fail "$binary in the ZIP is not the one built"
    headers=$("$objdump" -h "$work/folder/$binary")
    case "$headers" in *.debug_*) fail "$binary is not stripped" ;; esac
    case "$headers" in *.gnu_debuglink*) ;; *) fail "$binary does not name its debug file" ;; esac
    case "$("$objdump" -h "$build/bin/$binary.debug")" in
        *.debug_info*) ;;
        *) fail "$binary.debug holds no symbols" ;;
    esac
done
echo "PASS: $zip holds $(echo $listed), stripped, symbols in bin/*.debug"
