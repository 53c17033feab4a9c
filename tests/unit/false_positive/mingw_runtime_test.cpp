// MinGW-w64's own runtime DLLs, built by the toolchain's makers, are not detected.
#include <gtest/gtest.h>

#include "state/program_state.h"
#include "tests/unit/false_positive/real_files.h"

namespace {

using MinGwRuntime = RealPeSweep;

TEST_F(MinGwRuntime, NoRuntimeDllIsDetected) {
    const auto files =
        FindPeFiles({"/usr/lib/gcc/x86_64-w64-mingw32", "/usr/x86_64-w64-mingw32/lib",
                     "/usr/lib/gcc/i686-w64-mingw32", "/usr/i686-w64-mingw32/lib"});
    // Both toolchains ship libstdc++, libgcc and winpthread DLLs at least.
    ASSERT_GE(files.size(), 6u) << "MinGW-w64 (g++-mingw-w64) is not installed";

    const PeSweep sweep = Sweep(files);
    Describe("MinGW runtime", sweep);
    EXPECT_TRUE(sweep.failures.empty()) << ::testing::PrintToString(sweep.failures);
    EXPECT_EQ(ScanState.FilesInfected, 0);
    EXPECT_EQ(sweep.files, static_cast<int>(files.size()));
    // They are PE files that reached the table walk, not files turned away early.
    EXPECT_GE(sweep.tableWalked, sweep.files / 2);
    EXPECT_GT(sweep.paddedToRecordSize, 0);
}

}  // namespace
