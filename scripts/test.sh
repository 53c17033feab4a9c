#!/usr/bin/env bash
# Checks the sources' formatting, builds every tree and runs every test:
# native (with ASan and UBSan), the fuzz targets for a short run, and the
# Windows programs under Wine (x64, and x86 where wine32 is installed) with a
# virtual display for the window tests. Ends with one summary line.
set -uo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"
log_dir="build/test-logs"
mkdir -p "$log_dir"
total_passed=0
total_failed=0
total_skipped=0
stage_failed=0

# run_ctest NAME DIR [CTEST-ARGS...]: runs ctest, adds its counts to the totals.
# The counts come from ctest's JUnit file (a test whose program exits 77 is
# "notrun" there, with its output); the human-readable log stays for people.
run_ctest() {
    local name="$1" dir="$2"
    shift 2
    local log="$log_dir/$name.log" junit="$(realpath -m "$log_dir")/$name.junit.xml"
    rm -f "$junit"
    (cd "$dir" && ${QX_CTEST_WRAP:-} ctest --output-on-failure --output-junit "$junit" "$@") >"$log" 2>&1
    local status=$? passed=0 failed=0 skipped=0 report=""
    if [ -s "$junit" ] && report="$(python3 scripts/ctest-junit.py "$junit" "$log")"; then
        read -r _ passed failed skipped <<<"$(head -1 <<<"$report")"
        if [ "$status" -ne 0 ] && [ "$failed" -eq 0 ]; then
            # ctest failed though no test did (a crash or timeout of ctest itself).
            failed=1
            echo "test: $name: ctest exited with $status though no test failed; the end of its log:"
            tail -30 "$log"
        fi
    elif ! grep -q "No tests were found" "$log"; then
        # ctest ended without its summary: say what the log last shows.
        failed=1
        echo "test: $name: ctest ended without a summary; the end of its log:"
        tail -30 "$log"
    fi
    total_passed=$((total_passed + passed))
    total_failed=$((total_failed + failed))
    total_skipped=$((total_skipped + skipped))
    echo "test: $name: $passed passed, $failed failed, $skipped skipped"
    grep '^skipped: ' <<<"$report" | sed 's/^/  /'
    if [ "$failed" -ne 0 ]; then
        # Each failed test's name and the end of what it printed.
        sed -n '/^failed: /,$p' <<<"$report" | head -120
        echo "test: full log in $log"
    fi
}

# configure_and_build NAME DIR CMAKE-ARGS...
configure_and_build() {
    local name="$1" dir="$2"
    shift 2
    local log="$log_dir/build-$name.log"
    if cmake -S . -B "$dir" "$@" >"$log" 2>&1 && cmake --build "$dir" -j"$jobs" >>"$log" 2>&1; then
        echo "test: built $name"
        return 0
    fi
    tail -40 "$log"
    echo "test: building $name failed (log in $log)"
    stage_failed=$((stage_failed + 1))
    return 1
}

# Formatting first: it needs no build and takes a second. So do the links of
# README.md and docs/.
if ! bash scripts/check-format.sh; then stage_failed=$((stage_failed + 1)); fi
if ! python3 scripts/check-doc-links.py; then stage_failed=$((stage_failed + 1)); fi

if configure_and_build native-asan build/host-asan -DCMAKE_BUILD_TYPE=Debug -DQX_SANITIZE=ON; then
    run_ctest native build/host-asan -j"$jobs" -LE slow
fi

# The release tree gives the host tools to the cross builds.
configure_and_build native build/host -DCMAKE_BUILD_TYPE=RelWithDebInfo || true

if configure_and_build fuzz build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQX_FUZZ=ON; then
    run_ctest fuzz build/fuzz -L fuzz
fi

windows_build() {  # windows_build NAME DIR TOOLCHAIN
    configure_and_build "$1" "$2" -DCMAKE_TOOLCHAIN_FILE="$3" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQX_HOST_TOOLS_DIR="$PWD/build/host/bin"
}
windows_tests() {  # windows_tests NAME DIR TOOLCHAIN
    if windows_build "$@"; then
        run_ctest "$1" "$2" --timeout 600
    fi
}
export -f run_ctest 2>/dev/null || true

source tests/wine/wine-env.sh
# Where the kernel runs no 32-bit programs, the Windows tests run inside a
# namespace where qemu-user runs Wine's 32-bit loader: the x86 tree needs it,
# and so does the x64 tree's scenario with a 32-bit worm.
wine32_mode="$(qx_wine32_mode)"
case "$wine32_mode" in
    qemu) export QX_CTEST_WRAP="$PWD/tests/wine/wine32/enter-namespace.sh"
          echo "test: 32-bit Windows programs run through qemu-user (this kernel runs no 32-bit programs)" ;;
    none) echo "test: WARNING: 32-bit Windows programs cannot run here: $(qx_no_wine32_reason)" ;;
esac
windows_tests windows-x64 build/win64 cmake/mingw-x64.cmake
if [ "$wine32_mode" != none ]; then
    windows_tests windows-x86 build/win32 cmake/mingw-x86.cmake
elif windows_build windows-x86 build/win32 cmake/mingw-x86.cmake; then
    # The import check needs no Wine; every other x86 test counts as skipped,
    # by name, with the reason.
    run_ctest windows-x86-imports build/win32 -L imports
    reason="$(qx_no_wine32_reason)"
    names="$(cd build/win32 && ctest -N -LE imports | sed -nE 's/^ *Test +#[0-9]+: (.*)$/\1/p')"
    count=0
    if [ -n "$names" ]; then count="$(wc -l <<<"$names")"; fi
    total_skipped=$((total_skipped + count))
    echo "test: windows-x86: 0 passed, 0 failed, $count skipped ($reason)"
    if [ -n "$names" ]; then sed 's/^/  skipped: /' <<<"$names"; fi
fi

# Packaging, once both Windows trees are built: `cmake --install` and the
# Debian package of the release tree, and the ZIP the x64 tree makes of both
# widths (ctest label `package` in build/host). Outside the qemu namespace:
# they run no 32-bit program.
if [ -f build/host/CTestTestfile.cmake ]; then
    QX_CTEST_WRAP="" run_ctest packaging build/host -L package
else
    echo "test: packaging: no release tree (build/host) to package"
    stage_failed=$((stage_failed + 1))
fi

total_failed=$((total_failed + stage_failed))
echo "Summary: $total_passed passed, $total_failed failed, $total_skipped skipped"
[ "$total_failed" -eq 0 ]
