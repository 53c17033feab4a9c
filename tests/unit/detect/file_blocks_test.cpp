// FileBlocks against exact reads of the same descriptor: every read of an
// unchanged file returns the same count and bytes, the head and the tail are
// each read once, and a file that changes is judged on the blocks as read.
#include "detect/file_blocks.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "detect/file_reads.h"
#include "platform/file_io.h"
#include "tests/support/host_fixture.h"

namespace {

using platform::host::FileOperation;

class FileBlocksTest : public HostDriveTest {
protected:
    // length bytes that differ from position to position.
    void WriteNumbered(const std::string& name, std::size_t length) {
        std::string bytes(length, '\0');
        for (std::size_t i = 0; i < length; ++i)
            bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
        WriteFile(name, bytes);
    }

    void CountReads() {
        reads_ = 0;
        platform::host::SetFaultInjector([this](FileOperation op, const char*) {
            if (op == FileOperation::Read) ++reads_;
            return false;
        });
    }

    int reads_ = 0;
};

TEST_F(FileBlocksTest, EveryReadOfAnUnchangedFileIsWhatAnExactReadGives) {
    constexpr std::size_t kBlock = FileBlocks::kBlockSize;
    const std::size_t lengths[] = {
        0, 1, 40, kBlock - 1, kBlock, kBlock + 1, 5000, 2 * kBlock, 2 * kBlock + 1, 12288, 30000};
    const std::size_t counts[] = {1, 2, 4, 40, 100, 1024, kBlock, kBlock + 1};
    for (std::size_t length : lengths) {
        WriteNumbered("f.bin", length);
        platform::ScopedFile exact(platform::OpenReadBinary("C:\\f.bin"));
        platform::ScopedFile blocked(platform::OpenReadBinary("C:\\f.bin"));
        ASSERT_TRUE(exact.IsOpen() && blocked.IsOpen());
        FileBlocks blocks;
        blocks.Attach(blocked.Get());
        blocks.SetLength(static_cast<std::int64_t>(length));

        // Positions at and around both blocks' edges and the file's end.
        std::vector<std::int64_t> positions = {-1, 0, 1, 60};
        const auto l = static_cast<std::int64_t>(length);
        const auto b = static_cast<std::int64_t>(kBlock);
        for (std::int64_t p : {b - 41, b - 1, b, b + 1, l - b - 1, l - b, l - b + 1, l - 1024,
                               l - 100, l - 40, l - 1, l, l + 1, l + 5000}) {
            positions.push_back(p);
        }
        for (std::int64_t position : positions) {
            for (std::size_t count : counts) {
                SCOPED_TRACE("length " + std::to_string(length) + " at " +
                             std::to_string(position) + " count " + std::to_string(count));
                std::vector<std::uint8_t> want(kBlock + 1, 0xAA), got(kBlock + 1, 0xAA);
                const int wantRead = ReadAt(exact.Get(), position, want.data(), want.size(), count);
                const int gotRead =
                    ReadAt(FileBytes(blocks), position, got.data(), got.size(), count);
                ASSERT_EQ(gotRead, wantRead);
                ASSERT_EQ(got, want);
            }
        }
        // A count over the buffer is refused before the file is touched.
        std::uint8_t small[4];
        EXPECT_EQ(ReadAt(FileBytes(blocks), 0, small, sizeof small, 5), -1);
    }
}

TEST_F(FileBlocksTest, HeadAndTailAreReadOnceEach) {
    WriteNumbered("f.bin", 30000);
    platform::ScopedFile file(platform::OpenReadBinary("C:\\f.bin"));
    FileBlocks blocks;
    blocks.Attach(file.Get());
    blocks.SetLength(30000);
    CountReads();
    std::uint8_t buffer[1024];
    for (std::int64_t at : {60, 128, 0, 2000, 3000}) {
        EXPECT_TRUE(ReadExactlyAt(FileBytes(blocks), at, buffer, 40));
    }
    EXPECT_EQ(reads_, 1);
    for (std::int64_t at : {29000, 26000, 29990}) ReadAt(FileBytes(blocks), at, buffer, 1024, 1024);
    EXPECT_EQ(reads_, 2);
    // Between the blocks, and across a block's edge: exact reads.
    EXPECT_TRUE(ReadExactlyAt(FileBytes(blocks), 9000, buffer, 1024));
    EXPECT_TRUE(ReadExactlyAt(FileBytes(blocks), 3500, buffer, 1024));
    EXPECT_EQ(reads_, 4);
    platform::host::SetFaultInjector(nullptr);

    // Attaching again forgets both blocks.
    blocks.Attach(file.Get());
    blocks.SetLength(30000);
    CountReads();
    EXPECT_TRUE(ReadExactlyAt(FileBytes(blocks), 0, buffer, 40));
    EXPECT_EQ(reads_, 1);
    platform::host::SetFaultInjector(nullptr);
}

TEST_F(FileBlocksTest, FileThatChangesIsJudgedOnTheBlocksAsRead) {
    WriteNumbered("f.bin", 30000);
    const std::string host = HostPath("f.bin");
    platform::ScopedFile file(platform::OpenReadBinary("C:\\f.bin"));
    FileBlocks blocks;
    blocks.Attach(file.Get());
    blocks.SetLength(30000);
    std::uint8_t before[40], after[40];
    ASSERT_TRUE(ReadExactlyAt(FileBytes(blocks), 100, before, 40));
    ASSERT_EQ(truncate(host.c_str(), 200), 0);
    // Inside the head block: the bytes as they were read.
    ASSERT_TRUE(ReadExactlyAt(FileBytes(blocks), 100, after, 40));
    EXPECT_EQ(std::memcmp(before, after, 40), 0);
    // Outside it: what the file holds now, so the read comes up short.
    EXPECT_FALSE(ReadExactlyAt(FileBytes(blocks), 9000, after, 40));
    // The tail block, read only now, ends where the file ends now.
    EXPECT_EQ(ReadAt(FileBytes(blocks), 29000, after, 40, 40), 0);
}

TEST_F(FileBlocksTest, FailedBlockReadFailsTheReadThatAskedForIt) {
    WriteNumbered("f.bin", 30000);
    platform::ScopedFile file(platform::OpenReadBinary("C:\\f.bin"));
    FileBlocks blocks;
    blocks.Attach(file.Get());
    blocks.SetLength(30000);
    int reads = 0;
    platform::host::SetFaultInjector([&reads](FileOperation op, const char*) {
        return op == FileOperation::Read && ++reads == 1;
    });
    std::uint8_t buffer[40];
    EXPECT_EQ(ReadAt(FileBytes(blocks), 60, buffer, 40, 2), -1);
    // Later reads there are exact reads, each one of its own.
    EXPECT_TRUE(ReadExactlyAt(FileBytes(blocks), 60, buffer, 2));
    EXPECT_TRUE(ReadExactlyAt(FileBytes(blocks), 0, buffer, 40));
    EXPECT_EQ(reads, 3);
    platform::host::SetFaultInjector(nullptr);

    // No descriptor: every read fails.
    FileBlocks none;
    none.Attach(platform::kNoFile);
    EXPECT_EQ(ReadAt(FileBytes(none), 0, buffer, 40, 40), -1);
}

}  // namespace
