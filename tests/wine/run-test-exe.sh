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

# Each run holds a lock on STEM.XXXXXX.lock for as long as it lives; a lock
# nobody holds was left by a run that was killed (a timeout, a crash): its
# prefix is removed, never reused. A prefix under the bare STEM is from
# before prefixes were made per run.
rm -rf "$stem"
for lock in "$stem".*.lock; do
    [ -e "$lock" ] || continue
    if (flock -n 9) 9<"$lock" 2>/dev/null; then rm -rf "${lock%.lock}" "$lock"; fi
done
lock="$(mktemp "$stem.XXXXXX.lock")" || { echo "run-test-exe: cannot make $stem.*.lock"; exit 1; }
exec 9<"$lock"
flock -n 9 || { echo "run-test-exe: cannot lock $lock"; exit 1; }
prefix="${lock%.lock}"
cleanup() {
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
    if [ -z "${QX_KEEP:-}" ]; then rm -rf "$prefix" "$lock"; fi
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
