// The compiled-in tables against the figures published for them, the text
// sources they were built from, and the generator that wrote those sources.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "detect/signature_record.h"
#include "tools/sigtool/signature_generator.h"
#include "tools/sigtool/signature_text.h"
#include "tools/sigtool/table_stats.h"

namespace {

std::vector<SignatureRecord> ReadSource(const char* file) {
    std::vector<SignatureRecord> records;
    std::string error;
    EXPECT_TRUE(ReadSignatureText(std::string(QX_SIGNATURE_DATA_DIR) + "/" + file, records, error))
        << error;
    return records;
}

void ExpectSameRecords(const SignatureRecord* table, const std::vector<SignatureRecord>& records) {
    ASSERT_EQ(CountRecords(table), records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        ASSERT_EQ(std::memcmp(&table[i], &records[i], sizeof(SignatureRecord)), 0)
            << "record " << i;
    }
}

}  // namespace

TEST(SignatureTables, ExecutableTableHasThePublishedFigures) {
    const ExecutableTableStats s = ComputeExecutableStats(ExecutableSignatureTable);
    EXPECT_EQ(s.records, 4341u);
    EXPECT_EQ(s.bytesWithTerminator, 468936u);
    EXPECT_TRUE(HasZeroTerminator(ExecutableSignatureTable));
    EXPECT_EQ(s.distinctNames, 3173u);
    EXPECT_EQ(s.nameRuns, 3957u);
    EXPECT_EQ(s.prefixOnLineGames, 3916u);
    EXPECT_EQ(s.prefixOnlineGames, 388u);
    EXPECT_EQ(s.prefixOnlinegames, 37u);
    EXPECT_EQ(s.prefixOther, 0u);
    EXPECT_EQ(s.endingSpyTrojan, 2742u);
    EXPECT_EQ(s.endingPswTrojan, 913u);
    EXPECT_EQ(s.endingOtherTrojan, 682u);
    EXPECT_EQ(s.endingOther, 4u);
    EXPECT_EQ(s.longestName, 38u);
    EXPECT_EQ(s.sizeExact, 4341u);
    EXPECT_EQ(s.minSize, 1600);
    EXPECT_EQ(s.maxSize, 11717034);
    EXPECT_EQ(s.minOffset, -1207067);
    EXPECT_EQ(s.maxOffset, 1091557);
    EXPECT_EQ(CountOffsetPair(ExecutableSignatureTable, -14218, -7274), 67u);
    EXPECT_EQ(s.sharedPairOffset1, -14218);  // and no pair is shared more
    EXPECT_EQ(s.sharedPairOffset2, -7274);
    EXPECT_EQ(s.pattern1WithZero, 1900u);
    EXPECT_EQ(s.nonZeroPatternTails, 0u);
}

TEST(SignatureTables, ArchiveTableHasThePublishedRowsAndFigures) {
    const ArchiveTableStats s =
        ComputeArchiveStats(ArchiveSignatureTable, ExecutableSignatureTable);
    EXPECT_EQ(s.rows, 60u);
    EXPECT_EQ(s.bytesWithTerminator, 6588u);
    EXPECT_TRUE(HasZeroTerminator(ArchiveSignatureTable));
    EXPECT_EQ(s.nonZeroPatternTails, 0u);
    EXPECT_EQ(s.familyRows, 51u);
    EXPECT_EQ(s.familyOnLineGamesNames, 51u);
    EXPECT_EQ(s.familySizeExact, 51u);
    EXPECT_EQ(s.familyMinSize, 26174);
    EXPECT_EQ(s.familyMaxSize, 184896);
    EXPECT_EQ(s.familyCopiesOfExecutable, 12u);
    EXPECT_EQ(s.familyNegativeOffset, 46u);

    struct Row {
        const char* name;
        std::int32_t offset1, offset2, expectedSize, sizeRule;
    } const bagle[] = {
        {"W32/Bagle.C.Worm", 2304, 10944, 22, 3},   {"W32/Bagle.D.Worm", 2560, 11264, 22, 3},
        {"W32/Bagle.E.Worm", 3840, 12544, 22, 3},   {"W32/Bagle.F.Worm", 5888, 17408, 22, 3},
        {"W32/Bagle.F.Worm", 6144, 14848, 22, 3},   {"W32/Bagle.H.Worm", 3072, 12032, 22, 3},
        {"W32/Bagle.J.Worm", 816, 1536, 22, 3},     {"W32/Bagle.N.Worm", 800, 18128, 21922, 2},
        {"W32/Bagle.O.Worm", 832, 18176, 44444, 2},
    };
    for (std::size_t i = 0; i < std::size(bagle); ++i) {
        const SignatureRecord& r = ArchiveSignatureTable[i];
        SCOPED_TRACE(i);
        char name[kDetectionNameSize] = {};
        std::strcpy(name, bagle[i].name);
        EXPECT_EQ(std::memcmp(r.detectionName, name, kDetectionNameSize), 0);  // NUL-padded
        EXPECT_EQ(std::int32_t{r.offset1}, bagle[i].offset1);
        EXPECT_EQ(std::int32_t{r.offset2}, bagle[i].offset2);
        EXPECT_EQ(std::int32_t{r.expectedSize}, bagle[i].expectedSize);
        EXPECT_EQ(std::int32_t{r.sizeRule}, bagle[i].sizeRule);
    }
}

TEST(SignatureTables, PublishedExecutableRowStandsByteForByte) {
    std::uint8_t expected[108] = {};
    std::memcpy(expected, "W32/OnLineGames.Iqw.PSW.Trojan", 30);
    const std::uint8_t tail[] = {
        0xd7, 0x20, 0x01, 0x00,  // offset1 73943
        0x43, 0x9b, 0x41, 0x17, 0xf4, 0xdf, 0x3b, 0x33, 0xeb, 0x75, 0xe2, 0xd6, 0xf0, 0xc5, 0xe8,
        0x56, 0xca, 0x2b, 0x84, 0x9f, 0x00, 0xe8, 0x9a, 0x01, 0x00,  // offset2 105192
        0xc0, 0xdc, 0x98, 0x62, 0xe4, 0x77, 0x00, 0x7a, 0x33, 0xf2, 0xec, 0xd9, 0x9a, 0x62, 0x26,
        0x17, 0x19, 0x61, 0x5a, 0xec, 0x00, 0xb5, 0x82, 0x00, 0x00,  // expectedSize
                                                                     // 33461
        0x01, 0x00, 0x00, 0x00,                                      // sizeRule 1
    };
    static_assert(50 + sizeof tail == 108);
    std::memcpy(expected + 50, tail, sizeof tail);
    std::size_t found = 0;
    for (const SignatureRecord* r = ExecutableSignatureTable; r->detectionName[0] != 0; ++r) {
        if (std::memcmp(r, expected, sizeof expected) == 0) ++found;
    }
    EXPECT_EQ(found, 1u);
}

TEST(SignatureTables, CompiledTablesAreTheTextSources) {
    ExpectSameRecords(ExecutableSignatureTable, ReadSource("executable_signatures.txt"));
    ExpectSameRecords(ArchiveSignatureTable, ReadSource("archive_signatures.txt"));
}

TEST(SignatureTables, TextSourcesAreWhatTheSeededGeneratorWrites) {
    SignatureSets sets;
    std::string error;
    ASSERT_TRUE(GenerateSignatureSets(kShippedSignatureSeed, sets, error)) << error;
    const std::vector<SignatureRecord> exec = ReadSource("executable_signatures.txt");
    const std::vector<SignatureRecord> arch = ReadSource("archive_signatures.txt");
    ASSERT_EQ(sets.executable.size(), exec.size());
    ASSERT_EQ(sets.archive.size(), arch.size());
    EXPECT_EQ(std::memcmp(sets.executable.data(), exec.data(), exec.size() * sizeof exec[0]), 0);
    EXPECT_EQ(std::memcmp(sets.archive.data(), arch.data(), arch.size() * sizeof arch[0]), 0);
}

TEST(SignatureTables, GeneratorMeetsEveryFigureWithOtherSeedsToo) {
    // The generator checks its own output; other seeds must pass the same checks
    // and give other patterns.
    for (std::uint64_t seed : {1ull, 0xdeadbeefull}) {
        SignatureSets sets;
        std::string error;
        EXPECT_TRUE(GenerateSignatureSets(seed, sets, error)) << seed << ": " << error;
        EXPECT_EQ(sets.executable.size(), 4341u);
        EXPECT_NE(std::memcmp(sets.executable[0].pattern1, ExecutableSignatureTable[0].pattern1,
                              kPatternCompared),
                  0);
    }
}

TEST(SignatureTables, StatsPrintEveryFigureOneALine) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    PrintTableStats(out, ExecutableSignatureTable, ArchiveSignatureTable);
    std::rewind(out);
    std::string text;
    char buf[512];
    while (std::fgets(buf, sizeof buf, out)) text += buf;
    std::fclose(out);
    const char* const figures[] = {
        "records                                              4341\n",
        "distinct names                                       3173\n",
        "runs of equal names                                  3957\n",
        "names starting \"W32/OnlineGames.\"                    388\n",
        "names not ending \".Trojan\"                           4\n",
        "most shared offset pair                              -14218 / -7274 (67 records)\n",
        "records with a zero byte among pattern1's 20 bytes   1900\n",
        "row 8: W32/Bagle.O.Worm   offset1 832    offset2 18176  expectedSize 44444  sizeRule 2\n",
        "family rows with a negative offset                   46\n",
    };
    for (const char* figure : figures) {
        EXPECT_NE(text.find(figure), std::string::npos) << figure << "in:\n" << text;
    }
}
