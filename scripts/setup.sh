#!/bin/sh
# Installs everything the build, the tests and the demo need on a Debian machine, as root.
# Idempotent: when every package is already present it only checks and returns.
set -eu

packages="cmake make python3 googletest wine wine32:i386 \
gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev \
gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev wine64 \
clang libclang-rt-14-dev"

missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    missing="$missing apt-update"
fi
[ -z "$missing" ] && exit 0

echo "setup: installing:$missing" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq >/dev/null
# shellcheck disable=SC2086
apt-get install -y -qq --no-install-recommends $packages >/dev/null
