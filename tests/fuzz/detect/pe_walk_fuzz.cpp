// PE readers and the executable table walk on fuzzed files and fuzzed tables.
// The indexed walk must find exactly the record a record-by-record walk finds.
#include <cstdlib>

#include "detect/file_reads.h"
#include "detect/pe_reader.h"
#include "detect/signature_match.h"
#include "platform/file_io.h"
#include "tests/fuzz/detect/fuzz_input.h"

namespace {

bool PatternAt(int fd, std::int64_t length, std::uint32_t entry, std::int32_t offset,
               const std::uint8_t* pattern) {
    std::uint8_t bytes[kPatternCompared];
    std::uint32_t position = RvaToFileOffset(entry + static_cast<std::uint32_t>(offset), length);
    return ReadExactlyAt(fd, position, bytes, sizeof bytes) &&
           std::memcmp(bytes, pattern, kPatternCompared) == 0;
}

const SignatureRecord* LinearWalk(const SignatureRecord* table, int fd, std::int64_t length) {
    std::uint32_t entry = PeHeaderView.AddressOfEntryPoint();
    for (const SignatureRecord* r = table; r->detectionName[0] != '\0'; ++r) {
        if (!SizeRuleHolds(*r, length)) continue;
        if (PatternAt(fd, length, entry, r->offset1, r->pattern1) &&
            PatternAt(fd, length, entry, r->offset2, r->pattern2)) {
            return r;
        }
    }
    return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static ScratchFile scratch;
    FuzzInput in = SplitFuzzInput(data, size);
    int fd = scratch.Hold(in.file, in.fileSize);
    if (fd < 0) return 0;

    std::uint32_t probe = 0;
    if (in.fileSize >= 4) std::memcpy(&probe, in.file + in.fileSize - 4, 4);
    if (!ReadPeSignature(fd)) return 0;
    const std::int64_t length = platform::FileLength(fd);
    if (!ReadPeSections(fd)) {
        // Not meant to be called now, but must stay inside the section array.
        RvaToFileOffset(probe, length);
        return 0;
    }
    RvaToFileOffset(probe, length);
    ExecutableTableIndex index(in.table.data());
    if (FindExecutableRecord(index, fd, length) != LinearWalk(in.table.data(), fd, length)) {
        std::abort();
    }
    return 0;
}
