#include "detect/file_reads.h"

#include "platform/file_io.h"

int ReadAt(int fd, std::int64_t position, std::uint8_t* buffer, std::size_t capacity,
           std::size_t count) {
    if (count > capacity || position < 0) return -1;
    if (platform::SeekSet(fd, position) != position) return -1;
    return platform::ReadFile(fd, buffer, static_cast<unsigned>(count));
}

bool ReadExactlyAt(int fd, std::int64_t position, std::uint8_t* buffer, std::size_t capacity,
                   std::size_t count) {
    int got = ReadAt(fd, position, buffer, capacity, count);
    return got >= 0 && static_cast<std::size_t>(got) == count;
}
