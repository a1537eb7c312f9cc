# Sourced (not run) by the scripts that set up, build, test, demonstrate and benchmark:
# which Wine this machine can run, and how a script says which of its steps failed.

# Debian's loaders: the 32-bit one (package wine32) and the 64-bit one (wine64). Debian's
# `wine` command, and wineboot and the other tools that go through it, always start the
# 32-bit loader when it is installed, even for a 64-bit program; on a machine that cannot
# execute 32-bit programs that fails for every program. So the scripts never use it: they
# start the loader that matches the prefix's architecture.
WINE32_LOADER=/usr/lib/wine/wine
WINE64_LOADER=/usr/lib/wine/wine64

# Succeeds when this machine can execute 32-bit programs, that is when the 32-bit loader
# runs. Some virtual machines cannot execute any 32-bit Linux program ("Exec format
# error"). PBVMSVC_NO_32BIT=1 makes a machine that can behave as one that cannot, so that
# the 64-bit-only path can be tried anywhere.
can_run_32bit() {
    [ "${PBVMSVC_NO_32BIT:-}" != 1 ] && "$WINE32_LOADER" --version >/dev/null 2>&1
}

# Why the 32-bit half is left out, for the scripts' one-line notices.
no_32bit_reason() {
    if [ "${PBVMSVC_NO_32BIT:-}" = 1 ]; then
        echo "this machine cannot execute 32-bit programs (PBVMSVC_NO_32BIT=1)"
    else
        echo "this machine cannot execute 32-bit programs"
    fi
}

# Exports PBVMSVC_WINE, the loader to start a program of a prefix of that architecture
# with, and WINELOADER, the one Wine itself uses for the processes the program creates.
use_wine() {  # win32 | win64
    case $1 in
    win64) PBVMSVC_WINE=$WINE64_LOADER ;;
    *) PBVMSVC_WINE=$WINE32_LOADER ;;
    esac
    WINELOADER=$PBVMSVC_WINE
    export PBVMSVC_WINE WINELOADER
}

# The architecture of an existing prefix, as its registry records it.
prefix_arch() {  # <prefix>
    if grep -q '^#arch=win64' "$1/system.reg" 2>/dev/null; then echo win64; else echo win32; fi
}

# Runs one step of a script; when it fails, says which step and with which exit code, and
# ends the script (or the subshell it runs in) with that code, so that nobody is left with
# a bare exit status. The command must be a program: a shell function called here would
# run without `set -e`.
step() {  # <what the step does> <program> [arguments]
    step_what=$1
    shift
    step_rc=0
    "$@" || step_rc=$?
    [ "$step_rc" -eq 0 ] && return 0
    echo "${0##*/}: $step_what failed (exit code $step_rc)" >&2
    exit "$step_rc"
}
