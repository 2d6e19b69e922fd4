#!/usr/bin/env bash
# Sourced by the scripts that run the windows build's programs (the demo, the
# benchmarks, the soak run): keeps a Wine session of that build's prefix up
# (cmake/wine-session) until the sourcing script exits, and then stops it if
# it started it; a session already up (the tests') is joined and left running.
# The caller's own EXIT trap still runs.
export WINEPREFIX="$PWD/build/windows/wineprefix"
export WINEDEBUG=-all
wine_session_owner=$(mktemp "${TMPDIR:-/tmp}/wine-session.XXXXXX")
cmake/wine-session start "$wine_session_owner"
end_wine_session() {
    cmake/wine-session stop "$wine_session_owner"
    rm -f "$wine_session_owner"
}
# The command of the caller's EXIT trap, if any, to run after ours.
wine_session_caller_trap() {
    eval "set -- $(trap -p EXIT)"
    printf '%s' "${3:-}"
}
wine_session_caller_exit=$(wine_session_caller_trap)
trap 'end_wine_session; eval "$wine_session_caller_exit"' EXIT
