// The script signature table, built at compile time from
// detect/data/script_signatures.txt and stored with its patterns scrambled,
// so the plain pattern texts never appear in the program file.
#include <cstddef>
#include <cstdint>

#include "detect/script/script_signature_record.h"

namespace {

#define SCRIPT_SIGNATURE_KEY(key) constexpr std::uint8_t kScrambleKey = (key);
#define SCRIPT_SIGNATURE(...)
#include "detect/data/script_signatures.txt"
#undef SCRIPT_SIGNATURE
#undef SCRIPT_SIGNATURE_KEY

// Every rule a row must keep; checked by static_assert below, so a bad row
// stops the build instead of shipping a record that can never match.
template <std::size_t NameSize, std::size_t PatternSize>
constexpr bool RowIsSound(int number, const char (&name)[NameSize], std::int64_t expectedSize,
                          int position, int patternLength, const char (&pattern)[PatternSize]) {
    if (number < 1 || number > kScriptSignatureCount) return false;
    if (NameSize < 2 || NameSize > kScriptNameSize) return false;
    if (expectedSize < 0 || expectedSize > INT32_MAX) return false;
    if (position < 0 || position > INT16_MAX) return false;
    if (patternLength < 1 || patternLength > kScriptPatternSize) return false;
    if (PatternSize - 1 != static_cast<std::size_t>(patternLength)) return false;
    for (std::size_t i = 0; i + 1 < PatternSize; ++i) {
        if (pattern[i] == '\0' || IsBlank(static_cast<std::uint8_t>(pattern[i]))) return false;
    }
    return name[NameSize - 1] == '\0';
}

#define SCRIPT_SIGNATURE_KEY(key)
#define SCRIPT_SIGNATURE(number, name, expectedSize, sizeTest, region, method, position,    \
                         patternLength, pattern)                                            \
    static_assert(RowIsSound(number, name, expectedSize, position, patternLength, pattern), \
                  "script signature row " #number " breaks a rule of the table");
#include "detect/data/script_signatures.txt"
#undef SCRIPT_SIGNATURE
#undef SCRIPT_SIGNATURE_KEY

// Row numbers must run 1..13 in order: table order is match priority.
constexpr int kRowNumbers[] = {
#define SCRIPT_SIGNATURE_KEY(key)
#define SCRIPT_SIGNATURE(number, ...) number,
#include "detect/data/script_signatures.txt"
#undef SCRIPT_SIGNATURE
#undef SCRIPT_SIGNATURE_KEY
};
static_assert(sizeof kRowNumbers / sizeof kRowNumbers[0] == kScriptSignatureCount,
              "the script table holds exactly 13 rows");
constexpr bool RowsInOrder() {
    for (int i = 0; i < kScriptSignatureCount; ++i) {
        if (kRowNumbers[i] != i + 1) return false;
    }
    return true;
}
static_assert(RowsInOrder(), "script signature rows must be numbered 1..13 in order");

template <std::size_t NameSize, std::size_t PatternSize>
constexpr ScriptSignatureRecord ScrambledRecord(int number, const char (&name)[NameSize],
                                                std::int32_t expectedSize, int sizeTest, int region,
                                                int method, int position, int patternLength,
                                                const char (&pattern)[PatternSize]) {
    ScriptSignatureRecord r{};
    for (std::size_t i = 0; i < NameSize; ++i) r.name[i] = name[i];
    r.expectedSize = expectedSize;
    r.position = static_cast<std::int16_t>(position);
    r.patternLength = static_cast<std::uint16_t>(patternLength);
    r.region = static_cast<std::int16_t>(region);
    for (int i = 0; i < patternLength; ++i) {
        r.pattern[i] =
            static_cast<std::uint8_t>(static_cast<std::uint8_t>(pattern[i]) ^ kScrambleKey);
    }
    r.method = static_cast<std::int16_t>(method);
    r.reserved137 = 4;
    r.sizeTest = static_cast<std::int16_t>(sizeTest);
    r.reserved141 = 0;
    r.nextNumber = static_cast<std::uint16_t>(number == kScriptSignatureCount ? 0 : number);
    return r;
}

}  // namespace

// Every initializer is a constant expression, so the table is initialised at
// compile time and only the scrambled bytes reach the program's data.
ScriptSignatureRecord ScriptSignatureTable[kScriptSignatureCount] = {
#define SCRIPT_SIGNATURE_KEY(key)
#define SCRIPT_SIGNATURE(...) ScrambledRecord(__VA_ARGS__),
#include "detect/data/script_signatures.txt"
#undef SCRIPT_SIGNATURE
#undef SCRIPT_SIGNATURE_KEY
};

void UnscrambleScriptTable() {
    for (ScriptSignatureRecord& record : ScriptSignatureTable) {
        int count = record.patternLength;
        if (count > kScriptPatternSize) count = kScriptPatternSize;
        for (int i = 0; i < count; ++i) record.pattern[i] ^= kScrambleKey;
    }
}
