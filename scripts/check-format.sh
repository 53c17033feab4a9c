#!/usr/bin/env bash
# Fails when a tracked C/C++ source differs from what clang-format makes of it
# with the tree's .clang-format; names the files and the first differences.
set -uo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang-format >/dev/null 2>&1; then
    echo "format: clang-format is not installed"
    exit 1
fi
mapfile -d '' files < <(git ls-files -z -- '*.c' '*.cc' '*.cpp' '*.h' '*.hpp')
if [ "${#files[@]}" -eq 0 ]; then
    echo "format: no C/C++ sources found (not a git checkout?)"
    exit 1
fi
out="$(clang-format --dry-run -Werror "${files[@]}" 2>&1)"
status=$?
if [ "$status" -ne 0 ]; then
    echo "format: these files differ from .clang-format (fix with clang-format -i):"
    grep -oE '^[^: ]+:[0-9]+:[0-9]+: error' <<<"$out" | cut -d: -f1 | sort -u | sed 's/^/  /'
    head -40 <<<"$out"
    exit 1
fi
echo "format: ${#files[@]} files as .clang-format wants them"
