# Sourced by the scripts that drive the window: every `#define ID... N` of the
# program's ui/resource_ids.h as a shell variable of that name (IDC_SCAN=1052),
# so that steps read click:$IDC_SCAN; under `set -u` a misspelt name stops the
# script. IDCANCEL is Windows' own identifier (winuser.h), which the dialogs
# use for their CANCEL buttons.
qx_read_control_ids() {
    local header="$1" hash name value rest count=0
    [ -f "$header" ] || { echo "control-ids: no $header" >&2; return 1; }
    while read -r hash name value rest; do
        if [ "$hash" = "#define" ] && [[ "$name" =~ ^ID[A-Z0-9_]+$ ]] && [[ "$value" =~ ^[0-9]+$ ]]; then
            declare -g "$name=$value"
            count=$((count + 1))
        fi
    done <"$header"
    [ "$count" -gt 0 ] || { echo "control-ids: no identifiers in $header" >&2; return 1; }
    declare -g IDCANCEL=2
}
qx_read_control_ids "$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/ui/resource_ids.h" || exit 1
