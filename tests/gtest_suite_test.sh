#!/usr/bin/env bash
# cmake/gtest-suite, which runs one GoogleTest suite for CTest, must pass a
# suite only when the program ends with status 0 having run every case the
# suite listed, whatever the line ends; a program standing in for the test
# program prints what it is told and ends with the status it is told. Then
# the whole chain, cmake/gtest-suites.cmake listing a real GoogleTest
# program's suites for CTest and the runner running them, must count
# disabled cases apart and pass.
# Usage: gtest_suite_test.sh <cmake folder> <gtest_listing_probe program>
set -uo pipefail
cmake_dir=$(cd "$1" && pwd)
runner=$cmake_dir/gtest-suite
suites_module=$cmake_dir/gtest-suites.cmake
probe=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/gtest-suite-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The stand-in program: prints $OUTPUT, records its arguments, ends with $STATUS.
program=$work/program
printf '#!/bin/sh\nprintf "%%s" "$*" >"%s/arguments"\nprintf "$OUTPUT"\nexit "$STATUS"\n' "$work" >"$program"
chmod +x "$program"
ran3='[==========] 3 tests from 1 test suite ran. (5 ms total)\n[  PASSED  ] 3 tests.\n'
failures=0
disabled1='  YOU HAVE 1 DISABLED TEST\n'
# listed cases, disabled ones | the program's output | its status | the runner's status
while IFS='|' read -r listed output status expected what; do
    OUTPUT=$output STATUS=$status bash "$runner" $listed Suite "$program" >"$work/log" 2>&1
    got=$?
    if [ "$got" != "$expected" ]; then
        echo "FAIL: $what: status $got, not $expected"
        cat "$work/log"
        failures=$((failures + 1))
    fi
done <<TABLE
3 0|$ran3|0|0|every case ran
3 0|${ran3//\\n/\\r\\n}|0|0|every case ran, CR LF line ends
3 0|[ RUN      ] Suite.A\n[       OK ] Suite.A (0 ms)\n[ RUN      ] Suite.B\n|0|1|the program ended early with status 0
3 0|[==========] 2 tests from 1 test suite ran. (5 ms total)\n|0|1|fewer cases ran than listed
3 0|[==========] 0 tests from 0 test suites ran. (0 ms total)\n|0|1|the filter selected nothing
3 0|$ran3|1|1|a case failed
3 0|$ran3|3|3|the program's own status is passed on
1 0|[==========] 1 test from 1 test suite ran. (5 ms total)\n|0|0|one case
3 1|$ran3$disabled1|0|0|a disabled case beside those that ran
3 1|${ran3//\\n/\\r\\n}${disabled1//\\n/\\r\\n}|0|0|a disabled case, CR LF line ends
0 1|[==========] 0 tests from 0 test suites ran. (0 ms total)\n$disabled1|0|0|a suite of disabled cases only
3 0|$ran3$disabled1|0|1|a case disabled that the listing took to run
TABLE
arguments=$(cat "$work/arguments")
[ "$arguments" = "--gtest_filter=Suite.*" ] || { echo "FAIL: the program was given: $arguments"; failures=$((failures + 1)); }

# The chain CTest runs: the listing module adds one test per suite of the
# real program, and each passes, disabled cases counted apart.
mkdir -p "$work/ctest"
cat >"$work/ctest/CTestTestfile.cmake" <<CTEST
set(executable [==[$probe]==])
set(emulator "")
set(working_directory [==[$work/ctest]==])
set(properties "")
set(suites_file [==[$work/ctest/suites.txt]==])
include([==[$suites_module]==])
CTEST
if ! ctest --test-dir "$work/ctest" --output-on-failure >"$work/ctest.log" 2>&1; then
    echo "FAIL: CTest over the listing of $probe failed"
    cat "$work/ctest.log"
    failures=$((failures + 1))
fi
expected_suites=$'1 1 Alpha\n0 1 DISABLED_Beta\n2 0 On/Gamma\n0 1 DISABLED_Off/Gamma'
if [ "$(cat "$work/ctest/suites.txt")" != "$expected_suites" ]; then
    echo "FAIL: the listing kept, as cases that run, disabled cases and suite:"
    cat "$work/ctest/suites.txt"
    failures=$((failures + 1))
fi
grep -q "100% tests passed, 0 tests failed out of 4" "$work/ctest.log" ||
    { echo "FAIL: CTest did not run the four suites"; cat "$work/ctest.log"; failures=$((failures + 1)); }
[ $failures -eq 0 ] && echo "PASS: gtest-suite passes a suite only when every listed case ran and the program succeeded, disabled cases apart"
exit $((failures > 0))
