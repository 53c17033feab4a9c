// The bytes of one open file as the scanners ask for them: the head block
// (the first 4 KB) is read once and the tail block (the last 4 KB by the
// length taken for the scan) once, each on its first use, and every read that
// falls inside one of them is served from it. A read that does not fall inside
// a block is an exact read of the descriptor, as before.
//
// A file that changes while it is scanned is judged on the blocks as they were
// read; for a file that does not change every read returns what the same read
// of the descriptor would (a short read only where the file ends).
#pragma once

#include <cstddef>
#include <cstdint>

class FileBlocks {
public:
    static constexpr std::size_t kBlockSize = 4096;

    // Forgets both blocks and serves fd (platform::kNoFile: nothing).
    void Attach(int fd);
    // The length taken for this scan of the file; the tail block ends there.
    void SetLength(std::int64_t length) { length_ = length; }

    int Descriptor() const { return fd_; }

    // ReadAt's contract: count bytes at position into buffer (capacity bytes),
    // the bytes read, or -1 (count over capacity, a negative position, or a
    // failed seek or read).
    int ReadAt(std::int64_t position, std::uint8_t* buffer, std::size_t capacity,
               std::size_t count);

private:
    struct Block {
        enum class State { NotRead, Read, Failed };
        State state = State::NotRead;
        std::int64_t start = 0;
        std::size_t got = 0;
        bool endSeen = false;  // the read came back short: the file ends at start + got
        // One byte more than a block: asking for it shows where the file ends.
        std::uint8_t bytes[kBlockSize + 1];
    };

    bool Fill(Block& block, std::int64_t start, std::size_t count);
    // The bytes block serves for [position, position + count), or -1 when it
    // cannot serve the whole request.
    static int Serve(const Block& block, std::int64_t position, std::uint8_t* buffer,
                     std::size_t count);

    int fd_ = -1;
    std::int64_t length_ = -1;
    Block head_;
    Block tail_;
};
