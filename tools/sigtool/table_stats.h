// The figures that describe a pair of signature tables: counts, name forms,
// ranges, shared offsets. `quellix-sigtool stats` prints them and the tests
// compare them with the published ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "detect/signature_record.h"

// The first archive rows are the fixed W32/Bagle rows; the family rows follow.
constexpr std::size_t kBagleArchiveRows = 9;

struct ExecutableTableStats {
    std::size_t records = 0;
    std::size_t bytesWithTerminator = 0;
    std::size_t distinctNames = 0;
    std::size_t nameRuns = 0;           // maximal stretches of consecutive records with one name
    std::size_t prefixOnLineGames = 0;  // "W32/OnLineGames."
    std::size_t prefixOnlineGames = 0;  // "W32/OnlineGames."
    std::size_t prefixOnlinegames = 0;  // "W32/Onlinegames."
    std::size_t prefixOther = 0;
    std::size_t endingSpyTrojan = 0;    // ".Spy.Trojan"
    std::size_t endingPswTrojan = 0;    // ".PSW.Trojan"
    std::size_t endingOtherTrojan = 0;  // any other name ending in ".Trojan"
    std::size_t endingOther = 0;
    std::size_t longestName = 0;
    std::size_t sizeExact = 0;
    std::size_t sizeOtherRule = 0;
    std::int32_t minSize = 0;
    std::int32_t maxSize = 0;
    std::int32_t minOffset = 0;  // over offset1 and offset2
    std::int32_t maxOffset = 0;
    std::int32_t sharedPairOffset1 = 0;  // the (offset1, offset2) pair most records use
    std::int32_t sharedPairOffset2 = 0;
    std::size_t sharedPairRecords = 0;
    std::size_t pattern1WithZero = 0;     // a zero among the 20 compared bytes
    std::size_t nonZeroPatternTails = 0;  // records whose 21st pattern byte is not 0
};

struct ArchiveTableStats {
    std::size_t rows = 0;
    std::size_t bytesWithTerminator = 0;
    std::size_t nonZeroPatternTails = 0;
    std::size_t reachableRows = 0;  // both offsets non-negative
    // Rows after the Bagle rows.
    std::size_t familyRows = 0;
    std::size_t familyOnLineGamesNames = 0;  // "W32/OnLineGames." in any letter case
    std::size_t familySizeExact = 0;
    std::int32_t familyMinSize = 0;
    std::int32_t familyMaxSize = 0;
    std::size_t familyCopiesOfExecutable = 0;  // byte-for-byte equal to an executable record
    std::size_t familyNegativeOffset = 0;
};

// Records up to the first one whose name starts with a zero byte.
std::size_t CountRecords(const SignatureRecord* table);
// Whether the record after the last one is 108 zero bytes.
bool HasZeroTerminator(const SignatureRecord* table);

ExecutableTableStats ComputeExecutableStats(const SignatureRecord* table);
ArchiveTableStats ComputeArchiveStats(const SignatureRecord* archive,
                                      const SignatureRecord* executable);
std::size_t CountOffsetPair(const SignatureRecord* table, std::int32_t offset1,
                            std::int32_t offset2);

// One figure a line, with its meaning; the Bagle rows are listed as they stand.
void PrintTableStats(std::FILE* out, const SignatureRecord* executable,
                     const SignatureRecord* archive);
