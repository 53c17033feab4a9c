#!/usr/bin/env bash
# deb_test.sh BUILD WRITE-SAMPLES VERSION: CPack makes the Debian package of
# the rescue tools from the release tree BUILD; the package holds the two
# programs and their manual pages, declares the package of every library they
# load, and its scanner, unpacked with dpkg-deb -x, finds, removes and keeps
# in the quarantine one planted sample of every detection kind, which its
# restore tool brings back.
set -uo pipefail
build="$1" write_samples="$2" version="$3"
for tool in dpkg-deb dpkg-query cpack readelf; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "$tool is not installed: the Debian package is not checked"
        exit 77
    fi
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    echo "FAIL: cpack -G DEB failed"
    exit 1
fi
debs=("$work"/out/quellix-rescue_"$version"_*.deb)
if [ "${#debs[@]}" -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    ls "$work/out"
    echo "FAIL: no quellix-rescue_${version}_*.deb made"
    exit 1
fi
deb="${debs[0]}"
echo "package: $(basename "$deb")"

[ "$(dpkg-deb -f "$deb" Package)" = quellix-rescue ] || fail "Package is $(dpkg-deb -f "$deb" Package)"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version is $(dpkg-deb -f "$deb" Version)"
depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
# The package names alone, one a line (alternatives count too).
depends_names="$(tr ',|' '\n\n' <<<"$depends" | awk '{print $1}')"

expected="./usr/bin/quellix-restore
./usr/bin/quellix-scan
./usr/share/man/man1/quellix-restore.1
./usr/share/man/man1/quellix-scan.1"
files="$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sort)"
[ "$files" = "$expected" ] || fail "the package holds$(printf '\n%s' "$files")
instead of$(printf '\n%s' "$expected")"

dpkg-deb -x "$deb" "$work/root" || fail "dpkg-deb -x failed"
scan="$work/root/usr/bin/quellix-scan"
restore="$work/root/usr/bin/quellix-restore"

# Every library a program loads comes from a package Depends names.
for program in "$scan" "$restore"; do
    for library in $(readelf -d "$program" | sed -nE 's/.*\(NEEDED\).*\[(.*)\]/\1/p'); do
        path="$(ldconfig -p | awk -v lib="$library" '$1 == lib && /x86-64/ {print $NF; exit}')"
        [ -n "$path" ] || path="$(ldconfig -p | awk -v lib="$library" '$1 == lib {print $NF; exit}')"
        owner=""
        for candidate in "$path" "$(realpath -m "$path")" "/usr$path"; do
            owner="$(dpkg-query -S "$candidate" 2>/dev/null | head -1 | cut -d: -f1)" && [ -n "$owner" ] && break
        done
        if [ -z "$owner" ]; then
            fail "$(basename "$program") loads $library, which no installed package holds"
        elif ! grep -qxF "$owner" <<<"$depends_names"; then
            fail "$(basename "$program") loads $library of $owner, which Depends does not name"
        fi
    done
done

# A disk with one sample of every kind and a clean file.
mkdir -p "$work/disk/found"
echo "a clean file" >"$work/disk/notes.txt"
"$write_samples" "$work/disk/found" >"$work/samples" || fail "the sample maker failed"
count="$(wc -l <"$work/samples")"
[ "$count" -ge 5 ] || fail "only $count samples made"

# found_lines OUTCOME: the result lines the scan must print, sorted.
found_lines() {
    while IFS=$'\t' read -r name detection; do
        prefix=""
        [ "$name" = script-sample ] && prefix="Virus "
        printf 'C:\\found\\%s     %s %s%s\n' "$name" "$detection" "$prefix" "$1"
    done <"$work/samples" | sort
}
# check_scan STATUS OUTCOME REMOVED: the exit status, the result lines and statistics.
check_scan() {
    local status="$1" outcome="$2" removed="$3" what="$4"
    [ "$status" -eq 1 ] || fail "$what exits $status, not 1 (found$( [ "$removed" -gt 0 ] && echo ', all removed'))"
    diff <(grep '^C:' "$work/out.txt" | sort) <(found_lines "$outcome") >/dev/null ||
        fail "$what prints other result lines:$(printf '\n'; grep '^C:' "$work/out.txt")"
    grep -qxF "$(printf 'Total files scanned\t\t:  %d' $((count + 1)))" "$work/out.txt" ||
        fail "$what counts other than $((count + 1)) files scanned"
    grep -qxF "$(printf 'Total files infected\t\t:  %d' "$count")" "$work/out.txt" ||
        fail "$what counts other than $count files infected"
    grep -qxF "$(printf 'Total files removed\t\t:  %d' "$removed")" "$work/out.txt" ||
        fail "$what counts other than $removed files removed"
    [ "$(tail -1 "$work/out.txt")" = "Scanning completed" ] || fail "$what does not end with 'Scanning completed'"
}

"$scan" --report-only "$work/disk" >"$work/out.txt" 2>"$work/err.txt"
check_scan $? found 0 "quellix-scan --report-only"
[ "$(find "$work/disk/found" -type f | wc -l)" -eq "$count" ] || fail "--report-only removed a file"
[ -e "$work/disk/Quellix" ] && fail "--report-only wrote records"

"$scan" "$work/disk" >"$work/out.txt" 2>"$work/err.txt"
check_scan $? removed "$count" "quellix-scan"
[ -z "$(find "$work/disk/found" -type f)" ] || fail "samples left after the scan: $(ls "$work/disk/found")"
[ "$(cat "$work/disk/notes.txt")" = "a clean file" ] || fail "the clean file changed"
[ -s "$work/disk/Quellix/Quellix.log" ] || fail "no log written"

"$restore" --root "$work/disk" list >"$work/list.txt" 2>"$work/err.txt"
status=$?
[ "$status" -eq 0 ] || fail "quellix-restore list exits $status: $(cat "$work/err.txt")"
[ "$(wc -l <"$work/list.txt")" -eq "$count" ] || fail "quellix-restore lists $(wc -l <"$work/list.txt") items, not $count"
id="$(awk '$NF == "C:\\found\\exe-sample" {print $1}' "$work/list.txt")"
if [ -z "$id" ]; then
    fail "the list names no C:\\found\\exe-sample:$(printf '\n'; cat "$work/list.txt")"
else
    "$restore" --root "$work/disk" restore "$id" >"$work/out.txt" 2>"$work/err.txt" ||
        fail "quellix-restore restore $id: $(cat "$work/err.txt")"
    mkdir -p "$work/fresh"
    "$write_samples" "$work/fresh" >/dev/null
    cmp -s "$work/fresh/exe-sample" "$work/disk/found/exe-sample" || fail "the restored file differs from the sample"
fi

if command -v man >/dev/null 2>&1; then
    for page in quellix-scan quellix-restore; do
        LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$work/root/usr/share/man/man1/$page.1" 2>&1 |
            grep -q "^NAME" || fail "man -l shows no $page page from the package"
    done
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures problems"
    exit 1
fi
echo "the package's scanner found and removed $count samples; restore brought one back"
