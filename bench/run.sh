#!/bin/sh
# Benchmarks pbvmsvc against the floor (bench/baseline_service.cpp): the 32-bit build
# against the 32-bit floor and the 64-bit build against the 64-bit floor, one after the
# other in one run.  Builds what it needs, works in a private Wine session per build (a
# 32-bit prefix, then a 64-bit one) that it deletes again, and prints one table per build
# (also written as JSON, by default to build/bench/results.json and
# build64/bench/results.json).
#
#   bench/run.sh [--no-build] [--bits 32|64|both] [--cycles N] [--warmup N] [--quick]
#                [--calls N] [--idle-seconds S] [--out FILE] [--binaries DIR] [--check]
#
# --no-build uses the programs already built (the test suite's smoke run does); --bits
# chooses the builds (default both); the other options go to bench/bench.py (see
# bench/README.md), and win over the per-build defaults.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"

build=1
bits=both
while :; do
    case "${1:-}" in
    --no-build) build=0; shift ;;
    --bits) bits=$2; shift 2 ;;
    *) break ;;
    esac
done
case "$bits" in 32|64|both) ;; *) echo "bench: --bits 32, 64 or both" >&2; exit 2 ;; esac
[ "$build" = 0 ] || step "the set-up (scripts/setup.sh)" "$root/scripts/setup.sh"
# The report names the kind of machine it was measured on.
if can_run_32bit; then
    export PBVMSVC_MACHINE_32BIT=yes
elif [ "${PBVMSVC_NO_32BIT:-}" = 1 ]; then
    export PBVMSVC_MACHINE_32BIT="no (PBVMSVC_NO_32BIT=1)"
else
    export PBVMSVC_MACHINE_32BIT=no
fi
if [ "$bits" != 64 ] && ! can_run_32bit; then
    if [ "$bits" = 32 ]; then
        echo "bench: the 32-bit build cannot be measured: $(no_32bit_reason)" >&2
        exit 1
    fi
    echo "bench: 32-bit build not measured: $(no_32bit_reason)" >&2
    bits=64
fi

# <build dir> <toolchain bits>
build_one() {
    if ! "$root/scripts/build.sh" "$2"; then
        # Someone else's unfinished work may break the full build; the benchmark needs
        # only the product, the stand-in VM and its own two programs.
        echo "bench: the full build of $1 failed; building the benchmark's targets only" >&2
        cmake --build "$root/$1" -j"$(nproc)" --target pbvmsvc standin_vm standin_vm170 baseline_service \
            bench_driver call_cost >"$root/$1/bench-build.log" 2>&1 || { cat "$root/$1/bench-build.log"; exit 1; }
    fi
}

# <build dir> <wine arch> <stand-in VM> [bench.py options]: one build against its floor.
measure() {
    dir=$1 arch=$2 vm=$3
    shift 3
    (
        export PBVMSVC_WINEARCH=$arch
        use_wine "$arch"
        run="$root/$dir/wine/bench-$$"
        trap '"$root/scripts/wine-session.sh" stop "$run"' EXIT
        trap 'exit 1' HUP INT PIPE TERM
        step "the Wine prefix of $dir" "$root/scripts/wine-session.sh" template "$root/$dir/wine/template"
        step "the Wine session of $dir" "$root/scripts/wine-session.sh" start "$run" "$root/$dir/wine/template"
        export WINEPREFIX="$run/pfx" WINEDEBUG=-all
        unset PBVMSVC_WINE_DEBUG_LOG
        echo "bench: $dir ($arch)" >&2
        python3 "$root/bench/bench.py" --binaries "$root/$dir/bin" --out "$root/$dir/bench/results.json" \
            --vm "$vm" "$@"
    )
}

if [ "$build" = 1 ]; then
    [ "$bits" = 64 ] || build_one build 32
    [ "$bits" = 32 ] || build_one build64 64
fi
# The 64-bit host has no PowerBuilder 9: it runs on the stand-in of the later releases.
[ "$bits" = 64 ] || measure build win32 pbvm90 "$@"
[ "$bits" = 32 ] || measure build64 win64 pbvm170 "$@"
