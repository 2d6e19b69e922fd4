#!/usr/bin/env bash
# The release holds exactly the two deliverables, imcheck and the deployment note,
# both as an installed folder and as the ZIP. Usage: release_test.sh <build dir>
set -euo pipefail
build=$1
build=$(cd "$build" && pwd)
work="$build/release-test"
rm -rf "$work"
cmake --install "$build" --prefix "$work/folder" >/dev/null
expected=$'DEPLOY.txt\nimcheck.exe\nimdaemon.exe\nnodeflags.dll'
installed=$(cd "$work/folder" && find . -type f | sed 's|^\./||' | sort)
[ "$installed" = "$expected" ] || { echo "FAIL: installed folder holds:"; echo "$installed"; exit 1; }
(cd "$build" && cpack -B "$work/zip" >/dev/null)
zip=$(ls "$work"/zip/*.zip)
listed=$(cmake -E tar tf "$zip" | sort)
[ "$listed" = "$expected" ] || { echo "FAIL: $zip holds:"; echo "$listed"; exit 1; }
echo "PASS: $(basename "$zip") holds $(echo $listed)"
