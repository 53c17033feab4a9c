#include "detect/file_blocks.h"

#include <cstring>

#include "platform/file_io.h"

void FileBlocks::Attach(int fd) {
    fd_ = fd;
    length_ = -1;
    head_.state = Block::State::NotRead;
    tail_.state = Block::State::NotRead;
}

bool FileBlocks::Fill(Block& block, std::int64_t start, std::size_t count) {
    block.start = start;
    block.got = 0;
    block.endSeen = false;
    block.state = Block::State::Failed;
    if (platform::SeekSet(fd_, start) != start) return false;
    const int got = platform::ReadFile(fd_, block.bytes, static_cast<unsigned>(count));
    if (got < 0) return false;
    block.got = static_cast<std::size_t>(got);
    block.endSeen = block.got < count;
    block.state = Block::State::Read;
    return true;
}

int FileBlocks::Serve(const Block& block, std::int64_t position, std::uint8_t* buffer,
                      std::size_t count) {
    if (block.state != Block::State::Read || position < block.start) return -1;
    const std::int64_t end = block.start + static_cast<std::int64_t>(block.got);
    const std::int64_t wanted = position + static_cast<std::int64_t>(count);
    if (wanted <= end) {
        std::memcpy(buffer, block.bytes + (position - block.start), count);
        return static_cast<int>(count);
    }
    // Past the block's end only where the file ends there: a read gives what is left.
    if (!block.endSeen) return -1;
    if (position >= end) return 0;
    const auto left = static_cast<std::size_t>(end - position);
    std::memcpy(buffer, block.bytes + (position - block.start), left);
    return static_cast<int>(left);
}

int FileBlocks::ReadAt(std::int64_t position, std::uint8_t* buffer, std::size_t capacity,
                       std::size_t count) {
    if (count > capacity || position < 0 || fd_ < 0) return -1;
    // Each block is asked for one byte more than it keeps for sure, so that a
    // short read proves where the file ends. A failed block read fails the
    // read that asked for it; later reads in that block are exact reads.
    constexpr auto kBlock = static_cast<std::int64_t>(kBlockSize);
    if (position <= kBlock) {
        if (head_.state == Block::State::NotRead && !Fill(head_, 0, kBlockSize + 1)) return -1;
        const int served = Serve(head_, position, buffer, count);
        if (served >= 0) return served;
    }
    if (length_ > kBlock && position >= length_ - kBlock) {
        if (tail_.state == Block::State::NotRead &&
            !Fill(tail_, length_ - kBlock, kBlockSize + 1)) {
            return -1;
        }
        const int served = Serve(tail_, position, buffer, count);
        if (served >= 0) return served;
    }
    if (platform::SeekSet(fd_, position) != position) return -1;
    return platform::ReadFile(fd_, buffer, static_cast<unsigned>(count));
}
