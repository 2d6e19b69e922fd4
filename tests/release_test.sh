#!/usr/bin/env bash
# The release holds exactly the deliverables, the deployment note, the
# third-party notices and the bill of materials, both as an installed folder
# and as the ZIP the build makes for its architecture (entries in name
# order); the self-test's ZIP holds the self-test, its stand-ins in a folder
# of their own, its README.txt and its own notices and bill, under names
# that let both ZIPs unpack into one folder. The shipped binaries of both are
# the ones built, stripped, and name their debug files, which keep the
# symbols beside the build. The notices follow the link: made from the
# bridge's map alone, they no longer name what only the programs link.
# Usage: release_test.sh <build dir> <objdump> <release ZIP> <self-test ZIP> <version> [<folder>:... lld links from]
set -euo pipefail
build=$(cd "$1" && pwd)
objdump=$2
zip=$3
selftest_zip=$4
version=$5
libdirs=()
IFS=: read -ra folders <<<"${6:-}"
for folder in "${folders[@]}"; do libdirs+=(--libdir "$folder"); done
work="$build/release-test"
rm -rf "$work"
fail() { echo "FAIL: $*"; exit 1; }
cmake --install "$build" --prefix "$work/folder" >/dev/null
expected=$'DEPLOY.txt\nTHIRD-PARTY-NOTICES.txt\nimcheck.exe\nimdaemon.cdx.json\nimdaemon.exe\nnodeflags.dll'
installed=$(cd "$work/folder" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[ "$installed" = "$expected" ] || fail "installed folder holds: $(echo $installed)"
# The ZIP names the architecture of what it holds.
case "$("$objdump" -f "$build/bin/imdaemon.exe")/$(basename "$zip")" in
    *pei-x86-64*/imdaemon-*-win64*.zip | *pei-i386*/imdaemon-*-win32*.zip) ;;
    *) fail "$(basename "$zip") is not named for the architecture of imdaemon.exe" ;;
esac
[ -f "$zip" ] || fail "no $(basename "$zip"): $(ls "$build/release")"
listed=$(cmake -E tar tf "$zip")
[ "$listed" = "$expected" ] || fail "$(basename "$zip") holds: $(echo $listed)"
selftest_expected=$'README.txt\nTHIRD-PARTY-NOTICES-selftest.txt\nimdaemon-selftest.cdx.json\nimselftest.exe'
selftest_expected+=$'\nstand-ins/javaapp.exe\nstand-ins/ov.dll\nstand-ins/ovspmd-sim.exe\nstand-ins/ovw.dll'
[ "$(basename "$selftest_zip")" = "$(basename "$zip" .zip)-selftest.zip" ] ||
    fail "the self-test ZIP $(basename "$selftest_zip") is not named after $(basename "$zip")"
listed=$(cmake -E tar tf "$selftest_zip")
[ "$listed" = "$selftest_expected" ] || fail "$(basename "$selftest_zip") holds: $(echo $listed)"
mkdir "$work/zip"
# Both into one folder, as the self-test's README.txt has the administrator
# do: nothing of one may overwrite the other.
(cd "$work/zip" && cmake -E tar xf "$zip" && cmake -E tar xf "$selftest_zip")
for entry in $(printf '%s\n' "$expected" "$selftest_expected" | grep -E '\.(exe|dll)$'); do
    binary=${entry##*/}
    cmp -s "$work/zip/$entry" "$build/bin/$binary" || fail "$entry in its ZIP is not the one built"
    headers=$("$objdump" -h "$work/zip/$entry")
    case "$headers" in *.debug_*) fail "$binary is not stripped" ;; esac
    case "$headers" in *.gnu_debuglink*) ;; *) fail "$binary does not name its debug file" ;; esac
    case "$("$objdump" -h "$build/bin/$binary.debug")" in
        *.debug_info*) ;;
        *) fail "$binary.debug holds no symbols" ;;
    esac
done
notices="$work/zip/THIRD-PARTY-NOTICES.txt"
for component in libssp libgcc "mingw-w64 runtime"; do
    grep -q "^$component (.*nodeflags.dll" "$notices" || fail "the notices do not name $component in nodeflags.dll"
done
grep -q '^libstdc++ (.*imdaemon.exe' "$notices" || fail "the notices do not name libstdc++ in imdaemon.exe"
script=$(cd "$(dirname "$0")/.." && pwd)/cmake/third-party.py
(cd "$build" && python3 "$script" --notices "$work/bridge-notices.txt" --bom "$work/bridge.cdx.json" \
    --version "$version" --revision archive --epoch 0 "${libdirs[@]}" --map "$build/nodebridge/nodeflags.map=$build/bin/nodeflags.dll")
grep -q '^libssp (' "$work/bridge-notices.txt" || fail "the bridge's own notices do not name libssp"
! grep -q '^libstdc++ (' "$work/bridge-notices.txt" || fail "the bridge's own notices name libstdc++, which only the programs link"
echo "PASS: $zip holds $(echo $listed), stripped, symbols in bin/*.debug; the notices follow the link"
