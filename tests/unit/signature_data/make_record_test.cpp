// Making a record from a sample PE: the record must detect its sample
// through the scanner, with offsets chosen or given.
#include "tools/sigtool/make_record.h"

#include <gtest/gtest.h>

#include <cstring>

#include "detect/executable_scanner.h"
#include "tests/support/host_fixture.h"
#include "tools/samples/pe_sample.h"

namespace {

// A PE with two sections whose raw data is noise; the entry point lies in the first.
PeSampleSpec NoisyPe() {
    PeSampleSpec spec;
    spec.fileSize = 0x6000;
    spec.sizeOfHeaders = 0x400;
    spec.sections = {{0x1000, 0x3000, 0x400, 0x3000}, {0x4000, 0x2000, 0x3400, 0x2c00}};
    spec.addressOfEntryPoint = 0x1800;
    spec.noiseRanges = {{0x400, 0x5c00}};
    spec.noiseSeed = 7;
    return spec;
}

class MakeRecordTest : public HostDriveTest {
protected:
    // Scans C:\sample.exe against a table holding only `record`.
    int ScanWithOnly(const SignatureRecord& record) {
        const SignatureRecord table[2] = {record, SignatureRecord{}};
        const SignatureRecord noArchive[1] = {SignatureRecord{}};
        const ExecutableTableIndex index(table);
        ScannedFile file("C:\\sample.exe");
        return ScanFileWithTables({&index, noArchive}, "W32/Bagle.Worm", file);
    }
};

}  // namespace

TEST_F(MakeRecordTest, ChosenOffsetsLieInTheFirstSectionAndDetectTheSample) {
    const PeSampleSpec spec = NoisyPe();
    ASSERT_TRUE(WritePeSample(HostPath("sample.exe"), spec));
    MakeRecordRequest request;
    request.samplePath = HostPath("sample.exe");
    request.name = "W32/OnLineGames.Made.PSW.Trojan";
    SignatureRecord r;
    std::string error;
    ASSERT_TRUE(MakeRecordFromSample(request, r, error)) << error;
    EXPECT_STREQ(r.detectionName, "W32/OnLineGames.Made.PSW.Trojan");
    EXPECT_EQ(std::int32_t{r.expectedSize}, 0x6000);
    EXPECT_EQ(std::int32_t{r.sizeRule}, SizeExact);
    const std::vector<std::uint8_t> image = BuildPeImage(spec);
    const std::int32_t offset1 = r.offset1, offset2 = r.offset2;  // packed fields: copy
    for (auto [offset, pattern] : {std::pair{offset1, r.pattern1}, {offset2, r.pattern2}}) {
        const std::uint32_t rva = spec.addressOfEntryPoint + offset;
        ASSERT_GE(rva, 0x1000u);
        ASSERT_LT(rva, 0x4000u - kPatternCompared);
        EXPECT_EQ(std::memcmp(pattern, &image[rva - 0x1000 + 0x400], kPatternCompared), 0);
        EXPECT_EQ(pattern[kPatternCompared], 0);
    }
    EXPECT_GE(offset2 - offset1, kPatternCompared);

    EXPECT_EQ(ScanWithOnly(r), 1);
    EXPECT_EQ(lines, std::vector<std::string>{
                         "C:\\sample.exe     W32/OnLineGames.Made.PSW.Trojan removed"});
}

TEST_F(MakeRecordTest, GivenOffsetsMayReachAnySectionAndRulesCarryOver) {
    const PeSampleSpec spec = NoisyPe();
    ASSERT_TRUE(WritePeSample(HostPath("sample.exe"), spec));
    MakeRecordRequest request;
    request.samplePath = HostPath("sample.exe");
    request.name = "W32/OnlineGames.Two.Trojan";
    request.sizeRule = SizeNear;
    request.offsetsGiven = true;
    request.offset1 = -0x700;  // rva 0x1100, first section
    request.offset2 = 0x3000;  // rva 0x4800, second section
    SignatureRecord r;
    std::string error;
    ASSERT_TRUE(MakeRecordFromSample(request, r, error)) << error;
    const std::vector<std::uint8_t> image = BuildPeImage(spec);
    EXPECT_EQ(std::memcmp(r.pattern1, &image[0x500], kPatternCompared), 0);
    EXPECT_EQ(std::memcmp(r.pattern2, &image[0x3c00], kPatternCompared), 0);
    EXPECT_EQ(std::int32_t{r.sizeRule}, SizeNear);
    EXPECT_EQ(ScanWithOnly(r), 1);
}

TEST_F(MakeRecordTest, RefusesWhatCannotBecomeAWorkingRecord) {
    ASSERT_TRUE(WritePeSample(HostPath("sample.exe"), NoisyPe()));
    WriteFile("notes.txt", "MZ but nothing more");
    struct Case {
        const char* file;
        const char* name;
        std::int32_t rule;
        bool offsets;
        std::int32_t offset1, offset2;
        const char* reason;
    } const cases[] = {
        {"notes.txt", "W32/X", SizeExact, false, 0, 0, "not a PE file"},
        {"missing.exe", "W32/X", SizeExact, false, 0, 0, "cannot open"},
        {"sample.exe", "W32/X", SizeExact, true, 0, 0x100000, "outside the file"},
        {"sample.exe", "W32/X", 4, false, 0, 0, "size-rule"},
        {"sample.exe", "W32/Name With Space", SizeExact, false, 0, 0, "space"},
        {"sample.exe", "#W32/X", SizeExact, false, 0, 0, "comment"},
        {"sample.exe", "W32/OnLineGames.Far.Too.Long.Name.For.The.Fifty.Byte.Field", SizeExact,
         false, 0, 0, "1 to 49"},
    };
    for (const Case& c : cases) {
        MakeRecordRequest request;
        request.samplePath = HostPath(c.file);
        request.name = c.name;
        request.sizeRule = c.rule;
        request.offsetsGiven = c.offsets;
        request.offset1 = c.offset1;
        request.offset2 = c.offset2;
        SignatureRecord r;
        std::string error;
        EXPECT_FALSE(MakeRecordFromSample(request, r, error)) << c.file << " " << c.name;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
}
