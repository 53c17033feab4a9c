#!/usr/bin/env bash
# The scan benchmark without make: builds a release tree (no sanitizers) and
# runs quellix-bench in it. Extra arguments go to quellix-bench
# (--files N, --runs R, --check-targets, --smoke).
# BUILD_DIR picks the build folder (default build/bench); JOBS the build's -j.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${BUILD_DIR:-build/bench}"
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQX_SANITIZE=OFF >/dev/null
cmake --build "$build_dir" -j"${JOBS:-2}" --target quellix-bench >/dev/null
exec "$build_dir/bin/quellix-bench" --tree "$build_dir/bench-tree" "$@"
