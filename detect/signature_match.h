// Walking the signature tables: the size rule, the executable table (patterns
// at entry-point-relative positions) and the archive table (patterns searched
// in windows at absolute positions). Every walk takes its table, so any table
// that ends with an all-zero record can be walked.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "detect/file_reads.h"
#include "detect/signature_record.h"

constexpr int kArchiveWindowSize = 1024;
constexpr int kArchiveWindowLastStart = 1003;  // the last window byte is never examined
constexpr int kArchiveHeadRead = 40;

// Whether record applies to a file of fileLength bytes. Lengths are signed
// 32-bit: a length outside 0..2^31-1 (unmeasurable, or a file over 2 GB)
// satisfies no rule.
bool SizeRuleHolds(const SignatureRecord& record, std::int64_t fileLength);

// Finds a file length's candidate records without walking the whole table:
// SizeExact records are looked up by size, the few others are kept apart.
// Candidates still come out in table order, so the first match is the one a
// record-by-record walk would find.
class ExecutableTableIndex {
public:
    explicit ExecutableTableIndex(const SignatureRecord* table);

    const SignatureRecord* Table() const { return table_; }
    std::size_t RecordCount() const { return recordCount_; }

    // Offers each record whose size rule holds for fileLength to accept, in
    // table order, until accept returns true; that record, or nullptr.
    template <typename Accept>
    const SignatureRecord* FirstAccepted(std::int64_t fileLength, Accept accept) const;

private:
    struct SizeEntry {
        std::int32_t size;
        std::uint32_t index;
    };
    static constexpr std::uint32_t kNone = UINT32_MAX;

    const SignatureRecord* table_;
    std::size_t recordCount_ = 0;
    std::vector<SizeEntry> exact_;         // by size, then table order
    std::vector<std::uint32_t> sizeFree_;  // SizeNear and SizeAny records, table order
};

// The first record of the index's table whose size rule holds and whose
// patterns stand at AddressOfEntryPoint + offset (through RvaToFileOffset);
// nullptr when none. PeHeaderView must describe file (ReadPeSections succeeded).
const SignatureRecord* FindExecutableRecord(const ExecutableTableIndex& index, FileBytes file,
                                            std::int64_t fileLength);

enum class ArchiveWalkEnd {
    Matched,  // record names the row
    NotPk,    // a row's size rule held but the file does not start with "PK"
    NoMatch,  // the terminator was reached
};

struct ArchiveWalkResult {
    ArchiveWalkEnd end;
    const SignatureRecord* record;
};

// Walks table (absolute offsets, 1024-byte windows) from its first row.
ArchiveWalkResult WalkArchiveTable(const SignatureRecord* table, FileBytes file,
                                   std::int64_t fileLength);
// The same walk for a caller that has read the head already: head holds the
// headLength bytes one read from the file's start gave, and stands for the
// head each applicable row would read again.
ArchiveWalkResult WalkArchiveTable(const SignatureRecord* table, FileBytes file,
                                   std::int64_t fileLength, const std::uint8_t* head,
                                   std::size_t headLength);

template <typename Accept>
const SignatureRecord* ExecutableTableIndex::FirstAccepted(std::int64_t fileLength,
                                                           Accept accept) const {
    if (fileLength < 0 || fileLength > INT32_MAX) return nullptr;
    auto size = static_cast<std::int32_t>(fileLength);
    auto exact = std::lower_bound(exact_.begin(), exact_.end(), size,
                                  [](const SizeEntry& e, std::int32_t s) { return e.size < s; });
    std::size_t free = 0;
    for (;;) {
        while (free < sizeFree_.size() && !SizeRuleHolds(table_[sizeFree_[free]], fileLength)) {
            ++free;
        }
        std::uint32_t nextExact =
            exact != exact_.end() && exact->size == size ? exact->index : kNone;
        std::uint32_t nextFree = free < sizeFree_.size() ? sizeFree_[free] : kNone;
        if (nextExact == kNone && nextFree == kNone) return nullptr;
        std::uint32_t index;
        if (nextExact < nextFree) {
            index = nextExact;
            ++exact;
        } else {
            index = nextFree;
            ++free;
        }
        if (accept(table_[index])) return &table_[index];
    }
}
