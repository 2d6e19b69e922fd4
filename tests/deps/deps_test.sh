#!/usr/bin/env bash
# scripts/deps on a bad day at the package mirror, and on machines left in
# odd states, with stand-ins on PATH for everything it changes the machine
# with (tests/deps/bin: apt-get, dpkg, dpkg-query, npm, sudo, id) and for the
# kernel probe, so nothing is installed for real and the i386 cases run on
# any kernel. Each case checks deps' exit status, what it said, the
# architecture list and packages it left, the reason it recorded for the x86
# build, and the calls it made.
# Usage: deps_test.sh <source folder>
set -uo pipefail
source_dir=$(cd "${1:?usage: deps_test.sh <source folder>}" && pwd)
stand_ins=$source_dir/tests/deps/bin
work=$(mktemp -d "${TMPDIR:-/tmp}/deps-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
export PATH="$stand_ins:$PATH" IMDAEMON_DEPS_PAUSE=0
# Never the real apt: a stand-in missing from PATH would install for real.
for tool in apt-get dpkg dpkg-query npm sudo id; do
    [ "$(command -v "$tool")" = "$stand_ins/$tool" ] || { echo "FAIL: $tool is not the stand-in"; exit 1; }
done
required=$(sed -n '/^packages=(/,/)$/p' "$source_dir/scripts/deps" | sed 's/packages=(//; s/)$//' | tr -s ' \n' '\n' | grep .)
[ "$(wc -l <<<"$required")" -gt 10 ] || { echo "FAIL: the required packages were not read from scripts/deps"; exit 1; }
kernel_reason="the kernel (test) does not run 32-bit programs: a static 32-bit program ended with status 126 (Exec format error)"

failures=0
fail() { echo "FAIL: $case_name: $*"; failures=$((failures + 1)); }

# Lays out a tree holding deps and a kernel probe that answers as told, and a
# machine state: arch (foreign architectures), installed, lists, scenario.
#   machine <kernel: 32|64> <arch list> <installed: none|required|all> [scenario line]...
machine() {
    tree=$work/$case_name/tree
    state=$work/$case_name/state
    mkdir -p "$tree/scripts" "$state"
    cp "$source_dir/scripts/deps" "$tree/scripts/deps"
    if [ "$1" = 32 ]; then
        printf '#!/bin/sh\nexit 0\n' >"$tree/scripts/kernel-runs-32bit"
    else
        printf '#!/bin/sh\necho "%s"\nexit 1\n' "$kernel_reason" >"$tree/scripts/kernel-runs-32bit"
    fi
    chmod +x "$tree/scripts/kernel-runs-32bit"
    printf '%s' "$2" | tr ' ' '\n' >"$state/arch"
    : >"$state/installed"
    : >"$state/calls"
    : >"$state/lists"
    case "$3" in
        required | all)
            sed 's/$/:amd64 installed/' <<<"$required" >"$state/installed"
            mkdir -p "$state/npm/@cyclonedx/cyclonedx-library/res/schema"
            touch "$state/npm/@cyclonedx/cyclonedx-library/res/schema/bom-1.5.SNAPSHOT.schema.json" ;;
    esac
    [ "$3" = all ] && printf 'libc6:i386 installed\nwine32:i386 installed\n' >>"$state/installed"
    shift 3
    printf '%s\n' "$@" >"$state/scenario"
}
run_deps() {
    status=0
    output=$(DEPS_STATE=$state "$tree/scripts/deps" 2>&1) || status=$?
}
expect_status() { [ "$status" -eq "$1" ] || fail "exit status $status, not $1"; }
expect_said() { # extended regex
    grep -qE -- "$1" <<<"$output" || fail "did not say /$1/"
}
expect_arch() { # the foreign architectures afterwards, space-separated
    local got
    got=$(paste -sd' ' "$state/arch")
    [ "$got" = "$1" ] || fail "architectures '$got', not '$1'"
}
expect_record() { # extended regex of the recorded reason, or "" for none
    local got
    got=$(cat "$tree/build/wine32-missing.txt" 2>/dev/null) || { fail "no build/wine32-missing.txt"; return; }
    if [ -z "$1" ]; then
        [ -z "$got" ] || fail "recorded '$got', not nothing"
    else
        grep -qE -- "$1" <<<"$got" || fail "recorded '$got', not /$1/"
    fi
}
calls() { grep -cE -- "$1" "$state/calls"; } # how many calls match
expect_calls() { # regex count
    local got
    got=$(calls "$1")
    [ "$got" -eq "$2" ] || fail "$got calls /$1/, not $2"
}
expect_no_i386() {
    ! grep -q ':i386 ' "$state/installed" || fail "i386 packages left: $(grep ':i386 ' "$state/installed" | paste -sd' ')"
}
expect_required_installed() {
    local p
    for p in $required; do
        grep -q "^$p:amd64 installed" "$state/installed" || { fail "$p not installed"; return; }
    done
}
show() { [ $failures -eq "$before" ] || { echo "--- deps said:"; echo "$output"; echo "--- calls:"; cat "$state/calls"; }; }

# A fresh machine on the day the mirror serves a broken i386 index: the
# 64-bit packages install, the 32-bit half is passed over with apt's reason,
# and the architecture deps added is taken back.
case_name="i386 index fails"; before=$failures
machine 32 "" none "I386_INDEX=fail"
run_deps
expect_status 0
expect_said "no 32-bit Wine: .*i386 package index could not be fetched \(E: Failed to fetch .*binary-i386/Packages.xz  File has unexpected size"
expect_said "removed the i386 architecture again"
expect_arch ""
expect_record "i386 package index could not be fetched"
expect_calls "^apt-get update" 4
expect_calls "^apt-get install .*wine32" 0
expect_required_installed
! grep -q 'IP: ' "$tree/build/wine32-missing.txt" || fail "the mirror's address was recorded"
show

# The wine32 download fails after dpkg unpacked an i386 library: the library
# is purged, then the architecture removed.
case_name="wine32 install fails half-way"; before=$failures
machine 32 "" required "WINE32=half"
run_deps
expect_status 0
expect_said "Wine's 32-bit half \(wine32:i386\) could not be installed \(E: Failed to fetch .*libwine_8.0~repack-4_i386.deb"
expect_said "removed the i386 packages the failed install left: libwine:i386"
expect_arch ""
expect_no_i386
expect_record "could not be installed"
expect_calls "^apt-get update" 1
show

# A required package the archive lacks fails deps, named with apt's reason.
case_name="a required package fails"; before=$failures
machine 32 "" none "UNKNOWN=cmake"
run_deps
expect_status 1
expect_said "the required package\(s\) .*cmake.* could not be installed: E: Unable to locate package cmake"
show

# Two failed fetches, then the mirror answers: one round, three tries, and
# everything installed, the 32-bit half included.
case_name="fetch fails twice"; before=$failures
machine 32 "" none "FETCH_FAILS=2"
run_deps
expect_status 0
expect_said "apt-get update failed \(E: Failed to fetch .*binary-amd64.*Hash Sum mismatch\); trying again"
expect_calls "^apt-get update" 3
expect_required_installed
grep -q "^wine32:i386 installed" "$state/installed" || fail "wine32:i386 not installed"
expect_arch "i386"
expect_record ""
show

# Another apt holds the lists' lock for two tries and dpkg's lock until the
# install waits for it.
case_name="locks held"; before=$failures
machine 64 "" none "LOCK_HELD=2" "DPKG_LOCK=held"
run_deps
expect_status 0
expect_said "Could not get lock /var/lib/apt/lists/lock"
expect_calls "^apt-get update" 3
expect_required_installed
show

# An earlier run left the i386 architecture with no i386 package, on a
# kernel that refuses 32-bit programs: removed, and apt never called.
case_name="architecture left behind, 64-bit kernel"; before=$failures
machine 64 "i386" required
run_deps
expect_status 0
expect_said "removed the i386 architecture again"
expect_arch ""
expect_calls "^apt-get" 0
expect_record "does not run 32-bit programs"
show

# The same left-behind architecture where the half is wanted and its index
# still fails: the machine ends as it should have been left.
case_name="architecture left behind, i386 index fails"; before=$failures
machine 32 "i386" required "I386_INDEX=fail"
run_deps
expect_status 0
expect_arch ""
expect_record "i386 package index could not be fetched"
show

# Everything there: no update, no install, no change to the architectures.
case_name="everything installed"; before=$failures
machine 32 "i386" all
run_deps
expect_status 0
expect_calls "^(apt-get|npm install|dpkg --(add|remove|purge))" 0
expect_arch "i386"
expect_record ""
[ -z "$output" ] || fail "said something: $output"
show

# An administrator's own i386 packages keep the architecture when wine32
# fails.
case_name="other i386 packages"; before=$failures
machine 32 "i386" required "WINE32=fail"
echo "zlib1g:i386 installed" >>"$state/installed"
run_deps
expect_status 0
expect_arch "i386"
grep -q "^zlib1g:i386 installed" "$state/installed" || fail "the administrator's zlib1g:i386 was removed"
show

# Not root: every change to the machine goes through sudo.
case_name="not root"; before=$failures
machine 32 "" none
DEPS_UID=1000 run_deps
expect_status 0
[ "$(calls '^sudo (apt-get|env|dpkg|npm)')" -ge 4 ] || fail "only $(calls '^sudo') calls through sudo"
[ "$(calls '^sudo')" -eq "$(calls '^(apt-get (update|install)|dpkg --(add|remove|purge)|npm install)')" ] ||
    fail "$(calls '^sudo') calls through sudo for $(calls '^(apt-get (update|install)|dpkg --(add|remove|purge)|npm install)') changes"
show

# The amd64 index keeps failing on a machine with lists from before: said,
# and the install goes on with those lists.
case_name="amd64 index keeps failing"; before=$failures
machine 64 "" none "FETCH_FAILS=99"
echo amd64 >"$state/lists"
run_deps
expect_status 0
expect_said "apt-get update failed: E: Failed to fetch .*; going on with the package lists this machine has"
expect_required_installed
show

# The schema from npm is required too.
case_name="npm fails"; before=$failures
machine 64 "" required "NPM=fail"
rm -r "$state/npm"
run_deps
expect_status 1
expect_said "the required npm package @cyclonedx/cyclonedx-library@[0-9.]+ could not be installed: npm ERR! code E503"
show

[ $failures -eq 0 ] && echo "PASS: scripts/deps installs what is required, passes over Wine's 32-bit half with its reason, and takes back what it did for it"
exit $((failures > 0))
