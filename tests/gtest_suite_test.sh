#!/usr/bin/env bash
# cmake/gtest-suite, which runs one GoogleTest suite for CTest, must pass a
# suite only when the program ends with status 0 having run every case the
# suite listed, whatever the line ends; a program standing in for the test
# program prints what it is told and ends with the status it is told.
# Usage: gtest_suite_test.sh <cmake/gtest-suite>
set -uo pipefail
runner=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/gtest-suite-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The stand-in program: prints $OUTPUT, records its arguments, ends with $STATUS.
program=$work/program
printf '#!/bin/sh\nprintf "%%s" "$*" >"%s/arguments"\nprintf "$OUTPUT"\nexit "$STATUS"\n' "$work" >"$program"
chmod +x "$program"
ran3='[==========] 3 tests from 1 test suite ran. (5 ms total)\n[  PASSED  ] 3 tests.\n'
failures=0
# listed cases | the program's output | its status | the runner's status
while IFS='|' read -r listed output status expected what; do
    OUTPUT=$output STATUS=$status bash "$runner" "$listed" Suite "$program" >"$work/log" 2>&1
    got=$?
    if [ "$got" != "$expected" ]; then
        echo "FAIL: $what: status $got, not $expected"
        cat "$work/log"
        failures=$((failures + 1))
    fi
done <<TABLE
3|$ran3|0|0|every case ran
3|${ran3//\\n/\\r\\n}|0|0|every case ran, CR LF line ends
3|[ RUN      ] Suite.A\n[       OK ] Suite.A (0 ms)\n[ RUN      ] Suite.B\n|0|1|the program ended early with status 0
3|[==========] 2 tests from 1 test suite ran. (5 ms total)\n|0|1|fewer cases ran than listed
3|[==========] 0 tests from 0 test suites ran. (0 ms total)\n|0|1|the filter selected nothing
3|$ran3|1|1|a case failed
3|$ran3|3|3|the program's own status is passed on
1|[==========] 1 test from 1 test suite ran. (5 ms total)\n|0|0|one case
TABLE
arguments=$(cat "$work/arguments")
[ "$arguments" = "--gtest_filter=Suite.*" ] || { echo "FAIL: the program was given: $arguments"; failures=$((failures + 1)); }
[ $failures -eq 0 ] && echo "PASS: gtest-suite passes a suite only when every listed case ran and the program succeeded"
exit $((failures > 0))
