// Small signature tables and PE layouts of the detection tests' own: the
// shipped tables are never needed here.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "detect/signature_record.h"
#include "tools/samples/pe_sample.h"

using Bytes = std::vector<std::uint8_t>;

// 20 pattern bytes from a seed; zeroAt puts a zero byte at that index (-1: none).
inline Bytes PatternBytes(std::uint8_t seed, int zeroAt = -1) {
    Bytes b(kPatternCompared);
    for (int i = 0; i < kPatternCompared; ++i) {
        b[i] = static_cast<std::uint8_t>(seed * 37 + i * 11 + 1);
        if (b[i] == 0) b[i] = 0x5c;
    }
    if (zeroAt >= 0) b[zeroAt] = 0;
    return b;
}

inline SignatureRecord MakeRecord(const std::string& name, std::int32_t offset1, const Bytes& p1,
                                  std::int32_t offset2, const Bytes& p2, std::int32_t size,
                                  std::int32_t rule) {
    SignatureRecord r;
    std::memset(&r, 0, sizeof r);
    std::memcpy(r.detectionName, name.data(), name.size());
    r.offset1 = offset1;
    std::memcpy(r.pattern1, p1.data(), kPatternCompared);
    r.offset2 = offset2;
    std::memcpy(r.pattern2, p2.data(), kPatternCompared);
    r.expectedSize = size;
    r.sizeRule = rule;
    return r;
}

// The records followed by the all-zero terminator.
inline std::vector<SignatureRecord> Terminated(std::vector<SignatureRecord> records) {
    SignatureRecord end;
    std::memset(&end, 0, sizeof end);
    records.push_back(end);
    return records;
}

// One section mapping RVA 0x1000.. to file offset 0x400..; entry point at 0x1000.
constexpr std::uint32_t kEntryPoint = 0x1000;
constexpr std::uint32_t kSectionFileStart = 0x400;

inline PeSampleSpec SimplePe(std::uint32_t fileSize) {
    PeSampleSpec spec;
    spec.fileSize = fileSize;
    spec.addressOfEntryPoint = kEntryPoint;
    spec.sizeOfHeaders = 0x200;
    std::uint32_t raw = fileSize > kSectionFileStart ? fileSize - kSectionFileStart : 0;
    spec.sections.push_back({kEntryPoint, raw, kSectionFileStart, raw});
    return spec;
}

// Puts bytes at entry point + offset of a SimplePe.
inline void PutAtEntryOffset(PeSampleSpec& spec, std::int32_t offset, const Bytes& bytes) {
    spec.bytesAt.push_back({kSectionFileStart + static_cast<std::uint32_t>(offset), bytes});
}
