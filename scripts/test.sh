#!/bin/sh
# Sets up the machine, builds, and runs every test under Wine in a private session.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/setup.sh"
"$root/scripts/build.sh"

run="$root/build/wine/run-$$"
"$root/scripts/wine-session.sh" template "$root/build/wine/template"
"$root/scripts/wine-session.sh" start "$run" "$root/build/wine/template"
trap '"$root/scripts/wine-session.sh" stop "$run"' EXIT
trap 'exit 1' HUP INT PIPE TERM

export WINEPREFIX="$run/pfx"
export PBVMSVC_WINE_DEBUG_LOG="$run/wine-debug.log"
export WINEDEBUG="-all,+pid,+eventlog,fixme+advapi"
cd build
ctest --output-on-failure -j2 "$@"

# A full run also fuzzes the pure pieces natively, a few seconds per target (fuzz/README.md).
if [ $# -eq 0 ]; then
    "$root/fuzz/run.sh"
fi
