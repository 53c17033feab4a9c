#!/usr/bin/env bash
# Runs one Windows test program under Wine in a prefix of its own, made fresh
# for this run and removed when it ends (QX_KEEP=1 keeps it).
# Used as the cross build's test emulator: run-test-exe.sh EXE [ARGS...]
set -u
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/wine-env.sh"
exe="$1"
shift
stem="${QX_WINEPREFIX:-$(cd "$(dirname "$exe")" && pwd)/wine-prefix-$(basename "$exe" .exe)}"
mkdir -p "$(dirname "$stem")"

# Each run writes its process id into STEM.XXXXXX.run and makes its prefix
# beside it, STEM.XXXXXX. A .run file whose process is gone was left by a run
# that was killed (a timeout, a crash): its prefix is removed, never reused.
# A prefix under the bare STEM is from before prefixes were made per run; only
# a folder named as this script names them is removed, whatever QX_WINEPREFIX says.
if [[ "$(basename "$stem")" == wine-prefix-* ]] && [ -f "$stem/system.reg" ]; then rm -rf "$stem"; fi
for mark in "$stem".*.run; do
    [ -e "$mark" ] || continue
    owner="$(cat "$mark" 2>/dev/null)"
    if [[ "$owner" =~ ^[0-9]+$ ]] && kill -0 "$owner" 2>/dev/null &&
        grep -qa run-test-exe "/proc/$owner/cmdline" 2>/dev/null; then
        continue
    fi
    rm -rf "${mark%.run}" "$mark"
done
mark="$(mktemp "$stem.XXXXXX.run")" || { echo "run-test-exe: cannot make $stem.*.run"; exit 1; }
echo $$ >"$mark"
prefix="${mark%.run}"
cleanup() {
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
    if [ -z "${QX_KEEP:-}" ]; then rm -rf "$prefix" "$mark"; fi
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

qx_new_prefix "$prefix" || { echo "run-test-exe: cannot make the Wine prefix $prefix"; exit 1; }
export WINEPREFIX="$prefix"
# Helper programs a test starts go beside it in C:\qxtest.
mkdir -p "$prefix/drive_c/qxtest"
for helper in ${QX_WINE_HELPERS:-}; do cp -f "$helper" "$prefix/drive_c/qxtest/"; done
# A test may shape its prefix before Wine first runs in it (records_disk.sh
# makes C: a small disk of its own).
if [ -n "${QX_PREFIX_SETUP:-}" ]; then
    $QX_PREFIX_SETUP "$prefix" || { echo "run-test-exe: shaping the prefix failed"; exit 1; }
fi
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
