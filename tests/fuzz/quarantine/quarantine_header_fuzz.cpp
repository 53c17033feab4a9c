// Any bytes as a quarantine item's head: a header that decodes encodes to
// bytes that decode to the same fields (a version 1 path longer than the
// current field cut to it).
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "quarantine/quarantine_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QuarantineHeader header;
    if (DecodeQuarantineHeader(data, size, header) != HeaderCheck::Ok) return 0;
    std::uint8_t again[kQuarantineHeaderSize];
    EncodeQuarantineHeader(header, again);
    QuarantineHeader second;
    if (DecodeQuarantineHeader(again, sizeof again, second) != HeaderCheck::Ok) std::abort();
    if (second.originalSize != header.originalSize ||
        std::memcmp(second.sha256, header.sha256, kSha256Size) != 0 ||
        std::strcmp(second.id, header.id) != 0 ||
        std::strcmp(second.detectionName, header.detectionName) != 0 ||
        std::strncmp(second.originalPath, header.originalPath, kQuarantinePathSize2 - 1) != 0 ||
        second.facts.known != header.facts.known ||
        second.facts.attributes != header.facts.attributes ||
        second.time.year != header.time.year || second.time.second != header.time.second) {
        std::abort();
    }
    char when[20];
    FormatQuarantineTime(header.time, when);
    IsQuarantineId(header.id);
    return 0;
}
