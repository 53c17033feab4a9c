// The 170-byte script signature record and the table of 13 that the script
// and HTML worm cleaner walks, byte for byte as the program holds them.
#pragma once

#include <cstddef>
#include <cstdint>

#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error \
    "ScriptSignatureRecord keeps its integers in the machine's order, which must be little-endian"
#endif

constexpr int kScriptSignatureCount = 13;
constexpr int kScriptNameSize = 25;      // at most 24 characters and a NUL
constexpr int kScriptPatternSize = 100;  // also the largest patternLength
constexpr int kScriptReservedSize = 25;

// region
constexpr std::int16_t kScriptRegionHead = 0;
constexpr std::int16_t kScriptRegionTail = 1;
// method; any other value compares at position
constexpr std::int16_t kScriptMethodSearch = 1;
// sizeTest; any other value means no length test
constexpr std::int16_t kScriptSizeExact = 16;
constexpr std::int16_t kScriptSizeNear = 17;
constexpr std::int64_t kScriptSizeTolerance = 4096;

#pragma pack(push, 1)
struct ScriptSignatureRecord {
    char name[kScriptNameSize];
    std::int32_t expectedSize;
    std::int16_t position;
    std::uint16_t patternLength;
    std::int16_t region;
    std::uint8_t
        pattern[kScriptPatternSize];  // first patternLength bytes scrambled until unscrambled
    std::int16_t method;
    std::int16_t reserved137;  // 4 in every record
    std::int16_t sizeTest;
    std::int16_t reserved141;  // 0 in every record
    std::uint8_t reserved143[kScriptReservedSize];
    std::uint16_t nextNumber;  // 1, 2, ... and 0 in the last record
};
#pragma pack(pop)

static_assert(sizeof(ScriptSignatureRecord) == 170, "ScriptSignatureRecord is 170 bytes");
static_assert(offsetof(ScriptSignatureRecord, expectedSize) == 25);
static_assert(offsetof(ScriptSignatureRecord, position) == 29);
static_assert(offsetof(ScriptSignatureRecord, patternLength) == 31);
static_assert(offsetof(ScriptSignatureRecord, region) == 33);
static_assert(offsetof(ScriptSignatureRecord, pattern) == 35);
static_assert(offsetof(ScriptSignatureRecord, method) == 135);
static_assert(offsetof(ScriptSignatureRecord, reserved137) == 137);
static_assert(offsetof(ScriptSignatureRecord, sizeTest) == 139);
static_assert(offsetof(ScriptSignatureRecord, reserved141) == 141);
static_assert(offsetof(ScriptSignatureRecord, reserved143) == 143);
static_assert(offsetof(ScriptSignatureRecord, nextNumber) == 168);

// No end marker: the table is exactly kScriptSignatureCount records long.
// Its patterns stay scrambled until UnscrambleScriptTable has run.
extern ScriptSignatureRecord ScriptSignatureTable[kScriptSignatureCount];

// Turns every record's first patternLength pattern bytes back into plain text
// with the table's one-byte key. In place: the second call scrambles again,
// so the cleaner calls it once per run.
void UnscrambleScriptTable();

// The blanks the patterns and the scanned text are compared without: tab,
// line feed, vertical tab, form feed, carriage return, space.
constexpr bool IsBlank(std::uint8_t byte) {
    return byte == ' ' || (byte >= '\t' && byte <= '\r');
}
