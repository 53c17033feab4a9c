#!/usr/bin/env bash
# Builds the native tree (tools, rescue scanner, tests) and quellix.exe for
# x64 and x86 into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"

build_tree() {  # build_tree DIR CMAKE-ARGS...
    local dir="$1"
    shift
    # A configured tree keeps its toolchain; say nothing about the repeated one.
    cmake -S . -B "$dir" --no-warn-unused-cli -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j"$jobs" >/dev/null
}

echo "build: native (build/host)"
build_tree build/host
echo "build: Windows x64 (build/win64)"
build_tree build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x64.cmake -DQX_HOST_TOOLS_DIR="$PWD/build/host/bin"
echo "build: Windows x86 (build/win32)"
build_tree build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86.cmake -DQX_HOST_TOOLS_DIR="$PWD/build/host/bin"
