# Sourced by the Wine test scripts: one throwaway prefix per build folder,
# made once from a cached template and with no Z: mapping of the host.
# Usage: source tests/wine/wine-env.sh PREFIX_DIR
QX_WINE_TEMPLATE="${QX_WINE_TEMPLATE:-${TMPDIR:-/tmp}/quellix-wine-template}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

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

# qx_new_prefix DIR: a fresh prefix copied from the template.
qx_new_prefix() {
    qx_make_template
    rm -rf "$1"
    cp -a "$QX_WINE_TEMPLATE" "$1"
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

# True when 32-bit Windows programs can run here.
qx_have_wine32() {
    dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "ok installed"
}
