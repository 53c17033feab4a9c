#!/usr/bin/env bash
# make run: quellix.exe on a demo drive, in a throwaway Wine prefix.
#   - the prefix has no Z: drive and no links to your home: the scan sees only
#     the prefix's C: and the demo drive D:;
#   - D: holds a synthetic sample of every detection kind, one of them held
#     open by another program so that it can only be deleted at the next start
#     of Windows; the Run key holds start-up entries that point at them; an
#     infected program (a harmless one that only waits, carrying a signature)
#     is running when the scan starts;
#   - the window opens on your display when DISPLAY is set, else on a virtual
#     one (Xvfb);
#   - our driver program presses SCAN, answers the restart question with No
#     (nothing is ever restarted) and reads the result list; with MANUAL=1
#     (make run MANUAL=1) you press SCAN and answer yourself;
#   - prints the result list and the status line and saves screenshots in
#     build/run/.
# QX_ARCH=win32 runs the 32-bit program.
set -uo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
arch="${QX_ARCH:-win64}"
bin="$root/build/$arch/bin"
manual="${MANUAL:-${QX_MANUAL:-}}"
out="$root/build/run"

for exe in quellix.exe qxdriver.exe qxplant.exe qxworm.exe; do
    if [ ! -f "$bin/$exe" ]; then
        echo "run: $bin/$exe is missing; build first (make build)"
        exit 1
    fi
done

if [ -z "${DISPLAY:-}" ] && [ -z "${QX_RUN_XVFB:-}" ]; then
    if [ -n "$manual" ]; then
        echo "run: MANUAL=1 needs a display (DISPLAY is not set)"
        exit 1
    fi
    echo "run: no DISPLAY; the window opens on a virtual display (Xvfb)"
    QX_RUN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi

source "$root/tests/wine/wine-env.sh"
source "$root/tests/e2e/control-ids.sh"
# Where the kernel runs no 32-bit programs, the whole run goes inside the
# namespace where qemu-user runs them (the infected stand-in is one).
if [ "$(qx_wine32_mode)" = qemu ]; then
    exec "$root/tests/wine/wine32/enter-namespace.sh" bash "$0" "$@"
fi
mkdir -p "$out"
rm -f "$out"/*.png
work="$(mktemp -d "${TMPDIR:-/tmp}/quellix-run.XXXXXX")"
prefix="$work/prefix"
export WINEPREFIX="$prefix"
cleanup() {
    wineserver -k >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT

echo "run: making a throwaway Wine prefix"
qx_new_prefix "$prefix" || { echo "cannot make the Wine prefix"; exit 1; }
# A scan must never see the host's files.
qx_check_isolated "$prefix" || exit 1
dir="$prefix/drive_c/qxtest"
mkdir -p "$dir"
cp -f "$bin/quellix.exe" "$bin/qxdriver.exe" "$bin/qxplant.exe" "$bin/qxworm.exe" "$dir/"
wineserver -p >/dev/null 2>&1
in_prefix() { (cd "$dir" && wine "$@"); }
if [ -n "${QX_RUN_XVFB:-}" ]; then
    # No window manager on the virtual display: Wine draws frames and captions.
    in_prefix reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
fi

echo "run: planting the demo drive D:"
mkdir -p "$prefix/drive_d"
ln -sfn ../drive_d "$prefix/dosdevices/d:"
mkdir -p "$prefix"/drive_d/{Games/Patch,Downloads,Mail,Web}
plant() {  # plant KIND WINDOWS-PATH
    local name
    name="$(in_prefix 'C:\qxtest\qxplant.exe' "$1" "$2" 2>/dev/null | tr -d '\r')"
    printf '  %-28s %-9s %s\n' "$2" "$1" "$name"
}
plant exe 'D:\Games\game.exe'
plant archive 'D:\Downloads\pics.zip'
plant zip 'D:\Mail\mail.zip'
plant rar 'D:\Mail\docs.rar'
plant script 'D:\Web\page.vbs'
if [ -z "$manual" ]; then plant exe 'D:\Games\Patch\update.exe'; fi
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
in_prefix reg add "$run_key" /v GameHelper /d '"D:\Games\game.exe" -silent' /f >/dev/null 2>&1
in_prefix reg add "$run_key" /v d3dupdate.exe /d 'C:\WINDOWS\SYSTEM32\BBEAGLE.EXE' /f >/dev/null 2>&1
echo "  start-up entries: GameHelper -> D:\\Games\\game.exe, d3dupdate.exe -> BBEAGLE.EXE (W32/Bagle.A)"
worm="$(in_prefix 'C:\qxtest\qxplant.exe' worm 'C:\qxtest\qxworm.exe' 'D:\Games\gamesvc.exe' 2>/dev/null | tr -d '\r')"
if [ -n "$worm" ]; then
    # The stand-in is a 32-bit program; where none runs, the scan finds it on disk only.
    how="(not started: $(qx_no_wine32_reason))"
    if qx_have_wine32; then
        (cd "$dir" && wine 'D:\Games\gamesvc.exe' >/dev/null 2>&1 &)
        how="(running)"
    fi
    printf '  %-28s %-9s %s %s\n' 'D:\Games\gamesvc.exe' worm "$worm" "$how"
fi

if [ -n "$manual" ]; then
    echo "run: press SCAN in the Quellix window; close it with OK when the scan is over"
    steps=(start shot:before wait-ok:forever read shot:after expect-ended:forever)
else
    # update.exe stays open in the driver while the scan runs.
    steps=('hold:D:\Games\Patch\update.exe' start shot:before click:$IDC_SCAN sleep:400 shot:during
           answer:no wait-ok read shot:after scroll-top shot:findings click:$IDC_OK_BUTTON expect-ended)
fi

# The demo drive too must be a folder of the prefix.
qx_check_isolated "$prefix" || exit 1
# The driver asks for screenshots on its output; this loop takes them.
transcript="$out/transcript.txt"
: >"$transcript"
(cd "$dir" && wine 'C:\qxtest\qxdriver.exe' "${steps[@]}" 2>/dev/null) | while IFS= read -r line; do
    line="${line%$'\r'}"
    case "$line" in
        "@shot "*)
            shot="${line#@shot }"
            window="$(xdotool search --name '^Quellix Ver 7.0$' 2>/dev/null | head -1)"
            if [ -n "${QX_RUN_XVFB:-}" ] || [ -z "$window" ]; then
                import -window root -crop 640x480+0+0 +repage "$out/quellix-$shot.png" 2>/dev/null
            else
                import -window "$window" "$out/quellix-$shot.png" 2>/dev/null
            fi
            touch "$dir/shot-$shot.done"
            ;;
        *) printf '%s\n' "$line" >>"$transcript" ;;
    esac
done

echo "run: result list"
sed -n 's/^line: /  /p' "$transcript"
sed -n 's/^status: /run: status: /p' "$transcript"
sed -n 's/^question: /run: asked: /p' "$transcript"
grep '^FAIL' "$transcript" && exit 1
echo "run: screenshots: $(cd "$out" && ls quellix-*.png 2>/dev/null | tr '\n' ' ')(in build/run/)"
