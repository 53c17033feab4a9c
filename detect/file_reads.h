// The one way detection code reads file bytes: little-endian field loads from
// a header copy, and a checked read of a whole field at an absolute position.
#pragma once

#include <cstddef>
#include <cstdint>

#include "detect/file_blocks.h"

// Where detection code reads a file's bytes from: a descriptor read exactly at
// each call, or a file's FileBlocks. Made from either without a cast, so code
// and tests that hold a descriptor pass it as they did.
class FileBytes {
public:
    FileBytes(int fd) : fd_(fd) {}  // NOLINT(google-explicit-constructor)
    FileBytes(FileBlocks& blocks) : fd_(blocks.Descriptor()), blocks_(&blocks) {}  // NOLINT

    int Descriptor() const { return fd_; }
    int ReadAt(std::int64_t position, std::uint8_t* buffer, std::size_t capacity,
               std::size_t count) const;

private:
    int fd_;
    FileBlocks* blocks_ = nullptr;
};

inline std::uint16_t LoadLe16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t LoadLe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Reads count bytes at position as one seek and one read would: the bytes
// read, or -1 when the count does not fit the buffer or the seek or read failed.
int ReadAt(FileBytes file, std::int64_t position, std::uint8_t* buffer, std::size_t capacity,
           std::size_t count);

// The same, true only when the seek landed on position and all count bytes
// came back. A count larger than the buffer is refused before the file is touched.
bool ReadExactlyAt(FileBytes file, std::int64_t position, std::uint8_t* buffer,
                   std::size_t capacity, std::size_t count);

template <std::size_t N>
bool ReadExactlyAt(FileBytes file, std::int64_t position, std::uint8_t (&buffer)[N],
                   std::size_t count) {
    return ReadExactlyAt(file, position, buffer, N, count);
}
