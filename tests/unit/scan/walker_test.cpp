#include "scan/walker.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/directory_search.h"
#include "state/program_state.h"
#include "tests/support/host_fixture.h"

namespace {

class WalkerTest : public HostDriveTest {};

TEST_F(WalkerTest, FilesOfADirectoryComeBeforeItsSubdirectories) {
    WriteFile("top/c.txt");
    WriteFile("top/A.txt");
    WriteFile("top/b.txt");
    WriteFile("top/d1/inner.txt");
    MakeDirectory("top/D2");

    EXPECT_EQ(WalkDirectory("C:\\top\\*.*"), 4);

    // "." and ".." are shown, directories are shown in the first pass, and each
    // subdirectory is walked in full before the next; NTFS order ignores case.
    std::vector<std::string> expected = {
        "C:\\top\\.",      "C:\\top\\..",
        "C:\\top\\A.txt",  "C:\\top\\b.txt",
        "C:\\top\\c.txt",  "C:\\top\\d1",
        "C:\\top\\D2",     "C:\\top\\d1\\.",
        "C:\\top\\d1\\..", "C:\\top\\d1\\inner.txt",
        "C:\\top\\D2\\.",  "C:\\top\\D2\\..",
    };
    EXPECT_EQ(statuses, expected);
    EXPECT_EQ(ScanState.FilesScanned, 4);
}

TEST_F(WalkerTest, MemoryModeShowsTheFileButDoesNotCountIt) {
    WriteFile("dir/prog.exe", "MZ");
    ScanState.MemoryScanMode = 1;
    ScanState.MemoryHit = 1;

    WalkDirectory("C:\\dir\\prog.exe");

    EXPECT_EQ(ScanState.FilesScanned, 0);
    EXPECT_EQ(ScanState.MemoryHit, 0);  // cleared on entry
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.front(), "C:\\dir\\prog.exe");
}

TEST_F(WalkerTest, APatternWithoutADotEndsTheWalkWithMinusOne) {
    WriteFile("dir/noext");
    EXPECT_EQ(WalkDirectory("C:\\dir\\noext"), -1);
}

TEST_F(WalkerTest, AnEmptyOrMissingDirectoryEndsQuietly) {
    MakeDirectory("empty");
    EXPECT_EQ(WalkDirectory("C:\\missing\\*.*"), 0);
    EXPECT_EQ(WalkDirectory("C:\\empty\\*.*"), 0);
    EXPECT_EQ(statuses, (std::vector<std::string>{"C:\\empty\\.", "C:\\empty\\.."}));
}

TEST_F(WalkerTest, LongPathsAreShortenedOnTheStatusLine) {
    std::string dir(56, 'd');  // "C:\" + 56 + "\x" = 61 characters
    WriteFile(dir + "/x");
    WalkDirectory(("C:\\" + dir + "\\*.*").c_str());
    std::string full = "C:\\" + dir + "\\x";
    ASSERT_EQ(full.size(), 61u);
    ASSERT_EQ(statuses.size(), 3u);
    EXPECT_EQ(statuses[2], full.substr(0, 29) + ".." + full.substr(32));
}

TEST_F(WalkerTest, EntriesWhosePathWouldNotFitAreSkippedAndTheWalkGoesOn) {
    // Nest folders until a file's path passes 259 characters.
    std::string rel = "deep";
    while (rel.size() < 230) rel += "/" + std::string(20, 'n');
    std::string longName(60, 'f');
    WriteFile(rel + "/" + longName + ".txt");  // path over 259 characters
    WriteFile(rel + "/short.txt");             // still fits
    WriteFile("later/after.txt");              // walked after the deep branch

    WalkDirectory("C:\\*.*");

    EXPECT_EQ(ScanState.FilesScanned, 2);  // short.txt and after.txt
    for (const auto& s : statuses) EXPECT_LT(s.size(), 260u);
    EXPECT_EQ(statuses.back(), "C:\\later\\after.txt");
}

TEST_F(WalkerTest, LinksAreNeitherEnteredNorScanned) {
    MakeDirectory("loop");
    WriteFile("loop/f.txt");
    ASSERT_EQ(symlink(HostPath("loop").c_str(), HostPath("loop/again").c_str()), 0);
    ASSERT_EQ(symlink(HostPath("loop/f.txt").c_str(), HostPath("loop/file-link").c_str()), 0);

    EXPECT_EQ(WalkDirectory("C:\\loop\\*.*"), 1);
    EXPECT_EQ(statuses,
              (std::vector<std::string>{"C:\\loop\\.", "C:\\loop\\..", "C:\\loop\\f.txt"}));
}

TEST_F(WalkerTest, AFolderReachedTwiceInOneWalkIsWalkedOnce) {
    // The same folder under two spellings stands for a bind mount or any
    // other second way into one folder: the host counts it by device and inode.
    MakeDirectory("Once");
    EXPECT_TRUE(platform::BeginFolderWalk("C:\\Once\\*.*", true));
    EXPECT_FALSE(platform::BeginFolderWalk("C:\\ONCE\\*.*", false));
    // A walk the driver starts anew may walk it again.
    EXPECT_TRUE(platform::BeginFolderWalk("C:\\once\\*.*", true));
    EXPECT_TRUE(platform::BeginFolderWalk("C:\\*.*", false));
}

TEST_F(WalkerTest, ProgramFilesCheckOnARootPattern) {
    MakeDirectory("Program Files");
    WalkDirectory("C:\\*.*");
    EXPECT_EQ(ScanState.ProgramFilesFound, 1);
    EXPECT_STREQ(ScanState.ProgramFilesPattern, "C:\\Program Files\\*.*");
    EXPECT_EQ(ScanState.ProgramFilesVisited, 1);
}

TEST_F(WalkerTest, ARootWithoutProgramFilesLeavesTheFlagAsItWas) {
    WriteFile("a.txt");
    ScanState.ProgramFilesFound = 1;
    WalkDirectory("C:\\*.*");
    EXPECT_EQ(ScanState.ProgramFilesFound, 1);
    EXPECT_STREQ(ScanState.ProgramFilesPattern, "C:\\Program Files");
    EXPECT_EQ(ScanState.ProgramFilesVisited, 0);
}

}  // namespace
