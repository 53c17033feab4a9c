// The walker and the scan driver over Windows' real directory search, drive
// types and window messages.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/directory_search.h"
#include "platform/drives.h"
#include "quarantine/scan_log.h"
#include "scan/report_channel.h"
#include "scan/scan_driver.h"
#include "scan/walker.h"
#include "state/program_state.h"
#include "tests/wine/support/report_sink.h"
#include "tests/wine/support/scripted_message_box.h"
#include "tests/wine/support/unix_link.h"

namespace {

std::vector<std::string>& lines = SinkLines();
std::vector<std::string>& statuses = SinkStatuses();

void MakeFile(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(h, "data", 4, &written, nullptr);
    CloseHandle(h);
}

class WindowsWalkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetProgramState();
        ScanState.MemoryScanMode = 0;
        ReportWindow = ReportSinkWindow();
        ASSERT_NE(ReportWindow, nullptr);
        lines.clear();
        statuses.clear();
        ForgetAskedQuestions();
        SetScriptedAnswer(nullptr);
    }
    void TearDown() override { ReportWindow = nullptr; }
};

TEST_F(WindowsWalkTest, OnlyTheSystemDriveIsFixedInTheTestPrefix) {
    EXPECT_EQ(platform::DriveType("C:\\"), platform::kDriveFixed);
    // The host's file system must never look like a fixed drive to a scan.
    EXPECT_NE(platform::DriveType("Z:\\"), platform::kDriveFixed);
}

TEST_F(WindowsWalkTest, FilesBeforeSubdirectoriesAndDotsNeverEntered) {
    CreateDirectoryA("C:\\qxwalk", nullptr);
    CreateDirectoryA("C:\\qxwalk\\sub1", nullptr);
    CreateDirectoryA("C:\\qxwalk\\sub2", nullptr);
    MakeFile("C:\\qxwalk\\a.txt");
    MakeFile("C:\\qxwalk\\b.txt");
    MakeFile("C:\\qxwalk\\sub1\\c.txt");
    MakeFile("C:\\qxwalk\\sub2\\d.txt");

    EXPECT_EQ(WalkDirectory("C:\\qxwalk\\*.*"), 4);

    std::vector<std::string> files;
    bool sawDot = false;
    for (const auto& s : statuses) {
        if (s == "C:\\qxwalk\\.") sawDot = true;
        if (s.size() > 4 && s.compare(s.size() - 4, 4, ".txt") == 0) files.push_back(s);
    }
    EXPECT_TRUE(sawDot);
    EXPECT_EQ(files,
              (std::vector<std::string>{"C:\\qxwalk\\a.txt", "C:\\qxwalk\\b.txt",
                                        "C:\\qxwalk\\sub1\\c.txt", "C:\\qxwalk\\sub2\\d.txt"}));
    // Both subdirectories are listed in the first pass, before either is entered.
    auto at = [&](const std::string& s) {
        for (size_t i = 0; i < statuses.size(); ++i) {
            if (statuses[i] == s) return static_cast<int>(i);
        }
        return -1;
    };
    EXPECT_LT(at("C:\\qxwalk\\sub2"), at("C:\\qxwalk\\sub1\\c.txt"));
}

TEST_F(WindowsWalkTest, NamesAreMatchedWithoutRegardToCase) {
    CreateDirectoryA("C:\\qxcase", nullptr);
    MakeFile("C:\\qxcase\\Prog.EXE");
    ScanState.MemoryScanMode = 1;
    WalkDirectory("C:\\QXCASE\\prog.exe");
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.front(), "C:\\QXCASE\\prog.exe");
    EXPECT_EQ(ScanState.FilesScanned, 0);
}

// Past the buffers in its long names, it is reached through the short names
// of its folders and its own (a volume without them: kept_names_win_test.cpp).
TEST_F(WindowsWalkTest, APathTooLongForTheBuffersIsReachedThroughShortNames) {
    std::string dir = "C:\\qxlong";
    CreateDirectoryA(dir.c_str(), nullptr);
    while (dir.size() < 225) {
        dir += "\\" + std::string(20, 'n');
        // The prefix may hold the folders of an earlier run.
        ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr) ||
                    GetLastError() == ERROR_ALREADY_EXISTS)
            << dir;
    }
    MakeFile(dir + "\\short.txt");
    // Past 259 characters: made through the wide, unlimited-length form.
    std::string longName = dir + "\\" + std::string(40, 'f') + ".txt";
    ASSERT_GT(longName.size(), 259u);
    std::wstring wide = L"\\\\?\\";
    for (char c : longName) wide += static_cast<wchar_t>(c);
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);

    WalkDirectory("C:\\qxlong\\*.*");

    EXPECT_EQ(ScanState.FilesScanned, 2);
    for (const auto& s : statuses) EXPECT_LT(s.size(), 260u);
}

TEST_F(WindowsWalkTest, AWholeScanOfTheTestPrefixEndsWithStatistics) {
    ScanState = ScanStateFields{};  // the memory phase runs first, as in the program
    RunScan();

    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[lines.size() - 5], "Scanning statistics");
    EXPECT_EQ(lines[lines.size() - 4], "------------------------------");
    EXPECT_EQ(statuses.back(), "Scanning completed");
    EXPECT_GT(ScanState.FilesScanned, 100);  // C:\windows of the prefix
    EXPECT_EQ(ScanState.ProgramFilesVisited, 1);
    // Nothing of Wine's own files is taken for a worm.
    EXPECT_EQ(ScanState.FilesInfected, 0);
}

}  // namespace

namespace {

// Two links to "." in one folder: followed, they make a tree without end.
TEST_F(WindowsWalkTest, LinksToTheFolderItselfEndTheWalk) {
    CreateDirectoryA("C:\\qxloop", nullptr);
    CreateDirectoryA("C:\\qxloop\\sub", nullptr);
    MakeFile("C:\\qxloop\\a.txt");
    MakeFile("C:\\qxloop\\sub\\b.txt");
    ASSERT_TRUE(MakeUnixLink("C:\\qxloop\\l1", "."));
    ASSERT_TRUE(MakeUnixLink("C:\\qxloop\\l2", "."));
    DeleteFileA("C:\\Quellix\\Quellix.log");
    BeginScanLog();

    EXPECT_EQ(WalkDirectory("C:\\qxloop\\*.*"), 2);
    EndScanLog();

    std::string log = ReadWholeFile("C:\\Quellix\\Quellix.log");
    const char why[] = "\\ (a junction, symbolic link or mount point)";
    EXPECT_NE(log.find(std::string("Not walked: C:\\qxloop\\l1") + why), std::string::npos) << log;
    EXPECT_NE(log.find(std::string("Not walked: C:\\qxloop\\l2") + why), std::string::npos) << log;
    for (const auto& s : statuses) EXPECT_EQ(s.find("\\l1\\"), std::string::npos) << s;

    // A folder reached again by another name, whatever its attributes say, is
    // known by its identity.
    EXPECT_TRUE(platform::BeginFolderWalk("C:\\qxloop\\*.*", true));
    EXPECT_TRUE(platform::BeginFolderWalk("C:\\qxloop\\sub\\*.*", false));
    EXPECT_FALSE(platform::BeginFolderWalk("C:\\qxloop\\l1\\*.*", false));
    EXPECT_FALSE(platform::BeginFolderWalk("C:\\qxloop\\l2\\sub\\*.*", false));
    EXPECT_TRUE(platform::BeginFolderWalk("C:\\qxloop\\l1\\*.*", true));
}

}  // namespace
