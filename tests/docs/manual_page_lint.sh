#!/usr/bin/env bash
# manual_page_lint.sh PAGE: the page formats through man -l without a warning
# (man-db passes groff's warnings on with --warnings), and through groff's
# own -ww check where groff is installed.
set -uo pipefail
page="$1"
if ! command -v man >/dev/null 2>&1; then
    echo "man is not installed (Debian package man-db): $page not checked"
    exit 77
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" \
    >"$work/out" 2>"$work/err"
status=$?
if [ "$status" -ne 0 ] || [ -s "$work/err" ]; then
    echo "FAIL: man -l $page exits $status with:"
    cat "$work/err"
    exit 1
fi
if [ ! -s "$work/out" ]; then
    echo "FAIL: man -l $page makes no output"
    exit 1
fi
# The page as a reader sees it: its sections are there.
LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>"$work/err" >"$work/text"
for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" FILES EXAMPLES; do
    grep -q "^$section\$" "$work/text" || {
        echo "FAIL: $page has no $section section"
        exit 1
    }
done
if command -v groff >/dev/null 2>&1; then
    groff -t -man -Tutf8 -ww -z "$page" 2>"$work/err"
    if [ -s "$work/err" ]; then
        echo "FAIL: groff -ww warns about $page:"
        cat "$work/err"
        exit 1
    fi
fi
echo "$page: formats without warnings"
