// The 108-byte signature record: the on-disk and in-program format of the
// executable and archive signature sets, byte for byte.
#pragma once

#include <cstdint>

#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "SignatureRecord keeps its integers in the machine's order, which must be little-endian"
#endif

constexpr int kDetectionNameSize = 50;
constexpr int kPatternSize = 21;  // 20 compared bytes and one zero byte
constexpr int kPatternCompared = 20;

enum SizeRuleValue : std::int32_t {
    SizeExact = 1,
    SizeNear = 2,
    SizeAny = 3,
};

constexpr std::int32_t SizeTolerance = 4096;

#pragma pack(push, 1)
struct SignatureRecord {
    char detectionName[kDetectionNameSize];
    std::int32_t offset1;
    std::uint8_t pattern1[kPatternSize];
    std::int32_t offset2;
    std::uint8_t pattern2[kPatternSize];
    std::int32_t expectedSize;
    std::int32_t sizeRule;
};
#pragma pack(pop)

static_assert(sizeof(SignatureRecord) == 108, "SignatureRecord is 108 bytes on disk");

// Both tables end with a record of 108 zero bytes; a first name byte of 0 ends a walk.
extern const SignatureRecord ExecutableSignatureTable[];
extern const SignatureRecord ArchiveSignatureTable[];
