#!/usr/bin/env bash
# The self-test proves the release folder it is given, not copies of its
# own. A folder lacking nodeflags.dll, one whose nodeflags.dll is of the other
# architecture, one whose imdaemon.exe is cut short (by half, or by the one
# byte of padding after its data) and one whose nodeflags.dll has a byte
# changed each fail with one finding naming that binary, before anything is
# laid out. Binaries that pass those checks and still do not work fail on
# what they did not do: a nodeflags.dll without the bridge's methods
# (another library of the same architecture), an imdaemon.exe that is
# another program, and one that crashes, which is named as a crash first.
# The release as unpacked passes. Every station laid out in the folder given
# with --in is gone afterwards.
# Then what is no verdict on the release: a command line it cannot take
# ends it with status 2 before it looks at anything, /? with 0; a folder
# typed as cmd.exe hands it over ("...\" --keep) keeps the words after it; a
# station file held at clean-up, briefly or for good, never fails a sound
# release; a station a killed run left is removed by the next run, one kept
# or held by a live run is not; the stand-ins' settings in the environment
# do not reach the programs it starts.
# Usage: selftest_test.sh <release ZIP> <self-test ZIP> <library of the other
#        architecture> <work folder> <drive letter for the stations>
#        <selftest_helper program> <program that crashes at once>
#        <program that never ends>
set -euo pipefail
release_zip=$1
selftest_zip=$2
other_arch_library=$3
work=$4
drive=$5
helper=$6
fault=$7
hang=$8
wine_run=$(cd "$(dirname "$0")/../.." && pwd)/cmake/wine-run
umask 022
rm -rf "$work"
mkdir -p "$work/selftest" "$work/stations"
(cd "$work/selftest" && cmake -E tar xf "$selftest_zip")
# The stations' drive: the folders above a station end at its root.
ln -sfn "$work/stations" "$WINEPREFIX/dosdevices/$drive:"
failed=0

# run_case <name> <last line expected, a pattern> one|many <command that spoils the release folder>
# (one: the last line names one finding only). The self-test's output is
# left in output.
run_case() {
    local name=$1 expected=$2 findings=$3 spoil=$4 status=0 last wanted=1
    [ "$expected" != "selftest passed" ] || wanted=0
    mkdir "$work/$name"
    (cd "$work/$name" && cmake -E tar xf "$release_zip" && eval "$spoil")
    output=$(cd "$work" && "$wine_run" selftest/imselftest.exe --in "$drive:\\" "$name" | tr -d '\r') || status=$?
    last=$(printf '%s\n' "$output" | tail -n 1)
    # shellcheck disable=SC2053 # the expectation is a pattern
    if [[ $last != $expected ]] || { [ "$findings" = one ] && [[ $last == *"; "* ]]; } || [ "$status" -ne "$wanted" ]; then
        printf '%s\n' "$output"
        echo "FAIL: $name: exit status $status, last line \"$last\", expected \"$expected\""
        failed=1
    elif [ -n "$(ls -A "$work/stations")" ]; then
        echo "FAIL: $name: left behind in the stations' folder: $(ls -A "$work/stations")"
        failed=1
    else
        echo "PASS: $name: $last"
    fi
}

run_case missing-bridge 'selftest FAILED: nodeflags.dll is missing from the release folder *' one \
    'rm nodeflags.dll'
run_case foreign-bridge 'selftest FAILED: nodeflags.dll in the release folder * is a * binary, and this self-test a * one*' one \
    "cp '$other_arch_library' nodeflags.dll"
run_case damaged-daemon 'selftest FAILED: imdaemon.exe in the release folder * is damaged: it ends at byte *' one \
    'head -c "$(($(stat -c %s imdaemon.exe) / 2))" imdaemon.exe >cut && mv cut imdaemon.exe'
# One byte short (only the padding after its data) or one byte changed: the
# checksum its header gives no longer matches.
run_case daemon-one-byte-short 'selftest FAILED: imdaemon.exe in the release folder * is damaged: its checksum is *' one \
    'head -c -1 imdaemon.exe >cut && mv cut imdaemon.exe'
run_case bridge-byte-changed 'selftest FAILED: nodeflags.dll in the release folder * is damaged: its checksum is *' one \
    "python3 -c \"p = 'nodeflags.dll'; b = bytearray(open(p, 'rb').read()); b[len(b) // 2] ^= 0x20; open(p, 'wb').write(b)\""
# With the release's bill of materials beside them, files of another build
# or release are refused byte for byte; without it, by what they fail to do.
run_case bridge-of-another-build 'selftest FAILED: nodeflags.dll in the release folder * is not the file imdaemon.cdx.json lists*' one \
    "cp '$work/selftest/stand-ins/ov.dll' nodeflags.dll"
run_case document-of-another-release 'selftest FAILED: DEPLOY.txt in the release folder * is not the file imdaemon.cdx.json lists*' one \
    'echo "an older note" >>DEPLOY.txt'
run_case bill-unreadable 'selftest FAILED: *imdaemon.cdx.json cannot be read as a bill of materials' one \
    "echo '{\"components\": [' >imdaemon.cdx.json"
# A bill that is not one of a release: a name outside the folder or of a
# device, a file listed twice with two hashes, text after its end. Upper-case
# hashes are the same hashes.
bill() { # python statements on the bill b, run in the case's folder
    printf '%s\n' "import json; b = json.load(open('imdaemon.cdx.json'))" "$1" \
        "open('imdaemon.cdx.json', 'w').write(json.dumps(b))" >edit-bill.py
    python3 edit-bill.py && rm edit-bill.py
}
add_file() { # name: a file the bill lists, with a hash of no file
    bill "b['components'].append({'type': 'file', 'name': '$1', 'hashes': [{'alg': 'SHA-256', 'content': '00'}]})"
}
run_case bill-name-outside 'selftest FAILED: *lists a file named "../imcheck.exe", which no ZIP of the release holds*' one \
    'add_file ../imcheck.exe'
run_case bill-name-of-a-device 'selftest FAILED: *lists a file named "nul.txt", which no ZIP of the release holds*' one \
    'add_file nul.txt'
run_case bill-lists-twice 'selftest FAILED: *lists imdaemon.exe twice, with two SHA-256*' one 'add_file imdaemon.exe'
run_case bill-with-text-after-it 'selftest FAILED: *imdaemon.cdx.json cannot be read as a bill of materials' one \
    'echo "}" >>imdaemon.cdx.json'
run_case bill-in-upper-case 'selftest passed' one \
    "bill \"[h.update(content=h['content'].upper()) for c in b['components'] for h in c.get('hashes', [])]\""
run_case bridge-without-methods 'selftest FAILED: *database opened through nodeflags.dll*' many \
    "cp '$work/selftest/stand-ins/ov.dll' nodeflags.dll && rm imdaemon.cdx.json"
run_case daemon-is-another-program 'selftest FAILED: *initialisation reported*' many \
    'cp imcheck.exe imdaemon.exe && rm imdaemon.cdx.json'
# A daemon that crashes at its start is named as a crash, first.
run_case daemon-crashes 'selftest FAILED: imdaemon.exe crashed: exception 0xc0000005, an access violation; *' many \
    "cp '$fault' imdaemon.exe && rm imdaemon.cdx.json"
# An imcheck that never ends is waited for a minute, ended, and called hung.
run_case imcheck-hangs 'selftest FAILED: imcheck found nothing; imcheck named the command line*' many \
    "cp '$hang' imcheck.exe && rm imdaemon.cdx.json"
grep -q '\] imcheck hung: it did not end within 60 s, and was ended$' <<<"$output" &&
    grep -q 'MISSING  imcheck found nothing (it hung)$' <<<"$output" ||
    { echo "FAIL: imcheck-hangs: not called hung"; failed=1; }
run_case sound-release 'selftest passed' one ':'
# The commands went once the window was open, not on the way there.
case "$output" in
    *"opened no window"*) echo "FAIL: sound-release: the self-test did not see the application's window open"; failed=1 ;;
esac

# run_self <name> <exit status> <pattern of a line it must print> <pattern of its last line> <argument>...
# runs the self-test from the work folder; its output is left in output.
run_self() {
    local name=$1 wanted=$2 line=$3 expected=$4 status=0 last
    shift 4
    output=$(cd "$work" && "$wine_run" "${selftest:-selftest}/imselftest.exe" "$@" | tr -d '\r') || status=$?
    last=$(printf '%s\n' "$output" | tail -n 1)
    # shellcheck disable=SC2053 # the expectations are patterns
    if [ "$status" -ne "$wanted" ] || [[ $last != $expected ]] ||
       ! printf '%s\n' "$output" | grep -q -- "$line"; then
        printf '%s\n' "$output"
        echo "FAIL: $name: exit status $status, last line \"$last\"; expected $wanted, \"$expected\" and a line /$line/"
        failed=1
        return 1
    fi
    echo "PASS: $name: $last"
}
stations() { ls -A "$work/stations"; }

run_self help 0 '^usage: imselftest' '  --keep *' '/?' || true
run_self in-twice 2 '^usage: imselftest' 'selftest not run: --in is given twice*' --in "$drive:\\" --in "$drive:\\" sound-release || true
mkdir -p "$work/stations/a%20b"
run_self percent-20 2 '^usage: imselftest' "selftest not run: the station cannot be laid out in *a%20b*: its path holds %20*" \
    --in "$drive:\\a%20b" sound-release || true
rmdir "$work/stations/a%20b"
long=$(printf 'd%.0s' $(seq 1 215))
mkdir -p "$work/stations/$long"
run_self folder-too-long 2 '^usage: imselftest' "selftest not run: the folder *$long* is too long for a station*" \
    --in "$drive:\\$long" sound-release || true
rmdir "$work/stations/$long"
run_self long-path-prefix 0 'station removed' 'selftest passed' --in "\\\\?\\$drive:\\" sound-release || true
# The self-test's stand-ins must be its own: one of another ZIP is refused,
# and without its bill of materials none can be proven its own.
cp -r "$work/selftest" "$work/selftest-foreign"
cp "$work/selftest-foreign/stand-ins/ov.dll" "$work/selftest-foreign/stand-ins/ovw.dll"
selftest=selftest-foreign run_self foreign-stand-in 1 'stand-ins.ovw.dll in the self-test' \
    "selftest FAILED: stand-ins?ovw.dll in the self-test's folder * is not the file imdaemon-selftest.cdx.json lists*" \
    --in "$drive:\\" sound-release || true
rm "$work/selftest-foreign/imdaemon-selftest.cdx.json"
selftest=selftest-foreign run_self self-test-without-its-bill 1 'cannot be proven its own' \
    "selftest FAILED: imdaemon-selftest.cdx.json is missing from the self-test's folder *" \
    --in "$drive:\\" sound-release || true
rm -rf "$work/selftest-foreign"
[ -z "$(ls -A "$work/stations")" ] || { echo "FAIL: the refused runs left a station: $(ls -A "$work/stations")"; failed=1; }

# Folders outside the ANSI code page (Ł is not in 1252, which Wine runs
# with; 自检 in none of the Latin ones): a release or self-test folder is read
# through wide calls, and the station goes by the short name of its folder,
# which the daemon, an ANSI program, reaches; with short names switched off
# there is nothing the daemon could reach, and it says so, making nothing.
mkdir -p "$work/stations/Łukasz"
run_self station-folder-outside-the-code-page 0 'is reached by its short name' 'selftest passed' \
    --in "$drive:\\Łukasz" sound-release || true
run_self no-short-names 2 '^usage: imselftest' \
    "selftest not run: the folder *<U+0141>ukasz* holds letters the ANSI code page (*) cannot, and it has no short name*" \
    --no-short-names --in "$drive:\\Łukasz" sound-release || true
[ -z "$(ls -A "$work/stations/Łukasz")" ] || { echo "FAIL: left in Łukasz: $(ls -A "$work/stations/Łukasz")"; failed=1; }
rmdir "$work/stations/Łukasz"
cp -r "$work/sound-release" "$work/Łukasz release"
cp -r "$work/selftest" "$work/自检"
selftest=自检 run_self release-and-self-test-outside-the-code-page 0 'station removed' 'selftest passed' \
    --in "$drive:\\" "Łukasz release" || true
rm -rf "$work/Łukasz release" "$work/自检"

# The stand-ins' own switches, as a developer's shell may hold them: the
# daemon's start would fail with OV_SIM_FAIL=init.
OV_SIM_FAIL=init JAVAAPP_SIM_MODE=ignore run_self stand-in-settings-cleared 0 'station removed' 'selftest passed' \
    --in "$drive:\\" sound-release || true

# A file of the station held at clean-up, as a virus scanner holds one: for
# six seconds (longer than a run takes), the station is removed all the same;
# for good, the release still passes and the station left is named on a line
# of its own.
"$wine_run" "$helper" hold "$drive:\\" 'Integration Module\quorel-im.jar' 6000 >"$work/held.txt" &
holder=$!
run_self held-briefly 0 '\] station removed$' 'selftest passed' --in "$drive:\\" sound-release || true
wait $holder || { echo "FAIL: held-briefly: the helper held nothing"; failed=1; }
[ -z "$(stations)" ] || { echo "FAIL: held-briefly: left in the stations' folder: $(stations)"; failed=1; }
"$wine_run" "$helper" hold "$drive:\\" 'Integration Module\quorel-im.jar' 15000 >"$work/held.txt" &
holder=$!
run_self held-for-good 0 'the station could not be removed (.*error 32: .*): remove .* the next run of the self-test removes it too$' \
    'selftest passed' --in "$drive:\\" sound-release || true
wait $holder || { echo "FAIL: held-for-good: the helper held nothing"; failed=1; }
left=$(stations)

# As cmd.exe passes what an administrator typed: the release folder quoted
# with its trailing backslash, --keep after it.
status=0
output=$(cd "$work" && RAW_COMMAND_LINE="selftest\\imselftest.exe --in $drive:\\ \"sound-release\\\" --keep" \
         "$wine_run" "$helper" raw | tr -d '\r') || status=$?
kept=$(stations | grep -vx "$left" || true)
if [ $status -ne 0 ] || ! grep -q '^\[.*\] station kept: ' <<<"$output" || [ -z "$kept" ] ||
   [ "$(tr -d '\r\n' <"$work/stations/$kept/imselftest.run")" != kept ]; then
    printf '%s\n' "$output"
    echo "FAIL: quote-trap: exit status $status; the station was not kept ($kept)"
    failed=1
else
    echo "PASS: quote-trap: --keep after \"sound-release\\\" kept $kept"
fi

# What a killed run left (its mark let go) is removed by the next run; what
# was kept, and what a live run holds, stays.
mkdir -p "$work/stations/imselftest station 99999/Integration Module" "$work/stations/imselftest station 99998"
printf 'a station of imselftest, removed by a later run once its own has ended\r\n' \
    >"$work/stations/imselftest station 99999/imselftest.run"
printf 'a station of imselftest, removed by a later run once its own has ended\r\n' \
    >"$work/stations/imselftest station 99998/imselftest.run"
live="imselftest station 99998"
# Held for longer than the run needs to look at the stations.
"$wine_run" "$helper" hold "$drive:\\$live" 'imselftest.run' 8000 >"$work/held.txt" &
holder=$!
for ((try = 0; try < 600; try++)); do grep -q held "$work/held.txt" 2>/dev/null && break; sleep 0.1; done
run_self stale-stations 0 'removed .*imselftest station 99999\\, the station of a run that was ended' 'selftest passed' \
    --in "$drive:\\" sound-release || true
wait $holder || { echo "FAIL: stale-stations: the helper held nothing"; failed=1; }
remaining=$(stations | sort | paste -sd'|')
expected_remaining=$(printf '%s\n' "$kept" "$live" | sort -u | paste -sd'|')
if [ -z "$left" ] || [ "$remaining" != "$expected_remaining" ]; then
    echo "FAIL: stale-stations: left after the held run: '$left'; remaining '$remaining', not '$expected_remaining'"
    failed=1
fi
rm -rf "${work:?}/stations/"*
exit $failed
