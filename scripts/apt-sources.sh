# Sourced by setup.sh: reads a machine's apt sources without changing them.
# Every function takes the apt folder as its first argument (/etc/apt on the
# machine, a throwaway folder in the tests) and none of them can fail on a
# missing or empty file: a machine may have deb822 files, a classic
# sources.list, both, or neither.

QX_DEFAULT_DEBIAN_MIRROR="http://deb.debian.org/debian"

# qx_apt_entries ROOT: one line "URI SUITE..." per enabled binary or source
# entry, deb822 files first (sources.list.d/*.sources), then one-line files
# (sources.list.d/*.list, sources.list), each in the order apt reads them.
qx_apt_entries() {
    local root="$1" file
    local deb822=() oneline=()
    for file in "$root"/sources.list.d/*.sources; do
        [ -f "$file" ] && deb822+=("$file")
    done
    for file in "$root"/sources.list.d/*.list "$root"/sources.list; do
        [ -f "$file" ] && oneline+=("$file")
    done
    if [ ${#deb822[@]} -gt 0 ]; then
        # Stanzas end at a blank line; a line starting with a blank continues
        # the field before it; field names are case-insensitive.
        awk '
            function flush() {
                if (uris != "" && enabled != "no") {
                    n = split(uris, u, " ")
                    for (i = 1; i <= n; i++) print u[i], suites
                }
                uris = ""; suites = ""; enabled = ""; field = ""
            }
            FNR == 1 { flush() }
            /^#/ { next }
            /^[ \t]*$/ { flush(); next }
            /^[ \t]/ {
                if (field == "uris") uris = uris " " $0
                else if (field == "suites") suites = suites " " $0
                next
            }
            {
                name = tolower($0); sub(/:.*/, "", name)
                value = $0; sub(/^[^:]*:[ \t]*/, "", value)
                field = name
                if (name == "uris") uris = value
                else if (name == "suites") suites = value
                else if (name == "enabled") enabled = tolower(value)
            }
            END { flush() }
        ' "${deb822[@]}" | awk '{ $1 = $1; print }'
    fi
    if [ ${#oneline[@]} -gt 0 ]; then
        # deb [options] URI SUITE COMPONENTS...; options may hold blanks.
        awk '
            { sub(/#.*/, "") }
            $1 == "deb" || $1 == "deb-src" {
                line = $0
                sub(/^[ \t]*deb(-src)?[ \t]+/, "", line)
                if (line ~ /^\[/) sub(/^\[[^]]*\][ \t]*/, "", line)
                split(line, f, /[ \t]+/)
                if (f[1] != "" && f[2] != "") print f[1], f[2]
            }
        ' "${oneline[@]}"
    fi
}

# qx_apt_mirror ROOT: the Debian mirror the machine already uses (the first
# URI whose path ends in /debian), else Debian's default mirror.
qx_apt_mirror() {
    local mirror
    mirror="$(qx_apt_entries "$1" | awk '$1 ~ /\/debian\/?$/ { sub(/\/$/, "", $1); print $1; exit }')"
    echo "${mirror:-$QX_DEFAULT_DEBIAN_MIRROR}"
}

# qx_apt_has_suite ROOT SUITE: true when an enabled entry names SUITE.
qx_apt_has_suite() {
    qx_apt_entries "$1" | awk -v want="$2" '
        { for (i = 2; i <= NF; i++) if ($i == want) found = 1 }
        END { exit found ? 0 : 1 }'
}

# qx_apt_suite_source MIRROR SUITE: a deb822 stanza adding SUITE's main
# component from MIRROR, signed by Debian's archive keys.
qx_apt_suite_source() {
    printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: main\n' "$1" "$2"
    printf 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg\n'
}
