#!/usr/bin/env bash
# The set-up's reading of apt sources over every layout a fresh Debian 12
# machine may have, each in a throwaway folder standing for /etc/apt. Where apt
# itself runs, its own reading of the same folder (the release files that
# `apt-get update --print-uris` would fetch) must list the same entries.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../../scripts/apt-sources.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0

deb822_main='Types: deb
# a comment between fields
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main'
node='Types: deb
URIs: https://deb.nodesource.com/node_20.x
Suites: nodistro
Components: main'

# layout NAME: fills $root for one case.
layout() {
    local r="$root"
    case "$1" in
        deb822-only) printf '%s\n' "$deb822_main" >"$r/sources.list.d/debian.sources" ;;
        deb822-other-first)
            printf '%s\n' "$node" >"$r/sources.list.d/a-node.sources"
            printf '%s\n' "$deb822_main" >"$r/sources.list.d/debian.sources" ;;
        classic-only)
            printf '%s\n' '# deb http://commented.example/debian bookworm main' \
                'deb [arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://ftp.de.debian.org/debian/ bookworm main' \
                'deb http://security.debian.org/debian-security bookworm-security main' >"$r/sources.list" ;;
        both)
            printf '%s\n' "$deb822_main" | sed 's|deb.debian.org/debian$|mirror.example.org/debian|' \
                >"$r/sources.list.d/debian.sources"
            echo 'deb http://ftp.de.debian.org/debian bookworm main' >"$r/sources.list" ;;
        list-in-parts) echo 'deb http://ftp.fr.debian.org/debian bookworm main' >"$r/sources.list.d/fr.list" ;;
        neither) ;;
        empty-files) : >"$r/sources.list"; : >"$r/sources.list.d/empty.sources" ;;
        disabled-and-continued)
            printf '%s\n' 'Types: deb' 'URIs: http://disabled.example/debian' 'Suites: bookworm' \
                'Components: main' 'Enabled: no' '' 'types: deb' 'uris:' ' http://cont.example/debian' \
                '  http://deb.debian.org/debian' 'suites: bookworm' ' bookworm-backports' 'components: main' \
                >"$r/sources.list.d/debian.sources" ;;
        backports-list)
            printf '%s\n' "$deb822_main" >"$r/sources.list.d/debian.sources"
            echo 'deb http://deb.debian.org/debian bookworm-backports main' >"$r/sources.list.d/bp.list" ;;
        *) echo "unknown layout $1"; exit 2 ;;
    esac
}

# name | expected mirror | bookworm-backports present
cases='deb822-only|http://deb.debian.org/debian|no
deb822-other-first|http://deb.debian.org/debian|no
classic-only|http://ftp.de.debian.org/debian|no
both|http://mirror.example.org/debian|no
list-in-parts|http://ftp.fr.debian.org/debian|no
neither|http://deb.debian.org/debian|no
empty-files|http://deb.debian.org/debian|no
disabled-and-continued|http://cont.example/debian|yes
backports-list|http://deb.debian.org/debian|yes'

# apt_entries ROOT: "URI SUITE" lines as apt itself reads ROOT.
apt_entries() {
    local state="$work/state"
    rm -rf "$state"
    mkdir -p "$state/lists/partial" "$state/cache/archives/partial"
    apt-get update --print-uris -o Dir::Etc="$1" -o Dir::State::Lists="$state/lists" \
        -o Dir::Cache="$state/cache" -o Debug::NoLocking=1 2>/dev/null |
        sed -nE "s|^'(.*)/dists/(.*)/InRelease'.*|\1 \2|p" | sed -E 's|/ | |' | sort -u
}
have_apt=no
command -v apt-get >/dev/null 2>&1 && have_apt=yes

check() {  # check WHAT GOT WANT
    if [ "$2" != "$3" ]; then
        echo "FAIL $name: $1: got '$2', want '$3'"
        failures=$((failures + 1))
    fi
}

while IFS='|' read -r name want_mirror want_backports; do
    root="$work/$name"
    mkdir -p "$root/sources.list.d"
    layout "$name"
    check mirror "$(qx_apt_mirror "$root")" "$want_mirror"
    got=no
    qx_apt_has_suite "$root" bookworm-backports && got=yes
    check backports "$got" "$want_backports"
    if [ "$have_apt" = yes ]; then
        check "entries as apt reads them" \
            "$(qx_apt_entries "$root" | awk '{ sub(/\/$/, "", $1); for (i = 2; i <= NF; i++) print $1, $i }' | sort -u)" \
            "$(apt_entries "$root")"
        # The stanza the set-up would add is one apt takes, and one we read back.
        if [ "$got" = no ]; then
            qx_apt_suite_source "$want_mirror" bookworm-backports >"$root/sources.list.d/quellix-backports.sources"
            apt_entries "$root" | grep -qx "$want_mirror bookworm-backports" ||
                { echo "FAIL $name: apt does not read the added backports source"; failures=$((failures + 1)); }
            qx_apt_has_suite "$root" bookworm-backports ||
                { echo "FAIL $name: the added backports source is not read back"; failures=$((failures + 1)); }
        fi
    fi
    echo "layout $name: mirror $(qx_apt_mirror "$root")"
done <<<"$cases"

[ "$have_apt" = yes ] || echo "apt-get is missing: apt's own reading was not compared"
[ "$failures" -eq 0 ] && echo "all layouts read as expected"
[ "$failures" -eq 0 ]
