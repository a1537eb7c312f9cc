#!/bin/sh
# Builds the fuzz targets natively (clang, libFuzzer, ASan + UBSan) into build/fuzz and
# runs each for a bounded time:
#
#   fuzz/run.sh [seconds per target] [target...]     (default: 5 seconds, every target)
#
# Each target first replays its checked-in corpus (fuzz/corpus/<target>, which holds the
# inputs of every fault found so far), then fuzzes from it.  The checked-in corpus is
# only read: new inputs go to build/fuzz/corpus/<target>, which later runs go on from.
# Exits non-zero when any target finds a crash or a broken property; the input is kept
# as build/fuzz/artifacts/<target>-crash-<hash> and its report printed.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-5}
[ $# -gt 0 ] && shift
build="$root/build/fuzz"

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
fi
cmake --build "$build" -j"$(nproc)" -- --no-print-directory >"$build/last-build.log" 2>&1 || {
    cat "$build/last-build.log"; exit 1; }

targets=${*:-"command_forms_fuzz library_list_fuzz startup_fuzz image_command_line_fuzz absolute_path_fuzz"}
mkdir -p "$build/artifacts"
failed=""
for target in $targets; do
    seeds="$root/fuzz/corpus/$target"
    work="$build/corpus/$target"
    mkdir -p "$work"
    case $target in
        command_forms_fuzz|library_list_fuzz) max_len=4096 ;;
        image_command_line_fuzz) max_len=1024 ;;
        *) max_len=64 ;;
    esac
    report="$build/$target.log"
    if "$build/$target" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$target-" "$work" "$seeds" >"$report" 2>&1; then
        execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$report")
        echo "fuzz: $target: ${execs:-?} inputs in ${seconds}s, no finding"
    else
        echo "fuzz: $target: FINDING" >&2
        grep -E "property does not hold|ERROR: |runtime error|Test unit written" "$report" >&2 || tail -n 30 "$report" >&2
        failed="$failed $target"
    fi
done
[ -z "$failed" ] || { echo "fuzz: findings in:$failed (reports in $build)" >&2; exit 1; }
