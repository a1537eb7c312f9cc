#!/bin/sh
# Sets up the machine, builds both bitnesses, and runs each build's tests under Wine in a
# private session of its own: the 32-bit build in a 32-bit prefix, the 64-bit build in a
# 64-bit one (WINEARCH=win64), one after the other; a full run then fuzzes the pure
# pieces. Arguments go to both ctest runs (for example -R <regex>) and leave the fuzzers
# out. The last line sums up the run; the exit status is non-zero when anything that ran
# failed.
#
# On a machine that cannot execute 32-bit programs (or with PBVMSVC_NO_32BIT=1) the 32-bit
# build is still compiled, its compile-time layout checks included, but its suite is not
# run, and the output says so at the start and at the end.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. "$root/scripts/common.sh"

step "the set-up (scripts/setup.sh)" "$root/scripts/setup.sh"
not_run=""
if ! can_run_32bit; then
    not_run="32-bit tests not run: $(no_32bit_reason)"
    echo "test: $not_run"
fi
step "the build (scripts/build.sh)" "$root/scripts/build.sh"

# Runs one build's suite and writes its one-line outcome to <build dir>/test-outcome.
run_suite() {  # <build dir> <wine arch> [ctest arguments]
    (
        name=$1
        build=$root/$1
        export PBVMSVC_WINEARCH=$2
        shift 2
        outcome="$build/test-outcome"
        echo "did not run" >"$outcome"
        run="$build/wine/run-$$"
        trap '"$root/scripts/wine-session.sh" stop "$run"' EXIT
        trap 'exit 1' HUP INT PIPE TERM
        step "the Wine prefix of $name" "$root/scripts/wine-session.sh" template "$build/wine/template"
        step "the Wine session of $name" "$root/scripts/wine-session.sh" start "$run" "$build/wine/template"
        export WINEPREFIX="$run/pfx"
        export PBVMSVC_WINE_DEBUG_LOG="$run/wine-debug.log"
        export WINEDEBUG="-all,+pid,+eventlog,fixme+advapi"
        cd "$build"
        echo "test: $name ($PBVMSVC_WINEARCH)"
        { status=0; ctest --output-on-failure -j2 "$@" || status=$?; echo "$status" >"$run/ctest-status"; } \
            | tee "$run/ctest.log"
        status=$(cat "$run/ctest-status")
        # ctest's own count: "100% tests passed, 0 tests failed out of 255"
        sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests* failed out of \([0-9]*\)$/\2 \1/p' "$run/ctest.log" \
            | { read -r total failed && echo "$((total - failed)) of $total passed" || echo "no test ran"; } \
            >"$outcome"
        [ "$status" -eq 0 ] && exit 0
        echo "test: $name: ctest failed (exit code $status)"
        # What Wine itself said (not the traces the test kit reads) names the cause when a
        # program could not be started at all; the session and its log go with the trap.
        echo "test: $name: Wine's own messages in this session (last 40):"
        grep -v -E '^[0-9a-f]+:[0-9a-f]+:(trace|fixme):' "$PBVMSVC_WINE_DEBUG_LOG" | tail -n 40
        exit 1
    )
}

status=0
if [ -z "$not_run" ]; then
    run_suite build win32 "$@" || status=1
    summary="32-bit suite: $(cat build/test-outcome)"
else
    summary="32-bit suite: not run"
fi
run_suite build64 win64 "$@" || status=1
summary="$summary; 64-bit suite: $(cat build64/test-outcome)"

# A full run also fuzzes the pure pieces natively, a few seconds per target (fuzz/README.md).
if [ $# -eq 0 ]; then
    fuzz_log="$root/build/fuzz-run.log"
    { rc=0; "$root/fuzz/run.sh" 2>&1 || rc=$?; echo "$rc" >"$fuzz_log.status"; } | tee "$fuzz_log"
    targets=$(grep -c '^fuzz: .*: .*no finding$' "$fuzz_log" || true)
    if [ "$(cat "$fuzz_log.status")" -eq 0 ]; then
        summary="$summary; fuzzers: $targets targets, no finding"
    else
        status=1
        summary="$summary; fuzzers: FAILED ($targets targets without finding; see above)"
    fi
else
    summary="$summary; fuzzers: not run (tests chosen)"
fi

[ -z "$not_run" ] || echo "test: $not_run"
if [ "$status" -eq 0 ]; then verdict=passed; else verdict=FAILED; fi
echo "test: $verdict: $summary"
exit $status
