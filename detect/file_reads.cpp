#include "detect/file_reads.h"

#include "platform/file_io.h"

int FileBytes::ReadAt(std::int64_t position, std::uint8_t* buffer, std::size_t capacity,
                      std::size_t count) const {
    if (blocks_) return blocks_->ReadAt(position, buffer, capacity, count);
    if (count > capacity || position < 0) return -1;
    if (platform::SeekSet(fd_, position) != position) return -1;
    return platform::ReadFile(fd_, buffer, static_cast<unsigned>(count));
}

int ReadAt(FileBytes file, std::int64_t position, std::uint8_t* buffer, std::size_t capacity,
           std::size_t count) {
    return file.ReadAt(position, buffer, capacity, count);
}

bool ReadExactlyAt(FileBytes file, std::int64_t position, std::uint8_t* buffer,
                   std::size_t capacity, std::size_t count) {
    int got = ReadAt(file, position, buffer, capacity, count);
    return got >= 0 && static_cast<std::size_t>(got) == count;
}
