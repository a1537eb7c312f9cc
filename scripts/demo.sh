#!/bin/sh
# Sets up the machine, builds, and shows pbvmsvc's main job under Wine: a PowerBuilder
# application (here a class of the stand-in VM) installed and run as a Windows service.
# Works in a private Wine prefix that is deleted at the end; leaves nothing behind.
#
#   demo.sh           on the stand-in of PowerBuilder 9 (pbvm90.dll beside pbvmsvc.exe)
#   demo.sh --pb2022  on the stand-in of PowerBuilder 2022 (pbvm.dll, Unicode interface),
#                     in a runtime folder of its own that only PBRuntimeDir leads to
#   demo.sh --64      the same with the 64-bit build, the 64-bit stand-in of
#                     PowerBuilder 2022, in a 64-bit prefix
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
build=build
case "${1:-}" in
    "") pb2022=false; bits=32 ;;
    --pb2022) pb2022=true; bits=32 ;;
    --64) pb2022=true; bits=64 ;;
    *) echo "usage: $0 [--pb2022 | --64]" >&2; exit 2 ;;
esac
step "the set-up (scripts/setup.sh)" "$root/scripts/setup.sh"
if [ "$bits" = 32 ] && ! can_run_32bit; then
    echo "demo: $(no_32bit_reason), so this shows the 64-bit build (demo.sh --64)"
    pb2022=true; bits=64
fi
if [ "$bits" = 64 ]; then build=build64; export PBVMSVC_WINEARCH=win64; fi
use_wine "${PBVMSVC_WINEARCH:-win32}"
# Only what the demonstration shows: the product and the one stand-in VM it runs on; the
# test programs are built by scripts/test.sh.
if $pb2022; then vm=standin_vm22; else vm=standin_vm; fi
step "the build (scripts/build.sh)" "$root/scripts/build.sh" "$bits" pbvmsvc "$vm"

run="$root/$build/wine/demo-$$"
trap '"$root/scripts/wine-session.sh" stop "$run"' EXIT
trap 'exit 1' HUP INT PIPE TERM
step "the Wine prefix" "$root/scripts/wine-session.sh" template "$root/$build/wine/template"
step "the Wine session" "$root/scripts/wine-session.sh" start "$run" "$root/$build/wine/template"
export WINEPREFIX="$run/pfx" WINEDEBUG=-all
trace="$run/wine-debug.log"

heading() { printf '\n==> %s\n' "$*"; }
# pbvmsvc.exe always ends with 0: any other code is Wine failing to start it.
pbvmsvc() {
    printf '$ pbvmsvc %s\n' "$*"
    rc=0; out=$("$PBVMSVC_WINE" pbvmsvc.exe "$@") || rc=$?
    printf '%s\n' "$out" | tr -d '\r'
    [ "$rc" -eq 0 ] || { echo "demo.sh: pbvmsvc $1 failed (exit code $rc)" >&2; exit "$rc"; }
}
state() { "$PBVMSVC_WINE" sc query PbvmDemo | tr -d '\r' | sed -n 's/^ *STATE *: [0-9]* *\(.*\)$/    state: \1/p'; }

demo="$WINEPREFIX/drive_c/pbvmsvc-demo"
runtime='C:\pbvmsvc-demo\Runtime 22.0.0.1878'
if $pb2022; then
    heading "Placing pbvmsvc.exe, the demo library and its INI file in C:\\pbvmsvc-demo, and the stand-in PowerBuilder 2022 VM (pbvm.dll) in $runtime"
    mkdir -p "$demo/Runtime 22.0.0.1878"
    cp "$root/$build/bin/standin-pb22/pbvm.dll" "$root/$build/bin/standin-pb22/pbshr.dll" "$demo/Runtime 22.0.0.1878/"
    journal="$demo/Runtime 22.0.0.1878/pbvm.journal"
else
    heading "Placing pbvmsvc.exe, the stand-in PowerBuilder VM (pbvm90.dll), the demo library and its INI file in C:\\pbvmsvc-demo"
    mkdir -p "$demo"
    cp "$root/build/bin/standin/pbvm90.dll" "$demo/"
    journal="$demo/pbvm90.journal"
fi
cp "$root/$build/bin/pbvmsvc.exe" "$root/standin/demo/heartbeat.pbl" "$root/standin/demo/demo.ini" "$demo/"
cd "$demo"
ls -1R | sed 's/^/    /'

heading "Usage text (any unknown command line)"
pbvmsvc -help

heading "Installing the service from demo.ini"
sed 's/^/    /' demo.ini | tr -d '\r'
pbvmsvc -i demo.ini
pbvmsvc -reg PbvmDemo LogFileName 'C:\pbvmsvc-demo\PbvmDemo.log'
if $pb2022; then
    pbvmsvc -v PbvmDemo pbvm.dll
    pbvmsvc -reg PbvmDemo PBRuntimeDir "$runtime"
fi
printf '    image path: %s\n' "$("$PBVMSVC_WINE" reg query 'HKLM\SYSTEM\CurrentControlSet\Services\PbvmDemo' /v ImagePath \
    | tr -d '\r' | sed -n 's/^ *ImagePath *REG_SZ *//p')"

heading "Starting it"
pbvmsvc -start PbvmDemo
sleep 3.5
state
printf '    log file so far:\n'; sed 's/^/      /' PbvmDemo.log | tr -d '\r'
printf '    work done by the hosted class so far:\n'; sed 's/^/      /' heartbeat-work.log | tr -d '\r'

heading "Pausing it for two seconds: of_run is not called while paused"
pbvmsvc -pause PbvmDemo
sleep 0.3; state
sleep 2
heading "Resuming it"
pbvmsvc -resume PbvmDemo
sleep 0.3; state
sleep 2

heading "Stopping it"
pbvmsvc -stop PbvmDemo
i=0; while [ "$i" -lt 50 ] && ! "$PBVMSVC_WINE" sc query PbvmDemo | grep -q STOPPED; do sleep 0.2; i=$((i+1)); done
state

heading "What the hosted class did (its work log)"
sed 's/^/    /' heartbeat-work.log | tr -d '\r'

heading "The stand-in VM's journal of the host's calls (the hosted functions only)"
grep -E ' (PB_GetVM|CreateSession|FindGroup|FindClass|CreateObject|InvokeBegin|InvokeEnd|ReleaseSession|detach)' "$journal" \
    | tr -d '\r' | cut -c1-110 | sed 's/^/    /'

heading "Events reported under the source PbvmDemo"
awk -v source=PbvmDemo -f "$root/scripts/show-events.awk" "$trace" | sed 's/^/    /'

heading "Uninstalling it"
pbvmsvc -u PbvmDemo
"$PBVMSVC_WINE" sc query PbvmDemo >/dev/null 2>&1 && echo "    still there!" || echo "    the service is gone"

heading "Done: the private Wine prefix is deleted now"
