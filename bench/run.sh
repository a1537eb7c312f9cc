#!/bin/sh
# Benchmarks pbvmsvc against the floor (bench/baseline_service.cpp) in one run: builds
# what it needs, works in a private Wine session of its own that it deletes again, and
# prints one table (also written as JSON, by default to build/bench/results.json).
#
#   bench/run.sh [--no-build] [--cycles N] [--warmup N] [--quick] [--calls N]
#                [--idle-seconds S] [--out FILE] [--check]
#
# --no-build uses the programs already in build/bin (the test suite's smoke run does);
# the other options go to bench/bench.py (see bench/README.md).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)

build=1
if [ "${1:-}" = "--no-build" ]; then build=0; shift; fi
if [ "$build" = 1 ]; then
    "$root/scripts/setup.sh"
    if ! "$root/scripts/build.sh"; then
        # Someone else's unfinished work may break the full build; the benchmark needs
        # only the product, the stand-in VM and its own two programs.
        echo "bench: the full build failed; building the benchmark's targets only" >&2
        cmake --build "$root/build" -j"$(nproc)" --target pbvmsvc standin_vm baseline_service bench_driver call_cost \
            >"$root/build/bench-build.log" 2>&1 || { cat "$root/build/bench-build.log"; exit 1; }
    fi
fi

run="$root/build/wine/bench-$$"
"$root/scripts/wine-session.sh" template "$root/build/wine/template"
"$root/scripts/wine-session.sh" start "$run" "$root/build/wine/template"
trap '"$root/scripts/wine-session.sh" stop "$run"' EXIT
trap 'exit 1' HUP INT PIPE TERM
export WINEPREFIX="$run/pfx" WINEDEBUG=-all
unset PBVMSVC_WINE_DEBUG_LOG
python3 "$root/bench/bench.py" "$@"
