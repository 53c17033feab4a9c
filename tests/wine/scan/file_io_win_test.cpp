// The file seam on Windows, with the C runtime's 64-bit calls and with the
// fallback an older msvcrt.dll gets.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/file_io.h"
#include "platform/win32/file_io_win.h"

namespace {

std::string WriteSample(const char* path, int size) {
    std::string bytes;
    for (int i = 0; i < size; ++i) bytes.push_back(static_cast<char>((i * 7 + i / 256) & 0xFF));
    FILE* f = std::fopen(path, "wb");
    EXPECT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return bytes;
}

// Length, seeks and reads at the start, the middle and the end of the file.
void ExpectSameBytes(const char* path, const std::string& bytes) {
    platform::ScopedFile file(platform::OpenReadBinary(path));
    ASSERT_NE(file.Get(), platform::kNoFile);
    EXPECT_EQ(platform::FileLength(file.Get()), static_cast<std::int64_t>(bytes.size()));
    const int size = static_cast<int>(bytes.size());
    for (int offset : {0, 1, 4095, size / 2, size - 16}) {
        SCOPED_TRACE(offset);
        ASSERT_EQ(platform::SeekSet(file.Get(), offset), offset);
        char buffer[16];
        ASSERT_EQ(platform::ReadFile(file.Get(), buffer, sizeof buffer), 16);
        EXPECT_EQ(std::string(buffer, 16), bytes.substr(offset, 16));
    }
    EXPECT_EQ(platform::SeekSet(file.Get(), -1), -1);
    EXPECT_EQ(platform::SeekSet(file.Get(), size), size);
    char byte;
    EXPECT_EQ(platform::ReadFile(file.Get(), &byte, 1), 0);
}

TEST(WindowsFileSeam, ReadsTheSameWithAndWithoutTheRuntimes64BitCalls) {
    const char* path = "C:\\qxtest\\seam-sample.bin";
    const std::string bytes = WriteSample(path, 70000);
    {
        SCOPED_TRACE("msvcrt's _lseeki64 and _filelengthi64");
        ExpectSameBytes(path, bytes);
    }
    platform::UseOldRuntimeFileCallsForTests();
    {
        SCOPED_TRACE("_lseek and the handle's size");
        ExpectSameBytes(path, bytes);
        platform::ScopedFile file(platform::OpenReadBinary(path));
        EXPECT_EQ(platform::SeekSet(file.Get(), 0x80000000LL), -1);
    }
    DeleteFileA(path);
}

}  // namespace
