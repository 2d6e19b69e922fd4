#!/usr/bin/env bash
# The bills of materials of the release ZIP and the self-test ZIP validate
# and match their ZIP's files (bom_check.py, run by the system's Python,
# where python3-jsonschema installs), and give every linked source file of a
# package with a machine-readable copyright file the licences that file
# gives it, as the binaries' debug information names them (the debug files
# in <debug folder>, the build's bin/ beside release/ unless given). The
# check refuses a bill that is not the schema's, a hash that is not the
# file's, a file the bill leaves out, a package named twice, a part without
# a licence its linked code has or with another licence text, notices that
# leave a linked source file out or list it under the wrong licence, and a
# debug file that is not the binary's. The licence matcher of
# cmake/third-party.py is tested on its own first (bom_licences_test.py).
# Usage: bom_test.sh <release zip> <self-test zip> <version> [<debug folder> [<objdump>]]
set -euo pipefail
zip=$1
selftest_zip=$2
version=$3
debug=${4:-$(dirname "$zip")/../bin}
objdump=()
if [ -n "${5:-}" ]; then objdump=(--objdump "$5"); fi
here=$(dirname "$0")
check=$here/bom_check.py
fail() { echo "FAIL: $*"; exit 1; }
/usr/bin/python3 "$here/bom_licences_test.py" || fail "the licence matcher of cmake/third-party.py"
[ -d "$debug" ] || fail "no debug folder $debug"
for checked in "$zip" "$selftest_zip"; do
    /usr/bin/python3 "$check" "$checked" "$version" --debug "$debug" "${objdump[@]}" ||
        fail "the bill of materials of $checked does not check"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/imdaemon-bom-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 - "$zip" "$work" <<'PYTHON'
import copy, hashlib, json, re, sys, zipfile
source, work = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(source) as z:
    files = {n: z.read(n) for n in z.namelist()}
original = json.loads(files["imdaemon.cdx.json"])

def write(name, bom, notices=None):
    """The ZIP with another bill (and notices, whose hash the bill then holds)."""
    changed = dict(files)
    if notices is not None:
        changed["THIRD-PARTY-NOTICES.txt"] = notices.replace("\r\n", "\n").replace("\n", "\r\n").encode()
        for c in bom["components"]:
            if c["name"] == "THIRD-PARTY-NOTICES.txt":
                c["hashes"][0]["content"] = hashlib.sha256(changed["THIRD-PARTY-NOTICES.txt"]).hexdigest()
    changed["imdaemon.cdx.json"] = json.dumps(bom).encode()
    with zipfile.ZipFile("%s/%s.zip" % (work, name), "w") as z:
        for n, data in changed.items():
            z.writestr(n, data)

def runtime(bom):
    """The mingw-w64 package of a bill and its runtime part."""
    package = next(c for c in bom["components"] if c.get("purl", "").startswith("pkg:deb/debian/mingw-w64-"))
    return package, next(p for p in package["components"] if p["name"] == "mingw-w64 runtime")

bom = copy.deepcopy(original)
bom["shippedBy"] = "nobody"  # no such property in the schema
for c in bom["components"]:
    if c["name"] == "imdaemon.exe":
        c["hashes"][0]["content"] = "0" * 64
write("tampered", bom)
with zipfile.ZipFile(work + "/extra.zip", "w") as z:
    for n, data in list(files.items()) + [("extra.dll", b"MZ")]:
        z.writestr(n, data)
# The mingw-w64 package twice, under another bom-ref.
bom = copy.deepcopy(original)
package, _ = runtime(bom)
twin = copy.deepcopy(package)
twin["bom-ref"] = "package:twin"
for part in twin["components"]:
    part["bom-ref"] += "-twin"
bom["components"].append(twin)
write("twice", bom)
# Linked gdtoa code without its licence: the bill as the mingw-w64 runtime's
# package licence alone gave it.
bom = copy.deepcopy(original)
for holder in runtime(bom):
    holder["licenses"] = [l for l in holder["licenses"] if l.get("license", {}).get("name") != "Lucent"]
write("no-lucent", bom)
# Its licence with another text.
bom = copy.deepcopy(original)
for holder in runtime(bom):
    for l in holder["licenses"]:
        if l.get("license", {}).get("name") == "Lucent":
            l["license"]["text"]["content"] = "Do what you like."
write("lucent-text", bom)
# Notices without gdtoa.c; notices with it under the runtime's other licence.
notices = files["THIRD-PARTY-NOTICES.txt"].decode().replace("\r\n", "\n")
assert re.search(r"\n        .*mingw-w64-crt/gdtoa/gdtoa\.c", notices)
write("no-gdtoa", copy.deepcopy(original), re.sub(r" ?mingw-w64-crt/gdtoa/gdtoa\.c", "", notices))
moved = re.sub(r" ?mingw-w64-crt/gdtoa/gdtoa\.c", "", notices)
moved = re.sub(r"(\n    ZPL-2\.1, in [^\n]*:\n)", r"\1        mingw-w64-crt/gdtoa/gdtoa.c\n", moved, count=1)
write("gdtoa-zpl", copy.deepcopy(original), moved)
PYTHON
expect() {  # expect <zip> <what it shows> <message>...
    local zip=$1 what=$2 out
    shift 2
    out=$(/usr/bin/python3 "$check" "$work/$zip.zip" "$version" --debug "${debug_override:-$debug}" "${objdump[@]}" || true)
    for message in "$@"; do
        case "$out" in *"$message"*) ;; *) echo "$out"; fail "$what passes" ;; esac
    done
}
expect tampered "a bill outside the schema" "FAIL: schema: Additional properties are not allowed ('shippedBy'"
expect tampered "a wrong hash" "FAIL: imdaemon.exe: SHA-256 0000"
expect extra "a file the bill leaves out" "FAIL: extra.dll is in the ZIP but not in the bill of materials"
expect twice "a package named twice" "FAIL: 2 components have the purl pkg:deb/debian/mingw-w64-"
expect no-lucent "a bill without the licence of the linked gdtoa code" \
    "FAIL: mingw-w64 runtime: the bill does not give it Lucent (Lucent) with the copyright file's text" \
    "FAIL: imdaemon.exe links mingw-w64-crt/gdtoa/gdtoa.c of mingw-w64-" \
    ", under Lucent: the bill gives no part of mingw-w64-"
expect lucent-text "a licence with another text" \
    "FAIL: mingw-w64 runtime: the bill does not give it Lucent (Lucent) with the copyright file's text"
expect no-gdtoa "notices without a linked source file" \
    "FAIL: imdaemon.exe links /build/mingw-w64-crt/gdtoa/gdtoa.c (mingw-w64-crt/gdtoa/gdtoa.c of mingw-w64-"
expect gdtoa-zpl "notices with a source file under the wrong licence" \
    "FAIL: mingw-w64 runtime: the notices list mingw-w64-crt/gdtoa/gdtoa.c under ZPL-2.1," \
    "the copyright file gives it Lucent"
# A debug file that is not the binary's.
mkdir "$work/debug"
cp "$debug"/*.debug "$work/debug/"
cp "$debug/imcheck.exe.debug" "$work/debug/imdaemon.exe.debug"
cp "$zip" "$work/real.zip"
debug_override=$work/debug expect real "another binary's debug file" \
    "FAIL: imdaemon.exe names the debug file imdaemon.exe.debug (CRC"
echo "PASS: the bills of materials of $zip and $selftest_zip validate, match and give each linked source file its licences;" \
     "a bill outside the schema, a wrong hash, an unlisted file, a package named twice, a missing or altered licence," \
     "notices that leave out or mislicense a linked file and a wrong debug file fail"
