#!/usr/bin/env bash
# SIGINT to the daemon's Wine process reaches its signal handler: the daemon
# closes with "quitting now: signal 2.\n" and status 6, and leaves the Java
# application running. Usage: signal_test.sh <bin dir> <work dir>
set -euo pipefail
bin=$1
work=$2
unique="sigint-$$"
dir="$work/run/$unique"
rm -rf "$dir"
mkdir -p "$dir"
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }
printf '%s\r\n' "$(winpath "$bin/javaapp.exe")" >"$dir/java_file.dat"

fail() { echo "FAIL: $*"; cat "$dir/pm.out" 2>/dev/null; exit 1; }
cleanup() {
    pkill -9 -f "java.library.path=.*$unique" 2>/dev/null || true
    pkill -9 -f "^[^ ]*imdaemon\.exe .*$unique" 2>/dev/null || true
}
trap cleanup EXIT

cd "$bin"
wine ovspmd-sim.exe -t 30000 pause wait:25000 exit -- imdaemon.exe "$(winpath "$dir")\\" >"$dir/pm.out" 2>&1 &
pm=$!

for _ in $(seq 150); do
    grep -q '^window open' "$dir/javaapp-record.txt" 2>/dev/null && break
    sleep 0.1
done
grep -q '^window open' "$dir/javaapp-record.txt" 2>/dev/null || fail "the Java application did not start"
daemon=$(pgrep -f "^[^ ]*imdaemon\.exe .*$unique" | head -n 1)
[ -n "$daemon" ] || fail "no daemon process"
kill -INT "$daemon"

status=0
wait "$pm" || status=$?
[ "$status" -eq 6 ] || fail "process manager exited $status, expected the daemon's 6"
grep -q 'done "quitting now: signal 2.\\n"' "$dir/pm.out" || fail "closing message"
grep -q 'exit status 6 (0x00000006)' "$dir/pm.out" || fail "exit status"
grep -q 'send 6 exit' "$dir/pm.out" && fail "the daemon outlived the signal"
pgrep -f "java.library.path=.*$unique" >/dev/null || fail "the Java application must keep running"
echo "PASS: SIGINT closes with status 6 and leaves the Java application running"
