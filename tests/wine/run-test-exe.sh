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
# Helper programs a test starts go beside it in C:\qxtest.
mkdir -p "$prefix/drive_c/qxtest"
for helper in ${QX_WINE_HELPERS:-}; do cp -f "$helper" "$prefix/drive_c/qxtest/"; done
# A Windows version for the whole prefix (winxp reaches the NT 5.x paths).
if [ -n "${QX_WINE_VERSION:-}" ]; then
    wine reg add 'HKCU\Software\Wine' /v Version /d "$QX_WINE_VERSION" /f >/dev/null 2>&1
fi
# Logical pixels per inch of the screen (Wine's usual is 96).
if [ -n "${QX_WINE_DPI:-}" ]; then
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$QX_WINE_DPI" /f \
        >/dev/null 2>&1
fi
qx_wine_run "$prefix" "$exe" "$@"
status=$?
exit $status
