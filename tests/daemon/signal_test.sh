#!/usr/bin/env bash
# SIGINT to the daemon's Wine process reaches its signal handler: the daemon
# closes with "quitting now: signal 2.\n" and status 6, and leaves the Java
# application running, both while it waits for commands and while it sleeps
# in a long pause answer. Usage: signal_test.sh <bin dir> <work dir>
set -euo pipefail
bin=$1
work=$2
wine_run="$(cd "$(dirname "$0")/../.." && pwd)/cmake/wine-run"
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }
unique=""
cleanup() {
    [ -n "$unique" ] || return 0
    pkill -9 -f "java.library.path=.*$unique" 2>/dev/null || true
    pkill -9 -f "^[^ ]*imdaemon\.exe .*$unique" 2>/dev/null || true
}
trap cleanup EXIT

# wait_for <file> <fixed text>: true once a line of file holds the text.
wait_for() {
    for _ in $(seq 150); do
        grep -qF -- "$2" "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

# run_case <name> <daemon option> <manager line to wait for> <manager commands...>
# The signal is sent once the Java application runs and the manager has
# logged the line.
run_case() {
    local name=$1 option=$2 line=$3
    shift 3
    cleanup
    unique="sigint-$name-$$"
    local dir="$work/run/$unique"
    fail() { echo "FAIL ($name): $*"; cat "$dir/pm.out" 2>/dev/null; exit 1; }
    rm -rf "$dir"
    mkdir -p "$dir"
    printf '%s\r\n' "$(winpath "$bin/javaapp.exe")" >"$dir/java_file.dat"
    (cd "$bin" && exec "$wine_run" ovspmd-sim.exe -t 30000 "$@" -- imdaemon.exe "$(winpath "$dir")\\" $option) \
        >"$dir/pm.out" 2>&1 &
    local pm=$!
    wait_for "$dir/javaapp-record.txt" 'window open' || fail "the Java application did not start"
    wait_for "$dir/pm.out" "$line" || fail "the manager never logged: $line"
    local daemon
    daemon=$(pgrep -f "^[^ ]*imdaemon\.exe .*$unique" | head -n 1)
    [ -n "$daemon" ] || fail "no daemon process"
    kill -INT "$daemon"
    local status=0
    wait "$pm" || status=$?
    [ "$status" -eq 6 ] || fail "process manager exited $status, expected the daemon's 6"
    grep -q 'done "quitting now: signal 2.\\n"' "$dir/pm.out" || fail "closing message"
    grep -q 'exit status 6 (0x00000006)' "$dir/pm.out" || fail "exit status"
    grep -q 'send 6 exit' "$dir/pm.out" && fail "the daemon outlived the signal"
    grep -q 'answer' "$dir/pm.out" && fail "the pause must not have been answered"
    pgrep -f "java.library.path=.*$unique" >/dev/null || fail "the Java application must keep running"
    echo "PASS ($name): status 6, Java application still running"
}

run_case waiting "" 'init 1 "Initialization complete."' wait:25000 exit
run_case in-pause "-p 20000" 'send 15 pause' pause wait:25000 exit
