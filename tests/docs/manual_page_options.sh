#!/usr/bin/env bash
# manual_page_options.sh PAGE PROGRAM: the long options the manual page's
# SYNOPSIS and OPTIONS name are the ones the usage lines and the Options of
# the program's --help name, and the
# page's synopsis shows the same command lines as the usage text. (Other
# sections may name another program's options.)
set -uo pipefail
page="$1" program="$2"
name="$(basename "$program")"
# The page's SYNOPSIS and OPTIONS, roff's escaped hyphens made plain.
page_text="$(awk '/^\.SH /{keep = ($2 == "SYNOPSIS" || $2 == "OPTIONS")} keep' "$page" |
    sed -e 's/\\-/-/g')"
help_text="$("$program" --help)" || {
    echo "FAIL: $name --help fails"
    exit 1
}
options() { grep -oE -- '(^|[^-a-z])--[a-z][a-z-]*' | grep -oE -- '--[a-z][a-z-]*' | sort -u; }
from_page="$(options <<<"$page_text")"
# The usage lines and the Options block of --help (its prose may name another
# program's options).
from_help="$(awk 'NR == 1 {keep = 1} /^Options:$/ {keep = 1} /^$/ {keep = 0} keep' <<<"$help_text" |
    options)"
if [ "$from_page" != "$from_help" ]; then
    echo "FAIL: $page and $name --help name different options"
    diff <(echo "$from_page") <(echo "$from_help") | sed 's/^</  page:/; s/^>/  help:/' | grep -E 'page:|help:'
    exit 1
fi
# Each usage line's words (without brackets) appear, in order, in the synopsis.
synopsis="$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$page" 2>/dev/null | sed -n '/^SYNOPSIS/,/^DESCRIPTION/p')"
if [ -n "$synopsis" ]; then
    while IFS= read -r line; do
        words="$(sed -E 's/^(Usage:)? +//; s/ +$//' <<<"$line")"
        grep -qF -- "$words" <<<"$synopsis" || {
            echo "FAIL: the synopsis of $page lacks '$words'"
            exit 1
        }
    done < <(sed -n '/^Usage:/,/^$/p' <<<"$help_text" | sed '/^$/d')
fi
echo "$page and $name --help agree: $(tr '\n' ' ' <<<"$from_help")"
