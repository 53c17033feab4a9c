// Every .exe and .dll of a fresh Wine prefix (Wine's own builds of the Windows
// system files, 64- and 32-bit, and its 16-bit NE stubs) is not detected.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "state/program_state.h"
#include "tests/unit/false_positive/real_files.h"

namespace {

// The template prefix of the Wine tests, made first if missing (about 20 s);
// empty when that fails.
fs::path WineTemplatePrefix() {
    const std::string command = "bash -c 'source \"" QX_SOURCE_DIR
                                "/tests/wine/wine-env.sh\" && qx_make_template >&2 && "
                                "printf %s \"$QX_WINE_TEMPLATE\"'";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {};
    std::string path;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) path += buffer;
    if (pclose(pipe) != 0) return {};
    return path;
}

using WinePrefixFiles = RealPeSweep;

TEST_F(WinePrefixFiles, NoSystemFileIsDetected) {
    ASSERT_TRUE(HaveTool("wineboot"))
        << "Wine is missing: leave these out with ctest -LE wine-prefix";
    const fs::path prefix = WineTemplatePrefix();
    ASSERT_FALSE(prefix.empty()) << "the Wine template prefix could not be made";
    ASSERT_TRUE(fs::exists(prefix / ".ready")) << prefix;

    const auto files = FindPeFiles({prefix / "drive_c"});
    // A fresh 64-bit prefix alone holds several hundred system files.
    ASSERT_GE(files.size(), 300u) << prefix;

    const PeSweep sweep = Sweep(files);
    Describe("Wine prefix", sweep);
    EXPECT_TRUE(sweep.failures.empty()) << ::testing::PrintToString(sweep.failures);
    EXPECT_EQ(ScanState.FilesInfected, 0);
    EXPECT_EQ(sweep.files, static_cast<int>(files.size()));
    EXPECT_GE(sweep.tableWalked, sweep.files / 2);
    EXPECT_GT(sweep.paddedToRecordSize, sweep.files / 2);
}

}  // namespace
