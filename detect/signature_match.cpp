#include "detect/signature_match.h"

#include <cstring>

#include "detect/file_reads.h"
#include "detect/pe_reader.h"

bool SizeRuleHolds(const SignatureRecord& record, std::int64_t fileLength) {
    if (fileLength < 0 || fileLength > INT32_MAX) return false;
    switch (record.sizeRule) {
        case SizeExact:
            return record.expectedSize == fileLength;
        case SizeNear: {
            // Taken in 64 bits so that no pair of 32-bit values overflows.
            std::int64_t difference = std::int64_t{record.expectedSize} - fileLength;
            return difference > -SizeTolerance && difference < SizeTolerance;
        }
        case SizeAny:
            return true;
        default:
            return false;
    }
}

ExecutableTableIndex::ExecutableTableIndex(const SignatureRecord* table) : table_(table) {
    for (std::uint32_t i = 0; table[i].detectionName[0] != '\0'; ++i) {
        ++recordCount_;
        switch (table[i].sizeRule) {
            case SizeExact:
                exact_.push_back({table[i].expectedSize, i});
                break;
            case SizeNear:
            case SizeAny:
                sizeFree_.push_back(i);
                break;
            default:
                break;  // never tried
        }
    }
    std::stable_sort(exact_.begin(), exact_.end(),
                     [](const SizeEntry& a, const SizeEntry& b) { return a.size < b.size; });
}

namespace {

bool PatternAtEntryOffset(FileBytes file, std::int64_t fileLength, std::uint32_t entryPoint,
                          std::int32_t offset, const std::uint8_t* pattern) {
    // 32-bit wrap-around, as the loader's own arithmetic.
    std::uint32_t rva = entryPoint + static_cast<std::uint32_t>(offset);
    std::uint8_t bytes[kPatternCompared];
    return ReadExactlyAt(file, RvaToFileOffset(rva, fileLength), bytes, sizeof bytes) &&
           std::memcmp(bytes, pattern, kPatternCompared) == 0;
}

bool PatternInWindow(FileBytes file, std::int32_t offset, const std::uint8_t* pattern) {
    std::uint8_t window[kArchiveWindowSize];
    // A negative offset cannot be sought to: the read refuses it.
    if (!ReadExactlyAt(file, offset, window, sizeof window)) return false;
    // Candidate starts are found by the first byte; the lowest one that matches wins.
    const std::uint8_t* start = window;
    const std::uint8_t* lastStart = window + kArchiveWindowLastStart;
    while (start <= lastStart) {
        const void* hit =
            std::memchr(start, pattern[0], static_cast<std::size_t>(lastStart - start) + 1);
        if (!hit) return false;
        start = static_cast<const std::uint8_t*>(hit);
        if (std::memcmp(start, pattern, kPatternCompared) == 0) return true;
        ++start;
    }
    return false;
}

}  // namespace

const SignatureRecord* FindExecutableRecord(const ExecutableTableIndex& index, FileBytes file,
                                            std::int64_t fileLength) {
    std::uint32_t entryPoint = PeHeaderView.AddressOfEntryPoint();
    return index.FirstAccepted(fileLength, [&](const SignatureRecord& record) {
        return PatternAtEntryOffset(file, fileLength, entryPoint, record.offset1,
                                    record.pattern1) &&
               PatternAtEntryOffset(file, fileLength, entryPoint, record.offset2, record.pattern2);
    });
}

namespace {

template <typename HeadIsPk>
ArchiveWalkResult WalkArchiveRows(const SignatureRecord* table, FileBytes file,
                                  std::int64_t fileLength, HeadIsPk headIsPk) {
    for (const SignatureRecord* row = table; row->detectionName[0] != '\0'; ++row) {
        if (!SizeRuleHolds(*row, fileLength)) continue;
        // Tested again for every row that applies; the first failure ends the file's scan.
        if (!headIsPk()) return {ArchiveWalkEnd::NotPk, nullptr};
        if (PatternInWindow(file, row->offset1, row->pattern1) &&
            PatternInWindow(file, row->offset2, row->pattern2)) {
            return {ArchiveWalkEnd::Matched, row};
        }
    }
    return {ArchiveWalkEnd::NoMatch, nullptr};
}

bool IsPkHead(const std::uint8_t* head, std::size_t length) {
    return length >= kArchiveHeadRead && head[0] == 'P' && head[1] == 'K';
}

}  // namespace

ArchiveWalkResult WalkArchiveTable(const SignatureRecord* table, FileBytes file,
                                   std::int64_t fileLength) {
    return WalkArchiveRows(table, file, fileLength, [file] {
        std::uint8_t head[kArchiveHeadRead];
        return ReadExactlyAt(file, 0, head, sizeof head) && IsPkHead(head, sizeof head);
    });
}

ArchiveWalkResult WalkArchiveTable(const SignatureRecord* table, FileBytes file,
                                   std::int64_t fileLength, const std::uint8_t* head,
                                   std::size_t headLength) {
    const bool pk = IsPkHead(head, headLength);
    return WalkArchiveRows(table, file, fileLength, [pk] { return pk; });
}
