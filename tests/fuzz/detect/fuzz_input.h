// Shared by the detection fuzzers: an input is a few signature records
// followed by the bytes of the file to scan, and the readers want a descriptor.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "detect/signature_record.h"

constexpr std::size_t kMaxFuzzRecords = 4;

// First byte: the record count (mod 5); then that many 108-byte records (each
// given a name, so none ends the table early); then the file. The table gets
// its terminator.
struct FuzzInput {
    std::vector<SignatureRecord> table;
    const std::uint8_t* file = nullptr;
    std::size_t fileSize = 0;
};

inline FuzzInput SplitFuzzInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in;
    std::size_t count = size > 0 ? data[0] % (kMaxFuzzRecords + 1) : 0;
    std::size_t at = size > 0 ? 1 : 0;
    for (std::size_t i = 0; i < count && at + sizeof(SignatureRecord) <= size; ++i) {
        SignatureRecord r;
        std::memcpy(&r, data + at, sizeof r);
        at += sizeof r;
        r.detectionName[0] = 'W';
        in.table.push_back(r);
    }
    SignatureRecord end;
    std::memset(&end, 0, sizeof end);
    in.table.push_back(end);
    in.file = data + at;
    in.fileSize = size - at;
    return in;
}

// One scratch file per process, rewritten for every input.
class ScratchFile {
public:
    ScratchFile() {
        // In memory: every input rewrites it.
        fd_ = memfd_create("quellix-fuzz", 0);
        if (fd_ < 0) {
            char name[] = "/tmp/quellix-fuzz-XXXXXX";
            fd_ = mkstemp(name);
            if (fd_ >= 0) unlink(name);
        }
    }
    ~ScratchFile() {
        if (fd_ >= 0) close(fd_);
    }
    // The descriptor holding exactly these bytes, or -1.
    int Hold(const std::uint8_t* data, std::size_t size) {
        if (fd_ < 0 || ftruncate(fd_, 0) != 0) return -1;
        if (size > 0 && pwrite(fd_, data, size, 0) != static_cast<ssize_t>(size)) return -1;
        return fd_;
    }

private:
    int fd_ = -1;
};
