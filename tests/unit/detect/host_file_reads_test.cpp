// The host file operations as the detection code uses them: Windows paths of
// any letter case, seeks and reads that always see the file as it is now.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "platform/directory_search.h"
#include "platform/file_io.h"
#include "tests/support/host_fixture.h"

namespace {

class HostFileReadsTest : public HostDriveTest {
protected:
    // The bytes one read at offset gives, or "<seek>" / "<read>" for a failure.
    static std::string ReadText(int fd, std::int64_t offset, unsigned count) {
        std::int64_t at = platform::SeekSet(fd, offset);
        if (at < 0) return "<seek>";
        EXPECT_EQ(at, offset);
        char buffer[64] = {};
        int n = platform::ReadFile(fd, buffer, count < sizeof buffer ? count : sizeof buffer);
        return n < 0 ? "<read>" : std::string(buffer, static_cast<std::size_t>(n));
    }
};

TEST_F(HostFileReadsTest, PathsOfAnyCaseOpenTheFileAndOnlyAFile) {
    WriteFile("Games\\Tool.EXE", "exact");
    for (const char* path :
         {"C:\\Games\\Tool.EXE", "C:\\games\\tool.exe", "c:\\GAMES\\.\\x\\..\\TOOL.exe"}) {
        platform::ScopedFile file(platform::OpenReadBinary(path));
        ASSERT_TRUE(file.IsOpen()) << path;
        EXPECT_EQ(ReadText(file.Get(), 0, 5), "exact") << path;
    }
    EXPECT_TRUE(platform::PathExists("C:\\GAMES\\TOOL.EXE"));
    EXPECT_FALSE(platform::PathExists("C:\\Games\\Tool.EX"));
    EXPECT_EQ(platform::OpenReadBinary("C:\\Games"), platform::kNoFile);  // a folder
    EXPECT_EQ(platform::OpenReadBinary("C:\\games"), platform::kNoFile);
    EXPECT_EQ(platform::OpenReadBinary("C:\\Games\\Tool.EXE\\x"), platform::kNoFile);
    EXPECT_EQ(platform::OpenReadBinary("D:\\Games\\Tool.EXE"), platform::kNoFile);  // not mapped

    // Deleted, then made again under another case: each open sees the disk as it is.
    ASSERT_EQ(unlink(HostPath("Games\\Tool.EXE").c_str()), 0);
    EXPECT_EQ(platform::OpenReadBinary("C:\\Games\\Tool.EXE"), platform::kNoFile);
    EXPECT_FALSE(platform::PathExists("C:\\games\\tool.exe"));
    WriteFile("Games\\tool.exe", "again");
    platform::ScopedFile file(platform::OpenReadBinary("C:\\Games\\Tool.EXE"));
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(ReadText(file.Get(), 0, 5), "again");
}

TEST_F(HostFileReadsTest, ReadsFollowSeeksAndEachOtherAndSeeTheFileAsItIsNow) {
    WriteFile("data.bin", "0123456789");
    platform::ScopedFile file(platform::OpenReadBinary("C:\\data.bin"));
    ASSERT_TRUE(file.IsOpen());
    char buffer[8] = {};
    // Without a seek, reading starts at 0 and goes on where the last read ended.
    ASSERT_EQ(platform::ReadFile(file.Get(), buffer, 3), 3);
    EXPECT_EQ(std::string(buffer, 3), "012");
    ASSERT_EQ(platform::ReadFile(file.Get(), buffer, 3), 3);
    EXPECT_EQ(std::string(buffer, 3), "345");
    EXPECT_EQ(ReadText(file.Get(), 8, 5), "89");
    EXPECT_EQ(ReadText(file.Get(), 10, 5), "");
    EXPECT_EQ(ReadText(file.Get(), 1000, 5), "");
    EXPECT_EQ(ReadText(file.Get(), -1, 5), "<seek>");
    // Past 2 GB the seek is a real one; it lands and there is nothing to read.
    const std::int64_t far = (std::int64_t{1} << 32) + 7;
    EXPECT_EQ(ReadText(file.Get(), far, 5), "");
    EXPECT_EQ(ReadText(file.Get(), 2, 3), "234");

    // The file shrinks and grows between reads: every read sees it as it is.
    ASSERT_EQ(truncate(HostPath("data.bin").c_str(), 4), 0);
    EXPECT_EQ(ReadText(file.Get(), 2, 5), "23");
    EXPECT_EQ(platform::FileLength(file.Get()), 4);
    WriteFile("data.bin", "abcdefghijkl");
    EXPECT_EQ(ReadText(file.Get(), 9, 5), "jkl");
    EXPECT_EQ(platform::FileLength(file.Get()), 12);
}

TEST_F(HostFileReadsTest, ANewFileOnAReusedDescriptorIsReadFromItsStart) {
    WriteFile("a.txt", "first file");
    WriteFile("b.txt", "second file");
    int fd = platform::OpenReadBinary("C:\\a.txt");
    ASSERT_NE(fd, platform::kNoFile);
    EXPECT_EQ(ReadText(fd, 6, 4), "file");
    ASSERT_EQ(platform::CloseFile(fd), 0);
    platform::ScopedFile second(platform::OpenReadBinary("C:\\b.txt"));
    ASSERT_TRUE(second.IsOpen());
    char buffer[6] = {};
    ASSERT_EQ(platform::ReadFile(second.Get(), buffer, 6), 6);
    EXPECT_EQ(std::string(buffer, 6), "second");
}

TEST_F(HostFileReadsTest, SearchesListFoldersAndFilesOfAnyCase) {
    MakeDirectory("Top\\Sub");
    WriteFile("Top\\b.txt");
    WriteFile("Top\\A.TXT");
    ASSERT_EQ(symlink(HostPath("Top\\Sub").c_str(), HostPath("Top\\Link").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", HostPath("Top\\Dangling").c_str()), 0);
    for (const char* pattern : {"C:\\Top\\*.*", "C:\\top\\*.*"}) {
        platform::DirectorySearch search;
        platform::FoundEntry entry;
        std::string listed;
        for (bool more = search.First(pattern, entry); more; more = search.Next(entry))
            listed += std::string(entry.name) + (entry.isDirectory ? "/ " : " ");
        // Links are left out: a walk never follows one.
        EXPECT_EQ(listed, "./ ../ A.TXT b.txt Sub/ ") << pattern;
    }
    platform::DirectorySearch search;
    platform::FoundEntry entry;
    EXPECT_FALSE(search.First("C:\\Top\\b.txt\\*.*", entry));  // a file is no folder
    EXPECT_FALSE(search.First("C:\\None\\*.*", entry));
}

}  // namespace
