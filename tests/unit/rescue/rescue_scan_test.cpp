#include "tools/quellix_scan/rescue_scan.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "scan/scan_state.h"
#include "tests/support/host_fixture.h"

namespace fs = std::filesystem;

namespace {

class RescueScanTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetScanGlobals(false);
        char templ[] = "/tmp/quellix-rescue-XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        root = templ;
    }
    void TearDown() override {
        fs::remove_all(root);
        ResetScanGlobals();
    }

    void Write(const std::string& relative, const std::string& content) {
        fs::path p = fs::path(root) / relative;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << content;
    }

    // Runs the scan and returns stdout's lines.
    std::vector<std::string> Run(const RescueOptions& options, int& exitCode) {
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        exitCode = RunRescueScan(options, out, err);
        std::rewind(out);
        std::vector<std::string> lines;
        char buffer[1024];
        while (std::fgets(buffer, sizeof buffer, out)) {
            std::string line = buffer;
            if (!line.empty() && line.back() == '\n') line.pop_back();
            lines.push_back(line);
        }
        std::fclose(out);
        std::fclose(err);
        return lines;
    }

    std::string root;
};

TEST_F(RescueScanTest, ACleanFolderPrintsStatisticsAndStatusAndExitsZero) {
    Write("a.txt", "hello\n");
    Write("Windows/b.dll", "not a program");
    int code = -1;
    auto lines = Run({false, {root}}, code);
    EXPECT_EQ(code, kClean);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "Scanning statistics", "------------------------------",
                         "Total files scanned\t\t:  2", "Total files infected\t\t:  0",
                         "Total files removed\t\t:  0", "Scanning completed"}));
}

TEST_F(RescueScanTest, EachFolderIsADriveOfItsOwn) {
    Write("one/a.txt", "a");
    Write("two/b.txt", "b");
    Write("two/c.txt", "c");
    int code = -1;
    auto lines = Run({false, {root + "/one", root + "/two"}}, code);
    EXPECT_EQ(code, kClean);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[2], "Total files scanned\t\t:  3");
}

TEST_F(RescueScanTest, AnUnreadableFolderMakesTheScanIncompleteButTheOthersAreScanned) {
    Write("a.txt", "a");
    int code = -1;
    auto lines = Run({false, {root + "/missing", root}}, code);
    EXPECT_EQ(code, kIncomplete);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[2], "Total files scanned\t\t:  1");
}

TEST_F(RescueScanTest, MoreFoldersThanDriveLettersIsAUsageError) {
    RescueOptions options;
    options.folders.assign(25, root);
    int code = -1;
    auto lines = Run(options, code);
    EXPECT_EQ(code, kUsage);
    EXPECT_TRUE(lines.empty());
}

TEST(ReportOnlyLine, OutcomesReadFoundAndNothingCountsAsRemoved) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"C:\\x.exe     W32/Bagle.H.Worm removed", "C:\\x.exe     W32/Bagle.H.Worm found"},
        {"C:\\x.vbs     W32/Bagle.Worm Virus removed", "C:\\x.vbs     W32/Bagle.Worm Virus found"},
        {"C:\\x.exe     W32/Bagle.Worm Unable to remove",
         "C:\\x.exe     W32/Bagle.Worm Unable to remove"},
        {"Total files removed\t\t:  3", "Total files removed\t\t:  0"},
        {"Total files infected\t\t:  3", "Total files infected\t\t:  3"},
        {"Scanning statistics", "Scanning statistics"},
    };
    for (const auto& c : cases) EXPECT_EQ(ReportOnlyLine(c.in), c.out);
}

TEST(EscapeControls, EveryControlCharacterShowsAsItsCode) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"C:\\plain name.exe", "C:\\plain name.exe"},
        {"a\nb", "a<0A>b"},
        {"\r\t\x1b[2K\x7f", "<0D><09><1B>[2K<7F>"},
        {"\x01\x1f", "<01><1F>"},
        {"caf\xc3\xa9", "caf\xc3\xa9"},  // UTF-8 stays as it is
    };
    for (const auto& c : cases) EXPECT_EQ(EscapeControls(c.in), c.out) << c.in;
}

}  // namespace
