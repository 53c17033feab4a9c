#include "detect/signature_match.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "detect/pe_reader.h"
#include "platform/file_io.h"
#include "tests/support/host_fixture.h"
#include "tests/unit/detect/detect_test_support.h"
#include "tools/samples/archive_sample.h"

namespace {

SignatureRecord SizeOnly(const std::string& name, std::int32_t size, std::int32_t rule) {
    return MakeRecord(name, 0, PatternBytes(1), 0, PatternBytes(2), size, rule);
}

TEST(SizeRule, TableOfRulesAndLengths) {
    struct Case {
        std::int32_t expected, rule;
        std::int64_t length;
        bool holds;
    } cases[] = {
        {21922, SizeNear, 17826, false},
        {21922, SizeNear, 17827, true},
        {21922, SizeNear, 21922, true},
        {21922, SizeNear, 26017, true},
        {21922, SizeNear, 26018, false},
        {33461, SizeExact, 33461, true},
        {33461, SizeExact, 33460, false},
        {33461, SizeExact, 33462, false},
        {22, SizeAny, 0, true},
        {22, SizeAny, 5000000, true},
        {33461, 0, 33461, false},
        {33461, 4, 33461, false},
        {33461, -1, 33461, false},
        // A length a signed 32-bit size cannot hold matches nothing.
        {22, SizeAny, std::int64_t{INT32_MAX} + 1, false},
        {INT32_MAX, SizeNear, std::int64_t{INT32_MAX} + 1, false},
        {22, SizeAny, -1, false},
        {INT32_MAX, SizeExact, INT32_MAX, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SizeRuleHolds(SizeOnly("r", c.expected, c.rule), c.length), c.holds)
            << c.expected << " rule " << c.rule << " length " << c.length;
    }
}

// What the index must reproduce: every record in table order whose size rule holds.
std::vector<std::string> LinearCandidates(const std::vector<SignatureRecord>& table,
                                          std::int64_t length) {
    std::vector<std::string> names;
    for (const SignatureRecord& r : table) {
        if (r.detectionName[0] == '\0') break;
        if (SizeRuleHolds(r, length)) names.emplace_back(r.detectionName);
    }
    return names;
}

TEST(ExecutableTableIndex, OffersCandidatesInTableOrder) {
    auto table = Terminated({
        SizeOnly("e500a", 500, SizeExact),
        SizeOnly("near600", 600, SizeNear),
        SizeOnly("e700", 700, SizeExact),
        SizeOnly("e500b", 500, SizeExact),
        SizeOnly("any", 1, SizeAny),
        SizeOnly("rule0", 500, 0),
        SizeOnly("e500c", 500, SizeExact),
        SizeOnly("rule4", 500, 4),
        SizeOnly("e700b", 700, SizeExact),
        SizeOnly("near9000", 9000, SizeNear),
    });
    ExecutableTableIndex index(table.data());
    EXPECT_EQ(index.RecordCount(), 10u);
    const std::int64_t lengths[] = {
        0, 499, 500, 501, 600, 700, 4695, 4696, 5000, 9000, std::int64_t{INT32_MAX} + 1};
    for (std::int64_t length : lengths) {
        std::vector<std::string> offered;
        const SignatureRecord* found = index.FirstAccepted(length, [&](const SignatureRecord& r) {
            offered.emplace_back(r.detectionName);
            return false;
        });
        EXPECT_EQ(found, nullptr);
        EXPECT_EQ(offered, LinearCandidates(table, length)) << "length " << length;
    }
    // The first accepted record in table order is the result.
    const SignatureRecord* found = index.FirstAccepted(
        500, [](const SignatureRecord& r) { return std::string(r.detectionName) != "e500a"; });
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found->detectionName, "near600");
}

class SignatureWalkTest : public HostDriveTest {
protected:
    platform::ScopedFile OpenPe(const PeSampleSpec& spec) {
        EXPECT_TRUE(WritePeSample(HostPath("pe.exe"), spec));
        platform::ScopedFile file(platform::OpenReadBinary("C:\\pe.exe"));
        EXPECT_EQ(ReadPeSignature(file.Get()), 1);
        EXPECT_EQ(ReadPeSections(file.Get()), 1);
        return file;
    }
    platform::ScopedFile OpenSample(const SampleBytes& bytes) {
        EXPECT_TRUE(WriteSampleFile(HostPath("a.zip"), bytes));
        return platform::ScopedFile(platform::OpenReadBinary("C:\\a.zip"));
    }
};

TEST_F(SignatureWalkTest, PatternWithZeroBytesMatchesOnlyAllTwentyBytes) {
    const Bytes p1 = PatternBytes(7, 3), p2 = PatternBytes(8, 0);
    auto table = Terminated({MakeRecord("zeros", 0x40, p1, -0x20, p2, 0x3000, SizeExact)});
    ExecutableTableIndex index(table.data());

    PeSampleSpec spec = SimplePe(0x3000);
    PutAtEntryOffset(spec, 0x40, p1);
    PutAtEntryOffset(spec, -0x20, p2);
    {
        auto file = OpenPe(spec);
        EXPECT_EQ(FindExecutableRecord(index, file.Get(), 0x3000), table.data());
    }
    // A byte after the embedded zero differs: the comparison went on past the zero.
    Bytes changed = p1;
    changed[19] ^= 0xff;
    PutAtEntryOffset(spec, 0x40, changed);
    auto file = OpenPe(spec);
    EXPECT_EQ(FindExecutableRecord(index, file.Get(), 0x3000), nullptr);
}

TEST_F(SignatureWalkTest, FirstMatchingRecordInTableOrderWins) {
    const Bytes p1 = PatternBytes(1), p2 = PatternBytes(2), other = PatternBytes(9);
    auto table = Terminated({
        MakeRecord("wrong size", 0x10, p1, 0x60, p2, 0x2fff, SizeExact),
        MakeRecord("rule zero", 0x10, p1, 0x60, p2, 0x3000, 0),
        MakeRecord("second pattern differs", 0x10, p1, 0x60, other, 0x3000, SizeExact),
        MakeRecord("first", 0x10, p1, 0x60, p2, 0x3000, SizeExact),
        MakeRecord("later", 0x10, p1, 0x60, p2, 0x3000, SizeExact),
    });
    ExecutableTableIndex index(table.data());
    PeSampleSpec spec = SimplePe(0x3000);
    PutAtEntryOffset(spec, 0x10, p1);
    PutAtEntryOffset(spec, 0x60, p2);
    auto file = OpenPe(spec);
    const SignatureRecord* found = FindExecutableRecord(index, file.Get(), 0x3000);
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found->detectionName, "first");
}

TEST_F(SignatureWalkTest, EntryPointPlusOffsetWrapsAroundThirtyTwoBits) {
    const Bytes p1 = PatternBytes(3), p2 = PatternBytes(4);
    // No sections: the file position is the rva itself.
    PeSampleSpec spec = SimplePe(0x2000);
    spec.sections.clear();
    spec.addressOfEntryPoint = 0xffffff00;
    spec.bytesAt.push_back({0x1000, p1});
    spec.bytesAt.push_back({0x1100, p2});
    auto table = Terminated({
        // Lands far past the end: no match, no crash.
        MakeRecord("unreachable", INT32_MIN, p1, INT32_MAX, p2, 0x2000, SizeExact),
        MakeRecord("wrapped", 0x1100, p1, 0x1200, p2, 0x2000, SizeExact),
    });
    ExecutableTableIndex index(table.data());
    auto file = OpenPe(spec);
    const SignatureRecord* found = FindExecutableRecord(index, file.Get(), 0x2000);
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found->detectionName, "wrapped");
}

// Archive rows: patterns searched in 1024-byte windows at absolute offsets.
TEST_F(SignatureWalkTest, ArchiveWindowPositionsZeroTo1003) {
    const Bytes p1 = PatternBytes(5), p2 = PatternBytes(6);
    auto table = Terminated({MakeRecord("W32/Bagle.C.Worm", 2304, p1, 10944, p2, 22, SizeAny)});
    struct Case {
        std::uint32_t shift1, shift2;
        bool matches;
    } cases[] = {{0, 0, true}, {1003, 1003, true}, {1004, 0, false}, {0, 1004, false}};
    for (const Case& c : cases) {
        auto file =
            OpenSample(BuildPatternFile(16000, {{2304 + c.shift1, p1}, {10944 + c.shift2, p2}}));
        ArchiveWalkResult result = WalkArchiveTable(table.data(), file.Get(), 16000);
        EXPECT_EQ(result.end, c.matches ? ArchiveWalkEnd::Matched : ArchiveWalkEnd::NoMatch)
            << c.shift1 << "/" << c.shift2;
        EXPECT_EQ(result.record, c.matches ? table.data() : nullptr);
    }
}

TEST_F(SignatureWalkTest, ArchiveRowsSkipNegativeOffsetsAndShortWindows) {
    const Bytes p1 = PatternBytes(5), p2 = PatternBytes(6);
    auto table = Terminated({
        MakeRecord("negative", -100, p1, 2000, p2, 5000, SizeExact),
        MakeRecord("window past the end", 1000, p1, 4500, p2, 5000, SizeExact),
        MakeRecord("match", 1000, p1, 2000, p2, 5000, SizeExact),
    });
    auto file = OpenSample(BuildPatternFile(5000, {{1000, p1}, {2000, p2}, {4500, p2}}));
    ArchiveWalkResult result = WalkArchiveTable(table.data(), file.Get(), 5000);
    ASSERT_EQ(result.end, ArchiveWalkEnd::Matched);
    EXPECT_STREQ(result.record->detectionName, "match");
}

TEST_F(SignatureWalkTest, ArchiveWalkEndsAtTheFirstApplicableRowWithoutPk) {
    const Bytes p1 = PatternBytes(5), p2 = PatternBytes(6);
    auto table = Terminated({
        MakeRecord("other size", 1000, p1, 2000, p2, 7000, SizeExact),
        MakeRecord("applies", 1000, p1, 2000, p2, 5000, SizeExact),
    });
    SampleBytes bytes = BuildPatternFile(5000, {{1000, p1}, {2000, p2}});
    bytes[1] = 'Z';
    auto notPk = OpenSample(bytes);
    EXPECT_EQ(WalkArchiveTable(table.data(), notPk.Get(), 5000).end, ArchiveWalkEnd::NotPk);
    // No row applies: the head is never looked at.
    EXPECT_EQ(WalkArchiveTable(table.data(), notPk.Get(), 6000).end, ArchiveWalkEnd::NoMatch);
    auto shortFile = OpenSample({'P'});
    EXPECT_EQ(WalkArchiveTable(table.data(), shortFile.Get(), 5000).end, ArchiveWalkEnd::NotPk);
}

}  // namespace
