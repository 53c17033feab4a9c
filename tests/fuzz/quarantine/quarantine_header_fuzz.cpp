// Any bytes as a quarantine item's head: a header that decodes encodes to
// bytes that decode to the same fields.
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
        std::strcmp(second.originalPath, header.originalPath) != 0 ||
        second.time.year != header.time.year || second.time.second != header.time.second) {
        std::abort();
    }
    char when[20];
    FormatQuarantineTime(header.time, when);
    IsQuarantineId(header.id);
    return 0;
}
