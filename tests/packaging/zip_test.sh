#!/usr/bin/env bash
# zip_test.sh WIN64-TREE VERSION CHECK-IMPORTS: CPack makes the ZIP of the
# Windows programs from the x64 tree (which takes in the x86 tree's); the ZIP
# lists exactly both widths of quellix.exe, quellix-scan.exe and
# quellix-restore.exe and the readme, each program is a PE of its width and kind, and each still imports
# only what the oldest Windows of its width has.
set -uo pipefail
tree="$1" version="$2" check_imports="$3"
if [ ! -f "$tree/CPackConfig.cmake" ]; then
    echo "no x64 Windows tree with a package configuration at $tree (build it, or set QX_PACKAGE_WIN64_TREE)"
    exit 77
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
if ! cpack -G ZIP --config "$tree/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    echo "FAIL: cpack -G ZIP failed"
    exit 1
fi
zip="$work/out/quellix-$version-windows.zip"
if [ ! -f "$zip" ]; then
    ls "$work/out"
    echo "FAIL: no quellix-$version-windows.zip made"
    exit 1
fi
python3 - "$zip" "quellix-$version-windows" "$work/unpacked" <<'PY' || exit 1
import struct, sys, zipfile

path, top, unpack = sys.argv[1:4]
# name: (PE machine, subsystem); None for the readme
expected = {
    "README.txt": None,
    "x64/quellix.exe": (0x8664, 2),
    "x64/quellix-scan.exe": (0x8664, 3),
    "x64/quellix-restore.exe": (0x8664, 3),
    "x86/quellix.exe": (0x14C, 2),
    "x86/quellix-scan.exe": (0x14C, 3),
    "x86/quellix-restore.exe": (0x14C, 3),
}
problems = []
with zipfile.ZipFile(path) as archive:
    bad = archive.testzip()
    if bad:
        problems.append(f"{bad} is damaged in the ZIP")
    names = [i.filename for i in archive.infolist() if not i.is_dir()]
    for name in names:
        print(f"  {name}")
    want = sorted(f"{top}/{n}" for n in expected)
    if sorted(names) != want:
        problems.append(f"the ZIP holds {sorted(names)}, not {want}")
    for name, kind in expected.items():
        full = f"{top}/{name}"
        if full not in names:
            continue
        data = archive.read(full)
        if kind is None:
            text = data.decode("ascii", "replace")
            if b"\n" in data.replace(b"\r\n", b""):
                problems.append("README.txt has a line end without CR")
            for program in ("x64\\quellix.exe", "x86\\quellix.exe", "quellix-restore"):
                if program not in text:
                    problems.append(f"README.txt does not name {program}")
            continue
        if data[:2] != b"MZ" or len(data) < 0x40:
            problems.append(f"{name} is no Windows program")
            continue
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            problems.append(f"{name} has no PE header")
            continue
        machine = struct.unpack_from("<H", data, pe + 4)[0]
        subsystem = struct.unpack_from("<H", data, pe + 24 + 68)[0]
        if (machine, subsystem) != kind:
            problems.append(f"{name}: machine {machine:#x}, subsystem {subsystem}; "
                            f"wanted {kind[0]:#x}, {kind[1]}")
    archive.extractall(unpack)
for p in problems:
    print("FAIL:", p)
sys.exit(1 if problems else 0)
PY
failures=0
for width in x64 x86; do
    dir="$work/unpacked/quellix-$version-windows/$width"
    if ! python3 "$check_imports" --arch "$width" "$dir/quellix.exe" "$dir/quellix-scan.exe" "$dir/quellix-restore.exe" \
            >"$work/imports.log" 2>&1; then
        cat "$work/imports.log"
        echo "FAIL: the $width programs in the ZIP fail the import check"
        failures=$((failures + 1))
    fi
done
[ "$failures" -eq 0 ] || exit 1
echo "quellix-$version-windows.zip holds both widths of both programs and the readme"
