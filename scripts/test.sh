#!/bin/sh
# Sets up the machine, builds both bitnesses, and runs each build's tests under Wine in a
# private session of its own: the 32-bit build in a 32-bit prefix, the 64-bit build in a
# 64-bit one (WINEARCH=win64), one after the other.  Arguments go to both ctest runs
# (for example -R <regex>).  Exits non-zero when either suite fails.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/setup.sh"
"$root/scripts/build.sh"

run_suite() {  # <build dir> <wine arch> [ctest arguments]
    (
        name=$1
        build=$root/$1
        export PBVMSVC_WINEARCH=$2
        shift 2
        run="$build/wine/run-$$"
        "$root/scripts/wine-session.sh" template "$build/wine/template"
        "$root/scripts/wine-session.sh" start "$run" "$build/wine/template"
        trap '"$root/scripts/wine-session.sh" stop "$run"' EXIT
        trap 'exit 1' HUP INT PIPE TERM
        export WINEPREFIX="$run/pfx"
        export PBVMSVC_WINE_DEBUG_LOG="$run/wine-debug.log"
        export WINEDEBUG="-all,+pid,+eventlog,fixme+advapi"
        cd "$build"
        echo "test: $name ($PBVMSVC_WINEARCH)"
        ctest --output-on-failure -j2 "$@" && exit 0
        # What Wine itself said (not the traces the test kit reads) names the cause when a
        # program could not be started at all; the session and its log go with the trap.
        echo "test: $name: Wine's own messages in this session (last 40):"
        grep -v -E '^[0-9a-f]+:[0-9a-f]+:(trace|fixme):' "$PBVMSVC_WINE_DEBUG_LOG" | tail -n 40
        exit 1
    )
}

status=0
run_suite build win32 "$@" || status=1
run_suite build64 win64 "$@" || status=1

# A full run also fuzzes the pure pieces natively, a few seconds per target (fuzz/README.md).
if [ $# -eq 0 ]; then
    "$root/fuzz/run.sh" || status=1
fi
exit $status
