#!/usr/bin/env bash
# The bills of materials of the release ZIP and the self-test ZIP validate
# and match their ZIP's files (bom_check.py, run by the system's Python,
# where python3-jsonschema installs); and the check refuses a bill that is
# not the schema's, a hash that is not the file's, and a file the bill leaves
# out.
# Usage: bom_test.sh <release zip> <self-test zip> <version>
set -euo pipefail
zip=$1
selftest_zip=$2
version=$3
check=$(dirname "$0")/bom_check.py
fail() { echo "FAIL: $*"; exit 1; }
for checked in "$zip" "$selftest_zip"; do
    /usr/bin/python3 "$check" "$checked" "$version" || fail "the bill of materials of $checked does not check"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/imdaemon-bom-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 - "$zip" "$work" <<'PYTHON'
import json, sys, zipfile
source, work = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(source) as z:
    files = {n: z.read(n) for n in z.namelist()}
bom = json.loads(files["imdaemon.cdx.json"])
bom["shippedBy"] = "nobody"  # no such property in the schema
for c in bom["components"]:
    if c["name"] == "imdaemon.exe":
        c["hashes"][0]["content"] = "0" * 64
with zipfile.ZipFile(work + "/tampered.zip", "w") as z:
    for n, data in files.items():
        z.writestr(n, json.dumps(bom) if n == "imdaemon.cdx.json" else data)
with zipfile.ZipFile(work + "/extra.zip", "w") as z:
    for n, data in list(files.items()) + [("extra.dll", b"MZ")]:
        z.writestr(n, data)
PYTHON
out=$(/usr/bin/python3 "$check" "$work/tampered.zip" "$version" || true)
case "$out" in *"FAIL: schema: Additional properties are not allowed ('shippedBy'"*) ;; *) echo "$out"; fail "a bill outside the schema passes" ;; esac
case "$out" in *"FAIL: imdaemon.exe: SHA-256 0000"*) ;; *) echo "$out"; fail "a wrong hash passes" ;; esac
out=$(/usr/bin/python3 "$check" "$work/extra.zip" "$version" || true)
case "$out" in *"FAIL: extra.dll is in the ZIP but not in the bill of materials"*) ;; *) echo "$out"; fail "a file the bill leaves out passes" ;; esac
echo "PASS: the bills of materials of $zip and $selftest_zip validate and match; a bill outside the schema, a wrong hash and an unlisted file fail"
