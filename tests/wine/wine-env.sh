# Sourced by the Wine test scripts: one throwaway prefix per build folder,
# made once from a cached template and with no Z: mapping of the host.
# Usage: source tests/wine/wine-env.sh PREFIX_DIR
QX_WINE_TEMPLATE="${QX_WINE_TEMPLATE:-${TMPDIR:-/tmp}/quellix-wine-template}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

QX_WINE_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

# Some kernels run no 32-bit programs at all (no IA-32 emulation). Debian's
# wine wrapper prefers the 32-bit loader once wine32 is installed, so there
# every Wine program, 64-bit ones too, fails with "Exec format error". Such a
# machine runs the 32-bit loader through qemu-user inside a namespace of its
# own (wine32/enter-namespace.sh); outside it, `wine` (and `wineboot`, which
# calls wine-stable) are pointed at the 64-bit loader alone.
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

# How 32-bit Windows programs run here: "native" (the kernel runs the 32-bit
# loader), "qemu" (only inside wine32/enter-namespace.sh) or "none", which
# qx_no_wine32_reason explains.
qx_wine32_mode() {
    if [ -z "${QX_WINE32_MODE:-}" ] || [ "${QX_WINE32_NAMESPACE:-}" = yes ]; then
        QX_WINE32_MODE="$(qx_probe_wine32_mode)"
        export QX_WINE32_MODE
    fi
    echo "$QX_WINE32_MODE"
}
qx_probe_wine32_mode() {
    if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "ok installed"; then
        echo none
    elif [ "${QX_WINE32_NAMESPACE:-}" = yes ] || qx_i386_runs; then
        echo native
    elif command -v qemu-i386 >/dev/null 2>&1 && command -v unshare >/dev/null 2>&1 &&
        "$QX_WINE_DIR/wine32/enter-namespace.sh" /usr/lib/wine/wine --version >/dev/null 2>&1; then
        echo qemu
    else
        echo none
    fi
}
qx_no_wine32_reason() {
    if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "ok installed"; then
        echo "wine32 is not installed"
    elif ! command -v qemu-i386 >/dev/null 2>&1; then
        echo "this kernel runs no 32-bit programs and qemu-user (qemu-i386) is not installed"
    else
        echo "this kernel runs no 32-bit programs and qemu-i386 could not be registered in a user namespace"
    fi
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

# The template is made once per Wine version and kind (with or without the
# 32-bit side); .ready holds both, so a template made by another Wine, or
# before 32-bit programs could run, is made again. A failed wineboot leaves no
# .ready behind: the next run tries again instead of reusing a broken prefix.
qx_template_stamp() {
    local wow64=no
    case "$(qx_wine32_mode)" in native | qemu) wow64=yes ;; esac
    echo "wine=$(/usr/lib/wine/wine64 --version 2>/dev/null) wow64=$wow64"
}
qx_make_template() {
    local stamp
    stamp="$(qx_template_stamp)"
    if [ "$(cat "$QX_WINE_TEMPLATE/.ready" 2>/dev/null)" = "$stamp" ]; then return 0; fi
    local lock="$QX_WINE_TEMPLATE.lock"
    (
        flock 9
        if [ "$(cat "$QX_WINE_TEMPLATE/.ready" 2>/dev/null)" = "$stamp" ]; then exit 0; fi
        rm -rf "$QX_WINE_TEMPLATE"
        local boot=(env -u DISPLAY WINEPREFIX="$QX_WINE_TEMPLATE" bash -c 'wineboot -i && wineserver -w')
        if [ "$(qx_wine32_mode)" = qemu ]; then
            boot=("$QX_WINE_DIR/wine32/enter-namespace.sh" "${boot[@]}")
        fi
        if ! "${boot[@]}" >"$QX_WINE_TEMPLATE.log" 2>&1 || [ ! -f "$QX_WINE_TEMPLATE/system.reg" ]; then
            echo "wine-env: making the template prefix failed; wineboot said:" >&2
            tail -20 "$QX_WINE_TEMPLATE.log" >&2
            exit 1
        fi
        if [[ "$stamp" == *wow64=yes ]] && [ ! -f "$QX_WINE_TEMPLATE/drive_c/windows/syswow64/kernel32.dll" ]; then
            echo "wine-env: the template prefix has no 32-bit side (syswow64)" >&2
            exit 1
        fi
        # Never let a scan see the host: Z: would be a fixed drive holding "/".
        rm -f "$QX_WINE_TEMPLATE/dosdevices/z:"
        qx_unlink_host_folders "$QX_WINE_TEMPLATE"
        echo "$stamp" >"$QX_WINE_TEMPLATE/.ready"
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

# qx_check_isolated PREFIX: fails, saying why, unless the prefix maps no host
# folder: no Z:, every drive letter a folder inside the prefix, no link under
# drive_c. Device entries (com1 -> /dev/ttyS0) are no folders and may stay.
# Called before anything scans in a prefix.
qx_check_isolated() {
    local prefix why="" entry target
    prefix="$(cd "$1" 2>/dev/null && pwd -P)" || why="no such prefix: $1"
    if [ -z "$why" ] && { [ -e "$prefix/dosdevices/z:" ] || [ -L "$prefix/dosdevices/z:" ]; }; then
        why="Z: is mapped"
    fi
    if [ -z "$why" ]; then
        for entry in "$prefix"/dosdevices/*; do
            [ -e "$entry" ] || [ -L "$entry" ] || continue
            target="$(readlink -m "$entry")"
            case "${entry##*/}" in
                ?:)
                    if [ "${target#"$prefix/"}" = "$target" ]; then
                        why="drive ${entry##*/} leads out of the prefix (to $target)"
                        break
                    fi
                    ;;
                *)
                    if [ "${target#/dev/}" = "$target" ]; then
                        why="${entry##*/} is no device (it leads to $target)"
                        break
                    fi
                    ;;
            esac
        done
    fi
    if [ -z "$why" ]; then
        entry="$(find "$prefix/drive_c" -type l -print -quit 2>/dev/null)"
        [ -z "$entry" ] || why="a link under drive_c: ${entry#"$prefix"/}"
    fi
    if [ -n "$why" ]; then
        echo "refusing to scan: the prefix maps host folders ($why)" >&2
        return 1
    fi
}

# qx_new_prefix DIR: a fresh prefix made from the template. A prefix is some
# 700 MB, nearly all of it the system's programs and libraries, which no test
# writes: those are hard links to the template's files, so that a test run
# holding dozens of prefixes does not fill the disk. Every other file (the
# registry, .ini files, anything Wine may rewrite in place) is a copy of its own.
QX_SHARED_FILES='.*/drive_c/windows/.*\.\(dll\|exe\|drv\|sys\|nls\|ocx\|cpl\|acm\|ax\|tlb\|ds\|ttf\|fon\)'
qx_new_prefix() {
    qx_make_template || return 1
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

# True when 32-bit Windows programs can run here, now: wine32 is installed and
# the kernel runs its 32-bit loader (natively, or inside the namespace).
qx_have_wine32() {
    [ "$(qx_wine32_mode)" = native ]
}
