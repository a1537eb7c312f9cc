#!/bin/sh
# A private, disposable Wine prefix with a persistent wineserver, for one test or demo run.
#
#   wine-session.sh template <dir>          create a clean template prefix (once): 32-bit,
#                                           or 64-bit with PBVMSVC_WINEARCH=win64
#   wine-session.sh start <run-dir> <dir>   copy the template to <run-dir>/pfx, start its
#                                           server and boot it, with the event trace of every
#                                           Wine process in <run-dir>/wine-debug.log
#   wine-session.sh stop <run-dir>          end every process of that prefix, delete it
#
# After start:  export WINEPREFIX=<run-dir>/pfx PBVMSVC_WINE_DEBUG_LOG=<run-dir>/wine-debug.log
# Only this prefix's own server is ever stopped: other Wine sessions on the machine go on.
set -eu
cmd=$1; dir=$2
. "$(dirname "$0")/common.sh"
export WINEARCH="${PBVMSVC_WINEARCH:-win32}" WINEDEBUG=-all
use_wine "$WINEARCH"
# Wine traces each event-log report on these channels; the test kit reads the trace.
EVENT_TRACE="-all,+pid,+eventlog,fixme+advapi"

case "$cmd" in
template)
    if [ -f "$dir/system.reg" ] && [ -f "$dir/.complete" ]; then exit 0; fi
    rm -rf "$dir"
    mkdir -p "$(dirname "$dir")"
    # A 64-bit prefix on a machine without 32-bit execution says that it cannot start
    # syswow64\rundll32.exe, and goes on; what Wine says is shown only when it fails.
    if ! WINEPREFIX="$dir" "$PBVMSVC_WINE" wineboot -i >"$dir.log" 2>&1; then
        echo "wine-session.sh: wineboot -i could not create the $WINEARCH prefix $dir:" >&2
        tail -n 20 "$dir.log" >&2
        exit 1
    fi
    rm -f "$dir.log"
    WINEPREFIX="$dir" wineserver -w               # the registry is flushed when it ends
    srvdir=$(cat "$dir/wineserver" 2>/dev/null || true)
    rm -f "$dir/wineserver"; [ -n "$srvdir" ] && rm -rf "/tmp/$srvdir"
    touch "$dir/.complete"
    ;;
start)
    tpl=$3
    rm -rf "$dir"; mkdir -p "$dir"
    cp -a "$tpl" "$dir/pfx"; rm -f "$dir/pfx/wineserver"
    export WINEPREFIX="$dir/pfx"
    : >"$dir/wine-debug.log"
    wineserver -p                                 # services survive between clients
    # The session's first process starts services.exe; it and every service it launches
    # inherit this standard error and WINEDEBUG, so their event reports land in the log,
    # and the fixed address-space layout that cmake/wine-run.sh gives it.
    WINEDEBUG="$EVENT_TRACE" PBVMSVC_WINE_DEBUG_LOG="$dir/wine-debug.log" \
        "$(dirname "$0")/../cmake/wine-run.sh" wineboot
    ;;
stop)
    export WINEPREFIX="$dir/pfx"
    srvdir=$(cat "$WINEPREFIX/wineserver" 2>/dev/null || true)
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    [ -n "$srvdir" ] && rm -rf "/tmp/$srvdir"
    rm -rf "$dir"
    ;;
*) echo "usage: $0 template|start|stop <dir> [template-dir]" >&2; exit 2 ;;
esac
