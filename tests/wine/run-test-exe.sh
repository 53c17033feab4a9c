#!/usr/bin/env bash
# Runs one Windows test program under Wine in this build's throwaway prefix.
# Used as the cross build's test emulator: run-test-exe.sh EXE [ARGS...]
set -u
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/wine-env.sh"
exe="$1"
shift
prefix="${QX_WINEPREFIX:-$(dirname "$exe")/wine-prefix-$(basename "$exe" .exe)}"
if [ ! -d "$prefix/drive_c" ]; then qx_new_prefix "$prefix"; fi
export WINEPREFIX="$prefix"
qx_wine_run "$prefix" "$exe" "$@"
status=$?
exit $status
