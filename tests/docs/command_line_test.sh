#!/usr/bin/env bash
# command_line_test.sh VERSION PROGRAM...: every program answers --help, -h
# and --version in the one style, and a wrong option with its name, the
# problem and the usage text on stderr.
set -uo pipefail
version="$1"
shift
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

for program in "$@"; do
    name="$(basename "$program")"
    for option in --help -h; do
        "$program" "$option" >"$work/out" 2>"$work/err"
        status=$?
        [ "$status" -eq 0 ] || fail "$name $option exits $status"
        [ -s "$work/err" ] && fail "$name $option writes to stderr: $(head -3 "$work/err")"
        head -1 "$work/out" | grep -q "^Usage: $name " || fail "$name $option does not begin with 'Usage: $name'"
        grep -qE "^       $name --help \| --version$" "$work/out" ||
            fail "$name $option lacks the line '$name --help | --version'"
        grep -qE '^  -h, --help +show this text and exit$' "$work/out" ||
            fail "$name $option lacks the -h, --help line"
        grep -qE '^  --version +show the version and exit$' "$work/out" ||
            fail "$name $option lacks the --version line"
        grep -q '^Exit status' "$work/out" || fail "$name $option says nothing of the exit status"
    done
    "$program" --version >"$work/out" 2>"$work/err"
    status=$?
    [ "$status" -eq 0 ] || fail "$name --version exits $status"
    expected="$name $version (Quellix Ver $version)"
    [ "$(cat "$work/out")" = "$expected" ] || fail "$name --version prints '$(cat "$work/out")', not '$expected'"
    [ -s "$work/err" ] && fail "$name --version writes to stderr"

    "$program" --no-such-option >"$work/out" 2>"$work/err"
    status=$?
    [ "$status" -ne 0 ] || fail "$name --no-such-option exits 0"
    [ -s "$work/out" ] && fail "$name --no-such-option writes to stdout"
    head -1 "$work/err" | grep -qE "^$name: .+" || fail "$name --no-such-option: stderr does not begin with '$name: '"
    grep -q "^Usage: $name " "$work/err" || fail "$name --no-such-option: no usage text on stderr"
done

if [ "$failures" -ne 0 ]; then
    echo "$failures problems"
    exit 1
fi
echo "$# programs answer --help, -h, --version and a wrong option alike"
