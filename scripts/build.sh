#!/bin/sh
# Configures and builds everything with the MinGW-w64 toolchains: the 32-bit build into
# build/ (for 32-bit PowerBuilder applications) and the 64-bit build into build64/ (for
# 64-bit ones), from the same sources.
#
#   build.sh [32|64|both] [target ...]   only the one build (default: both); only the
#                                        targets named (default: everything, tests included)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
which=${1:-both}
[ $# -gt 0 ] && shift
targets=""
for t in "$@"; do targets="$targets --target $t"; done

build_one() {  # <dir> <toolchain file>
    dir=$1
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/$2" -DCMAKE_BUILD_TYPE=Release >/dev/null
    fi
    # shellcheck disable=SC2086
    cmake --build "$dir" -j"$(nproc)" $targets -- --no-print-directory >"$dir/last-build.log" 2>&1 || {
        cat "$dir/last-build.log"; exit 1; }
    grep -i "warning" "$dir/last-build.log" || true
}

[ "$which" = 64 ] || build_one build toolchain-i686-mingw.cmake
[ "$which" = 32 ] || build_one build64 toolchain-x86_64-mingw.cmake
