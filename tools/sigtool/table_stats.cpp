#include "tools/sigtool/table_stats.h"
#include "base/text_ends.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "base/ascii_case.h"

namespace {

std::string NameOf(const SignatureRecord& r) {
    return std::string(r.detectionName, strnlen(r.detectionName, kDetectionNameSize));
}

bool StartsWithNoCase(const std::string& s, const char* prefix) {
    const std::size_t n = std::strlen(prefix);
    if (s.size() < n) return false;
    return PrefixEqualsIgnoringCase(s.data(), prefix, n);
}

bool TailsAreZero(const SignatureRecord& r) {
    return r.pattern1[kPatternCompared] == 0 && r.pattern2[kPatternCompared] == 0;
}

}  // namespace

std::size_t CountRecords(const SignatureRecord* table) {
    std::size_t n = 0;
    while (table[n].detectionName[0] != 0) ++n;
    return n;
}

bool HasZeroTerminator(const SignatureRecord* table) {
    static const SignatureRecord kZero{};
    return std::memcmp(&table[CountRecords(table)], &kZero, sizeof kZero) == 0;
}

ExecutableTableStats ComputeExecutableStats(const SignatureRecord* table) {
    ExecutableTableStats s;
    s.records = CountRecords(table);
    s.bytesWithTerminator = (s.records + 1) * sizeof(SignatureRecord);
    std::set<std::string> names;
    std::map<std::pair<std::int32_t, std::int32_t>, std::size_t> pairs;
    for (std::size_t i = 0; i < s.records; ++i) {
        const SignatureRecord& r = table[i];
        const std::string name = NameOf(r);
        names.insert(name);
        if (i == 0 || name != NameOf(table[i - 1])) ++s.nameRuns;
        if (StartsWith(name, "W32/OnLineGames.")) {
            ++s.prefixOnLineGames;
        } else if (StartsWith(name, "W32/OnlineGames.")) {
            ++s.prefixOnlineGames;
        } else if (StartsWith(name, "W32/Onlinegames.")) {
            ++s.prefixOnlinegames;
        } else {
            ++s.prefixOther;
        }
        if (EndsWith(name, ".Spy.Trojan")) {
            ++s.endingSpyTrojan;
        } else if (EndsWith(name, ".PSW.Trojan")) {
            ++s.endingPswTrojan;
        } else if (EndsWith(name, ".Trojan")) {
            ++s.endingOtherTrojan;
        } else {
            ++s.endingOther;
        }
        s.longestName = std::max(s.longestName, name.size());
        if (r.sizeRule == SizeExact) {
            ++s.sizeExact;
        } else {
            ++s.sizeOtherRule;
        }
        const std::int32_t size = r.expectedSize, o1 = r.offset1, o2 = r.offset2;
        if (i == 0) {
            s.minSize = s.maxSize = size;
            s.minOffset = s.maxOffset = o1;
        }
        s.minSize = std::min(s.minSize, size);
        s.maxSize = std::max(s.maxSize, size);
        s.minOffset = std::min({s.minOffset, o1, o2});
        s.maxOffset = std::max({s.maxOffset, o1, o2});
        ++pairs[{o1, o2}];
        if (std::find(r.pattern1, r.pattern1 + kPatternCompared, 0) !=
            r.pattern1 + kPatternCompared) {
            ++s.pattern1WithZero;
        }
        if (!TailsAreZero(r)) ++s.nonZeroPatternTails;
    }
    s.distinctNames = names.size();
    for (const auto& [pair, count] : pairs) {
        // Ties go to the first pair in offset order, so the figure is stable.
        if (count > s.sharedPairRecords) {
            s.sharedPairRecords = count;
            s.sharedPairOffset1 = pair.first;
            s.sharedPairOffset2 = pair.second;
        }
    }
    return s;
}

ArchiveTableStats ComputeArchiveStats(const SignatureRecord* archive,
                                      const SignatureRecord* executable) {
    ArchiveTableStats s;
    s.rows = CountRecords(archive);
    s.bytesWithTerminator = (s.rows + 1) * sizeof(SignatureRecord);
    const std::size_t executableCount = CountRecords(executable);
    for (std::size_t i = 0; i < s.rows; ++i) {
        const SignatureRecord& r = archive[i];
        const std::int32_t o1 = r.offset1, o2 = r.offset2, size = r.expectedSize;
        const bool negative = o1 < 0 || o2 < 0;
        if (!negative) ++s.reachableRows;
        if (!TailsAreZero(r)) ++s.nonZeroPatternTails;
        if (i < kBagleArchiveRows) continue;
        if (s.familyRows++ == 0) s.familyMinSize = s.familyMaxSize = size;
        if (StartsWithNoCase(NameOf(r), "W32/OnLineGames.")) ++s.familyOnLineGamesNames;
        if (r.sizeRule == SizeExact) ++s.familySizeExact;
        s.familyMinSize = std::min(s.familyMinSize, size);
        s.familyMaxSize = std::max(s.familyMaxSize, size);
        if (negative) ++s.familyNegativeOffset;
        for (std::size_t j = 0; j < executableCount; ++j) {
            if (std::memcmp(&executable[j], &r, sizeof r) == 0) {
                ++s.familyCopiesOfExecutable;
                break;
            }
        }
    }
    return s;
}

std::size_t CountOffsetPair(const SignatureRecord* table, std::int32_t offset1,
                            std::int32_t offset2) {
    std::size_t n = 0;
    for (const SignatureRecord* r = table; r->detectionName[0] != 0; ++r) {
        if (r->offset1 == offset1 && r->offset2 == offset2) ++n;
    }
    return n;
}

void PrintTableStats(std::FILE* out, const SignatureRecord* executable,
                     const SignatureRecord* archive) {
    const ExecutableTableStats e = ComputeExecutableStats(executable);
    const ArchiveTableStats a = ComputeArchiveStats(archive, executable);
    auto line = [out](const char* what, long long value) {
        std::fprintf(out, "  %-52s %lld\n", what, value);
    };
    std::fprintf(out, "executable table\n");
    line("records", e.records);
    line("bytes with terminator", e.bytesWithTerminator);
    line("ends with a 108-byte zero record (1 yes, 0 no)", HasZeroTerminator(executable));
    line("distinct names", e.distinctNames);
    line("runs of equal names", e.nameRuns);
    line("names starting \"W32/OnLineGames.\"", e.prefixOnLineGames);
    line("names starting \"W32/OnlineGames.\"", e.prefixOnlineGames);
    line("names starting \"W32/Onlinegames.\"", e.prefixOnlinegames);
    line("names starting otherwise", e.prefixOther);
    line("names ending \".Spy.Trojan\"", e.endingSpyTrojan);
    line("names ending \".PSW.Trojan\"", e.endingPswTrojan);
    line("names ending in another \".Trojan\" form", e.endingOtherTrojan);
    line("names not ending \".Trojan\"", e.endingOther);
    line("longest name (characters)", e.longestName);
    line("records with SizeExact", e.sizeExact);
    line("records with another size rule", e.sizeOtherRule);
    line("smallest expectedSize", e.minSize);
    line("largest expectedSize", e.maxSize);
    line("smallest offset", e.minOffset);
    line("largest offset", e.maxOffset);
    std::fprintf(out, "  %-52s %ld / %ld (%zu records)\n", "most shared offset pair",
                 static_cast<long>(e.sharedPairOffset1), static_cast<long>(e.sharedPairOffset2),
                 e.sharedPairRecords);
    line("records with a zero byte among pattern1's 20 bytes", e.pattern1WithZero);
    line("records with a non-zero 21st pattern byte", e.nonZeroPatternTails);
    std::fprintf(out, "archive table\n");
    line("rows", a.rows);
    line("bytes with terminator", a.bytesWithTerminator);
    line("ends with a 108-byte zero record (1 yes, 0 no)", HasZeroTerminator(archive));
    line("rows with both offsets non-negative (reachable)", a.reachableRows);
    line("rows with a non-zero 21st pattern byte", a.nonZeroPatternTails);
    for (std::size_t i = 0; i < kBagleArchiveRows && i < a.rows; ++i) {
        const SignatureRecord& r = archive[i];
        std::fprintf(
            out, "  row %zu: %-18s offset1 %-6ld offset2 %-6ld expectedSize %-6ld sizeRule %ld\n",
            i, NameOf(r).c_str(), static_cast<long>(r.offset1), static_cast<long>(r.offset2),
            static_cast<long>(r.expectedSize), static_cast<long>(r.sizeRule));
    }
    line("family rows (after the Bagle rows)", a.familyRows);
    line("family rows named \"W32/OnLineGames.\" in any case", a.familyOnLineGamesNames);
    line("family rows with SizeExact", a.familySizeExact);
    line("smallest family expectedSize", a.familyMinSize);
    line("largest family expectedSize", a.familyMaxSize);
    line("family rows copying an executable record", a.familyCopiesOfExecutable);
    line("family rows with a negative offset", a.familyNegativeOffset);
}
