#!/bin/sh
# Configures and builds everything into build/ with the MinGW-w64 toolchain.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if [ ! -f build/CMakeCache.txt ]; then
    cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build build -j"$(nproc)" -- --no-print-directory >build/last-build.log 2>&1 || {
    cat build/last-build.log; exit 1; }
grep -i "warning" build/last-build.log || true
