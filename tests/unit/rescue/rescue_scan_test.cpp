#include "tools/quellix_scan/rescue_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "state/program_state.h"
#include "tests/support/host_fixture.h"
#include "tools/samples/archive_sample.h"

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
        {"System Memory    W32/Bagle.Worm removed", "System Memory    W32/Bagle.Worm found"},
        {"System Registry     W32/Bagle.A.Worm removed",
         "System Registry     W32/Bagle.A.Worm found"},
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

// The quarantine and the log on the drive it cleans: the first folder's
// Quellix folder, as on Windows the system drive's.
class RescueRecordsTest : public RescueScanTest {
protected:
    void WriteZip(const std::string& relative) {
        const SampleBytes zip = BuildZipSample(ZipSampleSpec{});
        Write(relative, std::string(zip.begin(), zip.end()));
    }
    std::string Read(const std::string& relative) const {
        std::ifstream in(fs::path(root) / relative, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::vector<std::string> Items() const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(fs::path(root) / "c/Quellix/Quarantine", ec)) {
            names.push_back(e.path().filename().string());
        }
        return names;
    }
};

TEST_F(RescueRecordsTest, TheFirstFolderKeepsTheCopiesAndTheLog) {
    WriteZip("c/mail.zip");
    WriteZip("d/docs/mail.zip");
    RescueOptions options;
    options.folders = {root + "/c", root + "/d"};
    int exitCode = 0;
    std::vector<std::string> lines = Run(options, exitCode);

    EXPECT_FALSE(fs::exists(fs::path(root) / "c/mail.zip"));
    EXPECT_FALSE(fs::exists(fs::path(root) / "d/docs/mail.zip"));
    EXPECT_EQ(Items().size(), 2u);
    EXPECT_FALSE(fs::exists(fs::path(root) / "d/Quellix"));
    // Every line printed is in the log in its order, CRLF-ended, between the
    // header and the final status.
    const std::string log = Read("c/Quellix/Quellix.log");
    std::vector<std::string> logged;
    bool inHeader = false;  // the header stands between two rules
    for (std::size_t at = 0, end; (end = log.find("\r\n", at)) != std::string::npos; at = end + 2) {
        const std::string l = log.substr(at, end - at);
        if (l.rfind("=====", 0) == 0) {
            inHeader = !inHeader;
            continue;
        }
        if (inHeader || l.rfind("    ", 0) == 0) continue;
        logged.push_back(l);
    }
    ASSERT_FALSE(lines.empty());
    std::vector<std::string> expected(lines.begin(), lines.end() - 1);  // less the status
    expected.push_back("Final status: " + lines.back());
    expected.push_back("Restart question: not asked");
    EXPECT_EQ(logged, expected);
    EXPECT_NE(log.find("C:\\mail.zip     W32/Bagle.H.Worm removed\r\n    Quarantine: "),
              std::string::npos);
    EXPECT_NE(log.find("D:\\docs\\mail.zip     W32/Bagle.H.Worm removed\r\n    Quarantine: "),
              std::string::npos);
    EXPECT_NE(log.find("Final status: Scanning completed\r\nRestart question: not asked\r\n"),
              std::string::npos);
    // The scan counted the drives as they were, not the records it made.
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Total files scanned\t\t:  2"), lines.end());
}

TEST_F(RescueRecordsTest, ReportOnlyWritesNeitherCopiesNorLog) {
    WriteZip("c/mail.zip");
    RescueOptions options;
    options.folders = {root + "/c"};
    options.reportOnly = true;
    int exitCode = 0;
    Run(options, exitCode);
    EXPECT_TRUE(fs::exists(fs::path(root) / "c/mail.zip"));
    EXPECT_FALSE(fs::exists(fs::path(root) / "c/Quellix"));
}

// Without a first folder to hold them, no records are kept anywhere.
TEST_F(RescueRecordsTest, AnUnreadableFirstFolderKeepsNoRecords) {
    WriteZip("d/mail.zip");
    RescueOptions options;
    options.folders = {root + "/missing", root + "/d"};
    int exitCode = 0;
    Run(options, exitCode);
    EXPECT_FALSE(fs::exists(fs::path(root) / "d/mail.zip"));
    EXPECT_FALSE(fs::exists(fs::path(root) / "d/Quellix"));
    EXPECT_FALSE(fs::exists(fs::path(root) / "missing"));
}

}  // namespace
