#!/usr/bin/env bash
# The self-test proves the release folder it is given, not copies of its
# own. A folder lacking nodeflags.dll, one whose nodeflags.dll is of the other
# architecture, one whose imdaemon.exe is cut short (by half, or by the one
# byte of padding after its data) and one whose nodeflags.dll has a byte
# changed each fail with one finding naming that binary, before anything is laid out. Binaries that
# pass those checks and still do not work fail on what they did not do: a
# nodeflags.dll without the bridge's methods (another library of the same
# architecture), an imdaemon.exe that is another program. The release as
# unpacked passes. Every station laid out in the folder given with --in is
# gone afterwards.
# Usage: selftest_test.sh <release ZIP> <self-test ZIP> <library of the other
#        architecture> <work folder> <drive letter for the stations>
set -euo pipefail
release_zip=$1
selftest_zip=$2
other_arch_library=$3
work=$4
drive=$5
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
run_case bridge-without-methods 'selftest FAILED: *database opened through nodeflags.dll*' many \
    "cp '$work/selftest/stand-ins/ov.dll' nodeflags.dll"
run_case daemon-is-another-program 'selftest FAILED: *initialisation reported*' many \
    'cp imcheck.exe imdaemon.exe'
run_case sound-release 'selftest passed' one ':'
# The commands went once the window was open, not on the way there.
case "$output" in
    *"opened no window"*) echo "FAIL: sound-release: the self-test did not see the application's window open"; failed=1 ;;
esac
exit $failed
