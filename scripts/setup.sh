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
# A mirror in the middle of a sync can fail one index of many ("File has unexpected size");
# try again a little later, then go on with what was fetched: the install below fails
# plainly if a package is really out of reach.
tries=0
until apt-get update -qq >/dev/null; do
    tries=$((tries + 1))
    if [ "$tries" -ge 3 ]; then
        echo "setup: apt-get update failed $tries times; installing from the package lists it has" >&2
        break
    fi
    sleep 10
done
# shellcheck disable=SC2086
if ! apt-get install -y -qq --no-install-recommends $packages >/dev/null; then
    # With one architecture's index of the security archive missing, its packages can no
    # longer match the other architecture's versions (wine32:i386 needs the same versions
    # of the shared libraries as the amd64 ones). The release's own archive has both.
    release=$(. /etc/os-release && echo "$VERSION_CODENAME")
    echo "setup: retrying with the packages of $release itself preferred" >&2
    apt-get install -y -qq --no-install-recommends -t "$release" $packages >/dev/null
fi
