#!/usr/bin/env bash
# install_test.sh BUILD SOURCE VERSION: cmake --install puts exactly the two
# rescue programs and their manual pages under a prefix (one with a blank in
# its name), and the installed programs run from there.
set -uo pipefail
build="$1" source="$2" version="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
prefix="$work/a prefix"
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    echo "FAIL: cmake --install failed"
    exit 1
fi
expected="bin/quellix-restore
bin/quellix-scan
share/man/man1/quellix-restore.1
share/man/man1/quellix-scan.1"
files="$(cd "$prefix" && find . ! -type d | sed 's|^\./||' | sort)"
[ "$files" = "$expected" ] || fail "installed$(printf '\n%s' "$files")
instead of$(printf '\n%s' "$expected")"
for program in quellix-scan quellix-restore; do
    [ -x "$prefix/bin/$program" ] || fail "$program is not executable"
    shown="$("$prefix/bin/$program" --version 2>&1)"
    [ "$shown" = "$program $version (Quellix Ver $version)" ] ||
        fail "the installed $program --version prints '$shown'"
    cmp -s "$prefix/share/man/man1/$program.1" "$source/docs/man/$program.1" ||
        fail "the installed $program.1 differs from docs/man/$program.1"
done
# The installed scanner over an empty drive: nothing found, a complete scan.
mkdir "$work/drive"
"$prefix/bin/quellix-scan" "$work/drive" >"$work/out" 2>/dev/null
status=$?
[ "$status" -eq 0 ] || fail "the installed quellix-scan exits $status over an empty folder"
[ "$(tail -1 "$work/out")" = "Scanning completed" ] || fail "the installed quellix-scan does not complete"
if [ "$failures" -ne 0 ]; then
    echo "$failures problems"
    exit 1
fi
echo "installed under a prefix: $(tr '\n' ' ' <<<"$files")"
