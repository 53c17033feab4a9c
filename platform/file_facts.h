// What a file is beside its bytes: the attributes a user sees (read-only,
// hidden, system, archive) and its three times. The quarantine keeps them
// with a copy so that a restored file is the file that was removed.
#pragma once

#include <cstdint>

namespace platform {

// Which fields of FileFacts hold a value.
constexpr std::uint32_t kFactAttributes = 1;
constexpr std::uint32_t kFactCreationTime = 2;
constexpr std::uint32_t kFactLastWriteTime = 4;
constexpr std::uint32_t kFactLastAccessTime = 8;
constexpr std::uint32_t kAllFileFacts = 15;

// The attributes kept, as Windows numbers them; others (compressed,
// encrypted, directory...) cannot be set back with the attribute call.
constexpr std::uint32_t kKeptAttributes = 0x01 | 0x02 | 0x04 | 0x20;

// Times are FILETIME values: 100-nanosecond steps since 1601-01-01 UTC.
struct FileFacts {
    std::uint32_t known = 0;
    std::uint32_t attributes = 0;  // only kKeptAttributes
    std::uint64_t creationTime = 0;
    std::uint64_t lastWriteTime = 0;
    std::uint64_t lastAccessTime = 0;
};

// The file's facts as they are now; known is 0 when none can be read.
// Windows: all four. Host: the last write and last access times (a POSIX
// file system has no creation time or these attributes to give).
FileFacts ReadFileFacts(const char* path);

// Gives the known facts back to the file at path (a file just made, not a
// folder nor a link); false when one of them could not be set. The times go
// first: a read-only file takes no more changes.
bool ApplyFileFacts(const char* path, const FileFacts& facts);

}  // namespace platform
