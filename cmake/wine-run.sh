#!/bin/sh
# Runs a Windows program under Wine in the test session's prefix.  It refuses to run
# without WINEPREFIX, so that a build step never creates a default ~/.wine by accident.
# When PBVMSVC_WINE_DEBUG_LOG is set, Wine's debug output (which is where event-log
# reports become visible under Wine) is appended to that file, shared with the session.
: "${WINEPREFIX:?WINEPREFIX must point at the test session prefix (see scripts/test.sh)}"
export WINEDEBUG="${WINEDEBUG:--all}"
if [ -n "${PBVMSVC_WINE_DEBUG_LOG:-}" ]; then
    exec wine "$@" 2>>"$PBVMSVC_WINE_DEBUG_LOG"
fi
exec wine "$@"
