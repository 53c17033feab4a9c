#include "quarantine/quarantine_record.h"

#include <cstdio>
#include <cstring>

namespace {

// Offsets of the header's fields; every number is little-endian.
constexpr std::size_t kMagicOffset = 0;  // 8 bytes
constexpr std::size_t kHeaderSizeOffset = 8;
constexpr std::size_t kVersionOffset = 12;
constexpr std::size_t kSizeOffset = 16;
constexpr std::size_t kShaOffset = 24;
constexpr std::size_t kTimeOffset = kShaOffset + kSha256Size;  // six 16-bit fields
constexpr std::size_t kIdOffset = kTimeOffset + 12 + 4;        // 4 bytes reserved
constexpr std::size_t kNameOffset = kIdOffset + kQuarantineIdSize;
constexpr std::size_t kPathOffset = kNameOffset + kQuarantineNameSize;
static_assert(kPathOffset + kQuarantinePathSize == kQuarantineHeaderSize,
              "the header fields fill 512 bytes");
// Version 2: the path field ends where the file's facts begin: which are
// known, the attributes, then the creation, last write and last access times.
constexpr std::size_t kFactsSize = 32;
constexpr std::size_t kPathSize2 = kQuarantinePathSize2;
static_assert(kPathSize2 + kFactsSize == kQuarantinePathSize, "facts take the path's end");
constexpr std::size_t kFactsOffset = kPathOffset + kPathSize2;
constexpr std::size_t kKnownOffset = kFactsOffset;
constexpr std::size_t kAttributesOffset = kFactsOffset + 4;
constexpr std::size_t kCreationOffset = kFactsOffset + 8;
constexpr std::size_t kLastWriteOffset = kFactsOffset + 16;
constexpr std::size_t kLastAccessOffset = kFactsOffset + 24;
static_assert(kLastAccessOffset + 8 == kQuarantineHeaderSize, "the facts end the header");

// The zero at byte 6 comes before any line feed the text fields could hold.
constexpr std::uint8_t kMagic[8] = {'Q', 'X', 'Q', 'R', 0x1A, 0x01, 0x00, 0x00};

constexpr std::uint8_t kKey[32] = {0x5B, 0xC3, 0x17, 0xE9, 0x62, 0x0D, 0xA4, 0x38, 0xF1, 0x2E, 0x96,
                                   0x4B, 0x7D, 0xD0, 0x83, 0x1C, 0xAF, 0x54, 0x3A, 0xE7, 0x09, 0xB6,
                                   0x6C, 0x91, 0x25, 0xFA, 0x48, 0xCE, 0x73, 0x1F, 0xB8, 0x8D};

void Put16(std::uint8_t* at, std::uint16_t v) {
    at[0] = static_cast<std::uint8_t>(v);
    at[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Put64(std::uint8_t* at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint16_t Get16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}
std::uint32_t Get32(const std::uint8_t* at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | at[i];
    return v;
}
std::uint64_t Get64(const std::uint8_t* at) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | at[i];
    return v;
}

void PutText(std::uint8_t* at, std::size_t fieldSize, const char* text) {
    std::size_t n = strnlen(text, fieldSize - 1);
    std::memcpy(at, text, n);
    std::memset(at + n, 0, fieldSize - n);
}

// False when the field holds no NUL.
bool GetText(const std::uint8_t* at, std::size_t fieldSize, char* out) {
    const void* nul = std::memchr(at, 0, fieldSize);
    if (!nul) return false;
    std::memcpy(out, at, fieldSize);
    return true;
}

}  // namespace

void EncodeQuarantineHeader(const QuarantineHeader& header,
                            std::uint8_t (&out)[kQuarantineHeaderSize]) {
    std::memset(out, 0, sizeof out);
    std::memcpy(out + kMagicOffset, kMagic, sizeof kMagic);
    Put32(out + kHeaderSizeOffset, kQuarantineHeaderSize);
    Put32(out + kVersionOffset, kQuarantineFormatVersion);
    Put64(out + kSizeOffset, header.originalSize);
    std::memcpy(out + kShaOffset, header.sha256, kSha256Size);
    const std::uint16_t time[6] = {header.time.year, header.time.month,  header.time.day,
                                   header.time.hour, header.time.minute, header.time.second};
    for (int i = 0; i < 6; ++i) Put16(out + kTimeOffset + 2 * i, time[i]);
    PutText(out + kIdOffset, kQuarantineIdSize, header.id);
    PutText(out + kNameOffset, kQuarantineNameSize, header.detectionName);
    PutText(out + kPathOffset, kPathSize2, header.originalPath);
    const platform::FileFacts& facts = header.facts;
    const std::uint32_t known = facts.known & platform::kAllFileFacts;
    Put32(out + kKnownOffset, known);
    if (known & platform::kFactAttributes) {
        Put32(out + kAttributesOffset, facts.attributes & platform::kKeptAttributes);
    }
    if (known & platform::kFactCreationTime) Put64(out + kCreationOffset, facts.creationTime);
    if (known & platform::kFactLastWriteTime) Put64(out + kLastWriteOffset, facts.lastWriteTime);
    if (known & platform::kFactLastAccessTime) {
        Put64(out + kLastAccessOffset, facts.lastAccessTime);
    }
}

HeaderCheck DecodeQuarantineHeader(const std::uint8_t* bytes, std::size_t length,
                                   QuarantineHeader& out) {
    if (length < sizeof kMagic || std::memcmp(bytes, kMagic, sizeof kMagic) != 0) {
        return HeaderCheck::NotQuarantine;
    }
    if (length < kQuarantineHeaderSize) return HeaderCheck::Damaged;
    const std::uint32_t version = Get32(bytes + kVersionOffset);
    if (version != kQuarantineFormatVersion && version != kQuarantineFormatVersion1) {
        return HeaderCheck::UnknownVersion;
    }
    const bool withFacts = version == kQuarantineFormatVersion;
    if (Get32(bytes + kHeaderSizeOffset) != kQuarantineHeaderSize) return HeaderCheck::Damaged;
    QuarantineHeader header;
    header.originalSize = Get64(bytes + kSizeOffset);
    std::memcpy(header.sha256, bytes + kShaOffset, kSha256Size);
    std::uint16_t* time[6] = {&header.time.year, &header.time.month,  &header.time.day,
                              &header.time.hour, &header.time.minute, &header.time.second};
    for (int i = 0; i < 6; ++i) *time[i] = Get16(bytes + kTimeOffset + 2 * i);
    if (!GetText(bytes + kIdOffset, kQuarantineIdSize, header.id) ||
        !GetText(bytes + kNameOffset, kQuarantineNameSize, header.detectionName) ||
        !GetText(bytes + kPathOffset, withFacts ? kPathSize2 : kQuarantinePathSize,
                 header.originalPath)) {
        return HeaderCheck::Damaged;
    }
    if (withFacts) {
        platform::FileFacts& facts = header.facts;
        facts.known = Get32(bytes + kKnownOffset);
        facts.attributes = Get32(bytes + kAttributesOffset);
        // Bits this version does not define mean the header is not ours.
        if ((facts.known & ~platform::kAllFileFacts) != 0 ||
            (facts.attributes & ~platform::kKeptAttributes) != 0 ||
            ((facts.known & platform::kFactAttributes) == 0 && facts.attributes != 0)) {
            return HeaderCheck::Damaged;
        }
        if (facts.known & platform::kFactCreationTime) {
            facts.creationTime = Get64(bytes + kCreationOffset);
        }
        if (facts.known & platform::kFactLastWriteTime) {
            facts.lastWriteTime = Get64(bytes + kLastWriteOffset);
        }
        if (facts.known & platform::kFactLastAccessTime) {
            facts.lastAccessTime = Get64(bytes + kLastAccessOffset);
        }
    }
    out = header;
    return HeaderCheck::Ok;
}

void NeutraliseBytes(std::uint8_t* data, std::size_t length, std::uint64_t offset) {
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint64_t at = offset + i;
        const auto round = static_cast<std::uint8_t>((at >> 5) * 0x9D + 0x5A);
        const auto mask = static_cast<std::uint8_t>(kKey[at & 31] ^ round);
        // Never zero: every byte of the copy differs from the original's.
        data[i] ^= mask != 0 ? mask : 0xA5;
    }
}

void FormatQuarantineId(const QuarantineTime& time, unsigned sequence,
                        char (&out)[kQuarantineIdSize]) {
    std::snprintf(out, sizeof out, "%04u%02u%02u-%02u%02u%02u-%02u", time.year % 10000u,
                  time.month % 100u, time.day % 100u, time.hour % 100u, time.minute % 100u,
                  time.second % 100u, sequence % 10000u);
}

bool IsQuarantineId(const char* text) {
    // 8 digits, '-', 6 digits, '-', 2 to 4 digits.
    std::size_t n = strnlen(text, kQuarantineIdSize);
    if (n < 18 || n >= kQuarantineIdSize) return false;
    for (std::size_t i = 0; i < n; ++i) {
        const bool dash = i == 8 || i == 15;
        if (dash ? text[i] != '-' : (text[i] < '0' || text[i] > '9')) return false;
    }
    return n <= 20;
}

void FormatQuarantineTime(const QuarantineTime& time, char (&out)[20]) {
    std::snprintf(out, sizeof out, "%04u-%02u-%02u %02u:%02u:%02u", time.year % 10000u,
                  time.month % 100u, time.day % 100u, time.hour % 100u, time.minute % 100u,
                  time.second % 100u);
}
