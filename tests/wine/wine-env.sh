# Sourced by the Wine test scripts: one throwaway prefix per build folder,
# made once from a cached template and with no Z: mapping of the host.
# Usage: source tests/wine/wine-env.sh PREFIX_DIR
QX_WINE_TEMPLATE="${QX_WINE_TEMPLATE:-${TMPDIR:-/tmp}/quellix-wine-template}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# Some kernels run no 32-bit programs at all (no IA-32 emulation). Debian's
# wine wrapper prefers the 32-bit loader once wine32 is installed, so there
# every Wine program, 64-bit ones too, fails with "Exec format error". On such
# a machine `wine` (and `wineboot`, which calls wine-stable) are pointed at the
# 64-bit loader alone, and 32-bit Windows programs are out of reach.
qx_i386_runs() {
    if [ -z "${QX_I386_RUNS:-}" ]; then
        if [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
            QX_I386_RUNS=yes
        else
            QX_I386_RUNS=no
        fi
        export QX_I386_RUNS
    fi
    [ "$QX_I386_RUNS" = yes ]
}

qx_use_wine64_only() {
    local shims="${TMPDIR:-/tmp}/quellix-wine64-only"
    mkdir -p "$shims"
    local name
    for name in wine wine-stable; do
        [ -x "$shims/$name" ] && continue
        printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' \
            >"$shims/$name.new"
        chmod +x "$shims/$name.new"
        mv -f "$shims/$name.new" "$shims/$name"
    done
    case ":$PATH:" in
        *":$shims:"*) ;;
        *) export PATH="$shims:$PATH" ;;
    esac
}

if [ -x /usr/lib/wine/wine64 ] && ! qx_i386_runs; then
    qx_use_wine64_only
fi

qx_make_template() {
    if [ -f "$QX_WINE_TEMPLATE/.ready" ]; then return 0; fi
    local lock="$QX_WINE_TEMPLATE.lock"
    (
        flock 9
        if [ -f "$QX_WINE_TEMPLATE/.ready" ]; then exit 0; fi
        rm -rf "$QX_WINE_TEMPLATE"
        WINEPREFIX="$QX_WINE_TEMPLATE" env -u DISPLAY wineboot -i >/dev/null 2>&1
        WINEPREFIX="$QX_WINE_TEMPLATE" wineserver -w
        # Never let a scan see the host: Z: would be a fixed drive holding "/".
        rm -f "$QX_WINE_TEMPLATE/dosdevices/z:"
        qx_unlink_host_folders "$QX_WINE_TEMPLATE"
        touch "$QX_WINE_TEMPLATE/.ready"
    ) 9>"$lock"
}

# Wine links the user's shell folders (Desktop, Documents...) to the host's
# home: a scan of C: would walk, and could delete in, it. Plain folders instead.
qx_unlink_host_folders() {
    local link
    find "$1/drive_c" -type l -print0 | while IFS= read -r -d '' link; do
        rm -f "$link" && mkdir -p "$link"
    done
}

# qx_new_prefix DIR: a fresh prefix made from the template. A prefix is some
# 700 MB, nearly all of it the system's programs and libraries, which no test
# writes: those are hard links to the template's files, so that a test run
# holding dozens of prefixes does not fill the disk. Every other file (the
# registry, .ini files, anything Wine may rewrite in place) is a copy of its own.
QX_SHARED_FILES='.*/drive_c/windows/.*\.\(dll\|exe\|drv\|sys\|nls\|ocx\|cpl\|acm\|ax\|tlb\|ds\|ttf\|fon\)'
qx_new_prefix() {
    qx_make_template
    rm -rf "$1"
    local template="$QX_WINE_TEMPLATE"
    if ! cp -al "$template" "$1" 2>/dev/null; then
        # Another file system: one full copy beside DIR links the prefixes there.
        rm -rf "$1"
        template="$(dirname "$1")/.quellix-wine-template"
        if [ ! -f "$template/.ready" ] || [ "$QX_WINE_TEMPLATE/.ready" -nt "$template/.ready" ]; then
            rm -rf "$template" "$template.new"
            cp -a "$QX_WINE_TEMPLATE" "$template.new" && mv "$template.new" "$template"
        fi
        if ! cp -al "$template" "$1"; then
            rm -rf "$1"
            return 1
        fi
    fi
    local file
    find "$1" -type f ! -iregex "$QX_SHARED_FILES" -print0 |
        while IFS= read -r -d '' file; do
            cp -p --remove-destination "$template/${file#"$1"/}" "$file"
        done
    rm -f "$1/dosdevices/z:" "$1/.ready"
    qx_unlink_host_folders "$1"
}

# qx_wine_run PREFIX EXE [ARGS...]: copies EXE into C:\qxtest and runs it there.
qx_wine_run() {
    local prefix="$1" exe="$2"
    shift 2
    mkdir -p "$prefix/drive_c/qxtest"
    cp -f "$exe" "$prefix/drive_c/qxtest/"
    local name
    name="$(basename "$exe")"
    (cd "$prefix/drive_c/qxtest" && WINEPREFIX="$prefix" wine "C:\\qxtest\\$name" "$@")
}

# True when 32-bit Windows programs can run here: wine32 is installed and the
# kernel runs its 32-bit loader.
qx_have_wine32() {
    dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "ok installed" && qx_i386_runs
}
