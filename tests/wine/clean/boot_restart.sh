#!/usr/bin/env bash
# A locked detected file is scheduled for deletion; a simulated restart of
# Wine (wineboot -r) must then remove it. Usage: boot_restart.sh TEST_EXE
set -u
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../wine-env.sh"
exe="$1"
prefix="$(cd "$(dirname "$exe")" && pwd)/wine-prefix-clean_boot_restart"
qx_new_prefix "$prefix"
export WINEPREFIX="$prefix"
qx_wine_run "$prefix" "$exe" --gtest_filter=BootDelete.ALockedDetectedFileIsLeftForTheRestart || exit 1
file="$prefix/drive_c/qxtest/boot/locked.exe"
if [ ! -f "$file" ]; then echo "FAIL: the file was gone before the restart"; exit 1; fi
wineserver -w
env -u DISPLAY wineboot -r >/dev/null 2>&1
wineserver -w
if [ -e "$file" ]; then echo "FAIL: the file survived the simulated restart"; exit 1; fi
echo "the simulated restart removed the scheduled file"
