#!/usr/bin/env bash
# The scan benchmark without make: builds a release tree (no sanitizers) and
# runs quellix-bench in it. Extra arguments go to quellix-bench
# (--files N, --runs R, --check-targets, --smoke).
#   bench/run.sh --cold [--runs R]  the floor (one reader, and 16 reads in
#                                   flight) and quellix-scan with the page cache
#                                   dropped before each run (needs root)
#   bench/run.sh --scale [--runs R] quellix-scan over the million-file,
#                                   100,000-entry and 120-deep trees
#   bench/run.sh --window [...]     the window under Wine: bench/window.sh
#   bench/run.sh --all [--runs R]   all of them over the one tree, one after
#                                   the other: every figure beside its target
# BUILD_DIR picks the build folder (default build/bench); JOBS the build's -j;
# QX_BENCH_BIN a folder of ready native programs (no build then).
set -euo pipefail
cd "$(dirname "$0")/.."
mode=warm
case "${1:-}" in
    --window) shift; exec bench/window.sh "$@" ;;
    --cold) mode=cold; shift ;;
    --scale) mode=scale; shift ;;
    --all) mode=all; shift ;;
esac
build_dir="${BUILD_DIR:-build/bench}"
tree="$build_dir/bench-tree"
bin="${QX_BENCH_BIN:-}"
if [ -z "$bin" ]; then
    cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQX_SANITIZE=OFF >/dev/null
    cmake --build "$build_dir" -j"${JOBS:-2}" --target quellix-bench >/dev/null
    bin="$build_dir/bin"
fi
if [ "$mode" = warm ]; then
    exec "$bin/quellix-bench" --tree "$tree" "$@"
fi
runs=5
if [ "${1:-}" = --runs ]; then runs="$2"; fi

median() { sort -n "$1" | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

# Cold cache: each run starts with the page cache dropped, so every file's
# blocks come from the disk. The same tree as the warm benchmark. The scan is
# also run without its read-ahead (QX_SCAN_READ_AHEAD=0), to show what it adds.
inflight=16
cold() {
    [ -f "$tree.manifest" ] || "$bin/quellix-bench" --tree "$tree" --runs 1 >/dev/null
    drop() { sync && echo 3 >/proc/sys/vm/drop_caches; }
    if ! (drop) 2>/dev/null; then
        echo "cold cache: not measured: the page cache cannot be dropped here" \
            "(needs root and a writable /proc/sys/vm/drop_caches)"
        return 0
    fi
    seconds() {  # seconds CMD...: wall time of one run after dropping the caches
        drop
        local start end
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1 || true  # the scan exits 1 when it finds something
        end=$(date +%s%N)
        echo $(((end - start) / 1000))
    }
    : >"$tree.cold-floor"
    : >"$tree.cold-parallel"
    : >"$tree.cold-scan"
    : >"$tree.cold-scan-alone"
    for ((r = 1; r <= runs; ++r)); do
        seconds "$bin/quellix-floor" "$tree" >>"$tree.cold-floor"
        seconds "$bin/quellix-floor" --inflight "$inflight" "$tree" >>"$tree.cold-parallel"
        seconds "$bin/quellix-scan" --report-only "$tree" >>"$tree.cold-scan"
        seconds env QX_SCAN_READ_AHEAD=0 "$bin/quellix-scan" --report-only "$tree" \
            >>"$tree.cold-scan-alone"
    done
    awk -v f="$(median "$tree.cold-floor")" -v p="$(median "$tree.cold-parallel")" \
        -v s="$(median "$tree.cold-scan")" -v a="$(median "$tree.cold-scan-alone")" \
        -v r="$runs" -v n="$inflight" 'BEGIN {
        printf "cold cache (dropped before each run), median of %d runs:\n", r
        printf "  floor: walk+open+4K+4K+close, one reader    %8.3f s\n", f / 1e6
        printf "  floor with %2d reads in flight               %8.3f s\n", n, p / 1e6
        printf "  quellix-scan --report-only                  %8.3f s\n", s / 1e6
        printf "  quellix-scan, read-ahead off                %8.3f s\n", a / 1e6
        printf "  quellix-scan vs one-reader floor: %.2fx (target <= 0.70x) %s\n", s / f, (s / f <= 0.70) ? "met" : "MISSED"
        printf "  quellix-scan vs floor with reads in flight: %.2fx\n", s / p
        printf "  read-ahead off vs one-reader floor: %.2fx\n", a / f
    }'
}

if [ "$mode" = cold ]; then
    cold
    exit 0
fi
if [ "$mode" = scale ]; then
    exec "$bin/quellix-bench" --tree "$tree" --runs "$runs" --scale
fi

# --all: the warm benchmark (with the 100x table and peak memory), the cold
# cache, the scale trees, then the window under Wine, each over the same tree.
echo "== warm page cache"
"$bin/quellix-bench" --tree "$tree" --runs "$runs" || true
echo
echo "== cold page cache"
cold
echo
echo "== scale: a million files, 100,000 entries in one folder, 120 folders deep"
"$bin/quellix-bench" --tree "$tree" --runs "$runs" --scale || true
echo
echo "== the window under Wine"
win_build="${WIN_BUILD:-build/win64}"
if [ ! -f "$win_build/bin/quellix.exe" ]; then
    echo "window: not measured: no Windows build in $win_build (make test builds one)"
    exit 0
fi
WIN_BUILD="$win_build" HOST_BIN="$bin" TREE="$tree" bench/window.sh --runs "$runs"
