#!/bin/sh
# Runs a Windows program under Wine in the test session's prefix.  It refuses to run
# without WINEPREFIX, so that a build step never creates a default ~/.wine by accident.
# When PBVMSVC_WINE_DEBUG_LOG is set, Wine's debug output (which is where event-log
# reports become visible under Wine) is appended to that file, shared with the session.
: "${WINEPREFIX:?WINEPREFIX must point at the test session prefix (see scripts/test.sh)}"
export WINEDEBUG="${WINEDEBUG:--all}"
# The loader of the prefix's own architecture, never Debian's `wine`, which would start a
# 64-bit program through the 32-bit loader (scripts/common.sh).
. "$(dirname "$0")/../scripts/common.sh"
use_wine "$(prefix_arch "$WINEPREFIX")"
# A fixed address-space layout (setarch -R) for the program and every process it starts.
# With randomisation, Wine 8 now and then cannot place Windows' shared user data page in
# a new 64-bit process ("err:virtual:virtual_alloc_first_teb wine: failed to map the shared
# user data: c0000018") and CreateProcess fails with ERROR_INTERNAL_ERROR (1359): twice in
# 16,000 launches here; with a fixed layout, none in 16,000.
fixed=""
if setarch "$(uname -m)" -R true 2>/dev/null; then fixed="setarch $(uname -m) -R"; fi
# The caller's standard error stays on descriptor 3, for this script's own message.
if [ -n "${PBVMSVC_WINE_DEBUG_LOG:-}" ]; then exec 3>&2 2>>"$PBVMSVC_WINE_DEBUG_LOG"; else exec 3>&2; fi
# Listing a test program's tests has no effects, and ctest runs none of a program's tests
# when its listing fails. Once in some fifteen runs of both suites, the 64-bit suite's first
# listing ended with 53 and no output: the low byte of STATUS_DLL_NOT_FOUND, Wine failing to
# load the program, not the program failing. Such a listing is tried once more.
case " $* " in
*" --gtest_list_tests "*)
    status=0; listing=$($fixed "$PBVMSVC_WINE" "$@" 3>&-) || status=$?
    if [ "$status" -ne 53 ]; then printf '%s\n' "$listing"; exit "$status"; fi
    echo "wine-run.sh: Wine could not start $1 (exit 53); listing its tests again" >&3
    sleep 1
    ;;
esac
exec $fixed "$PBVMSVC_WINE" "$@" 3>&-
