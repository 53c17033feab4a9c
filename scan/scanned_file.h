// One file as the per-file scanners see it: opened on first use and kept open
// for the next scanner, its length taken once per open. Under Wine every open
// and close is a round trip to the server and a length is three seeks, so the
// scanners share them rather than each opening the path itself. Its bytes
// are read through FileBlocks: the first and last 4 KB once each for every
// check that falls inside them.
#pragma once

#include <cstdint>

#include "detect/file_reads.h"
#include "platform/file_io.h"

class ScannedFile {
public:
    enum class Reads {
        Blocks,  // the head and tail blocks serve what falls inside them
        Exact,   // every read goes to the descriptor (the reference the tests compare with)
    };

    // The file's scan, as the platform keeps it (platform::BeginFileScan).
    explicit ScannedFile(const char* path, Reads reads = Reads::Blocks)
        : path_(path), reads_(reads) {
        platform::BeginFileScan();
    }
    ~ScannedFile() { platform::EndFileScan(); }
    ScannedFile(const ScannedFile&) = delete;
    ScannedFile& operator=(const ScannedFile&) = delete;

    const char* Path() const { return path_; }

    // The open descriptor, or platform::kNoFile when the path could not be
    // opened. A failed open is not tried again by a later scanner.
    int Descriptor();

    // The open file's bytes for the detection code (opens the file when
    // needed; with no open file every read fails).
    FileBytes Bytes();

    // The length of the open file, taken once; -1 when there is no open file
    // or the length could not be taken.
    std::int64_t Length();

    // Closes the file before it is removed (Windows cannot delete an open
    // file). A later scanner that asks opens the path afresh and sees what is
    // left of it, as if it had opened the path itself.
    void CloseForRemoval();

private:
    enum class Open { NotYet, Done, Failed };

    const char* path_;
    Reads reads_;
    platform::ScopedFile file_;
    FileBlocks blocks_;
    Open open_ = Open::NotYet;
    bool lengthTaken_ = false;
    std::int64_t length_ = -1;
};
