#!/usr/bin/env bash
# quellix-restore.exe as a user runs it, in a prefix whose quarantine the test
# program filled: list, restore to another place, never over a file, delete,
# and the exit status of each. Usage: restore_program.sh TEST_EXE RESTORE_EXE
set -u
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../wine-env.sh"
test_exe="$1"
restore_exe="$2"
prefix="$(cd "$(dirname "$test_exe")" && pwd)/wine-prefix-quarantine_restore_program"
qx_new_prefix "$prefix" || { echo "FAIL: cannot make the prefix $prefix"; exit 1; }
export WINEPREFIX="$prefix"
qx_wine_run "$prefix" "$test_exe" \
    --gtest_filter=WineQuarantine.EveryKindIsCopiedThenRemovedAndComesBackByteForByte >/dev/null ||
    { echo "FAIL: the test program did not fill the quarantine"; exit 1; }
cp -f "$restore_exe" "$prefix/drive_c/qxtest/"
drive_c="$prefix/drive_c"
failures=0
# restore ARGS...: runs the program, output in $out, status in $status.
restore() {
    out="$(cd "$drive_c/qxtest" && wine 'C:\qxtest\quellix-restore.exe' "$@" 2>&1)"
    status=$?
    out="$(printf '%s' "$out" | tr -d '\r')"
}
expect() {  # expect STATUS WHAT
    if [ "$status" != "$1" ]; then
        echo "FAIL: $2: exit status $status, expected $1"
        echo "$out"
        failures=$((failures + 1))
    else
        echo "ok: $2"
    fi
}

restore list
expect 0 "list"
lines=$(printf '%s\n' "$out" | grep -c '^[0-9]\{8\}-[0-9]\{6\}-[0-9][0-9]  ')
if [ "$lines" != 5 ]; then echo "FAIL: list shows $lines items, expected 5"; echo "$out"; failures=$((failures + 1)); fi
zip_line=$(printf '%s\n' "$out" | grep '  W32/Bagle.H.Worm  C:\\qxq\\kinds\\zip-sample$')
id=${zip_line%% *}
if [ -z "$id" ]; then echo "FAIL: no line for the ZIP sample"; echo "$out"; exit 1; fi

# The test program removed the files it restored: the original place is free.
restore restore "$id"
expect 0 "restore to the original path"
restore restore "$id"
expect 1 "restore again: the file holds those bytes already"
cp "$drive_c/qxq/kinds/zip-sample" "$prefix/zip-original"
echo "the user's own file" > "$drive_c/qxq/kinds/zip-sample"
restore restore "$id"
expect 2 "restore over another file"
if [ "$(cat "$drive_c/qxq/kinds/zip-sample")" != "the user's own file" ]; then
    echo "FAIL: the user's file was overwritten"; failures=$((failures + 1))
fi
restore restore "$id" --to 'C:\qxq\zip-copy'
expect 0 "restore --to another place"
if ! cmp -s "$prefix/zip-original" "$drive_c/qxq/zip-copy"; then
    echo "FAIL: the copy restored elsewhere differs from the original"; failures=$((failures + 1))
fi
restore restore "$id" --to 'C:\qxq\zip-copy'
expect 1 "restore --to the same place again"
restore delete "$id"
expect 0 "delete"
restore delete "$id"
expect 1 "delete again"
restore restore "$id"
expect 2 "restore a deleted item"
restore restore '..\..\windows\win.ini'
expect 2 "restore a name that is no ID"
restore --root 'C:\' list
expect 2 "--root on Windows"
restore list
expect 0 "list after delete"
lines=$(printf '%s\n' "$out" | grep -c '^[0-9]\{8\}-[0-9]\{6\}-[0-9][0-9]  ')
if [ "$lines" != 4 ]; then echo "FAIL: list shows $lines items after delete, expected 4"; failures=$((failures + 1)); fi
wineserver -w
[ "$failures" = 0 ] || exit 1
echo "quellix-restore.exe: every command gave its exit status"
