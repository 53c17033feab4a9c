#include "tools/samples/pe_sample.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::uint16_t Le16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string TempPath(const char* tag) {
    return std::string("/tmp/quellix-pe-sample-") + tag + "-" + std::to_string(getpid());
}

SignatureRecord MakeRecord(std::int32_t offset1, std::int32_t offset2, std::int32_t size) {
    SignatureRecord r{};
    std::strcpy(r.detectionName, "W32/OnLineGames.Test.PSW.Trojan");
    r.offset1 = offset1;
    r.offset2 = offset2;
    for (int i = 0; i < kPatternCompared; ++i) {
        r.pattern1[i] = static_cast<std::uint8_t>(0x11 * (i + 1));
        r.pattern2[i] = static_cast<std::uint8_t>(0xa0 + i);
    }
    r.pattern1[3] = 0;  // zeros inside a pattern are ordinary bytes
    r.expectedSize = size;
    r.sizeRule = SizeExact;
    return r;
}

// Where the single section of a record sample maps an entry-point-relative offset.
std::uint32_t SectionPosition(const PeSampleSpec& spec, std::int32_t offset) {
    const std::uint32_t rva = spec.addressOfEntryPoint + static_cast<std::uint32_t>(offset);
    const PeSection& s = spec.sections.at(0);
    return rva - s.virtualAddress + s.pointerToRawData;
}

}  // namespace

TEST(PeSample, HeaderLayoutIsPe32WithSectionTableAfterOptionalHeader) {
    PeSampleSpec spec;
    spec.fileSize = 4096;
    spec.peHeaderOffset = 0x100;
    spec.addressOfEntryPoint = 0x2345;
    spec.sizeOfHeaders = 0x400;
    spec.sections = {{0x1000, 0x800, 0x400, 0x600}, {0x2000, 0x300, 0xa00, 0x200}};
    spec.bytesAt = {{0xf00, {1, 2, 3}}, {4095, {9, 9, 9}}};  // the second is cut at the end
    const std::vector<std::uint8_t> img = BuildPeImage(spec);
    ASSERT_EQ(img.size(), 4096u);
    EXPECT_EQ(img[0], 'M');
    EXPECT_EQ(img[1], 'Z');
    EXPECT_EQ(Le32(img, 60), 0x100u);
    EXPECT_EQ(Le32(img, 0x100), 0x00004550u);  // "PE\0\0"
    EXPECT_EQ(Le16(img, 0x100 + 6), 2);        // NumberOfSections
    EXPECT_EQ(Le16(img, 0x100 + 24), 0x10b);
    EXPECT_EQ(Le32(img, 0x100 + 24 + 16), 0x2345u);
    EXPECT_EQ(Le32(img, 0x100 + 24 + 60), 0x400u);
    const std::size_t second = 0x100 + 248 + 40;
    EXPECT_EQ(Le32(img, second + 8), 0x300u);    // VirtualSize
    EXPECT_EQ(Le32(img, second + 12), 0x2000u);  // VirtualAddress
    EXPECT_EQ(Le32(img, second + 16), 0x200u);   // SizeOfRawData
    EXPECT_EQ(Le32(img, second + 20), 0xa00u);   // PointerToRawData
    EXPECT_EQ(img[0xf01], 2);
    EXPECT_EQ(img[4095], 9);

    spec.numberOfSectionsOverride = 21;
    EXPECT_EQ(Le16(BuildPeImage(spec), 0x100 + 6), 21);
}

TEST(PeSample, WrittenFileEqualsImageAndBigFilesStaySparse) {
    const SignatureRecord r = MakeRecord(-5000, 3000, 40000);
    const PeSampleSpec spec = SampleSpecForRecord(r);
    const std::string path = TempPath("small");
    ASSERT_TRUE(WritePeSample(path, spec));
    EXPECT_EQ(ReadAll(path), BuildPeImage(spec));
    std::remove(path.c_str());

    PeSampleSpec big = SampleSpecForRecord(MakeRecord(-1207067, -1200000, 11717034));
    const std::string bigPath = TempPath("big");
    ASSERT_TRUE(WritePeSample(bigPath, big));
    struct stat st {};
    ASSERT_EQ(stat(bigPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 11717034);
    EXPECT_LT(st.st_blocks * 512, 1024 * 1024);  // holes, not 11 MB of zeros
    std::remove(bigPath.c_str());
}

TEST(PeSample, RecordPatternsLandWhereTheEntryPointWalkLooks) {
    struct Case {
        std::int32_t offset1, offset2, size;
    } cases[] = {
        {73943, 105192, 33461},  // the spread nearly fills the file
        {-14218, -7274, 9000},  {-1207067, 1091557 - 1207067 + 50000, 2000000},
        {40, 0, 1600},          {0, 1068, 1600},
    };
    for (const Case& c : cases) {
        const SignatureRecord r = MakeRecord(c.offset1, c.offset2, c.size);
        ASSERT_TRUE(RecordFitsPeSample(r)) << c.offset1 << " " << c.offset2;
        const PeSampleSpec spec = SampleSpecForRecord(r);
        const std::vector<std::uint8_t> img = BuildPeImage(spec);
        ASSERT_EQ(img.size(), static_cast<std::size_t>(c.size));
        ASSERT_EQ(spec.sections.size(), 1u);
        const PeSection& s = spec.sections[0];
        // An ordinary entry point: no wrap-around is needed to reach the patterns.
        EXPECT_GE(spec.addressOfEntryPoint, 0x1000u);
        EXPECT_LT(spec.addressOfEntryPoint, 0x80000000u);
        for (auto [offset, pattern] : {std::pair{c.offset1, r.pattern1}, {c.offset2, r.pattern2}}) {
            const std::uint32_t rva = spec.addressOfEntryPoint + static_cast<std::uint32_t>(offset);
            EXPECT_LT(rva - s.virtualAddress, s.virtualSize);  // inside the one section
            const std::uint32_t at = SectionPosition(spec, offset);
            ASSERT_GE(at, kRecordSampleHeaderRoom);
            ASSERT_LE(at + kPatternCompared, img.size());
            EXPECT_EQ(std::memcmp(&img[at], pattern, kPatternCompared), 0) << offset;
            // Noise, not zeros, just before the pattern.
            if (at > kRecordSampleHeaderRoom + 8) {
                EXPECT_NE(std::memcmp(&img[at - 8], "\0\0\0\0\0\0\0\0", 8), 0);
            }
        }
    }
}

TEST(PeSample, RecordsThatCannotFitAreRecognised) {
    EXPECT_FALSE(RecordFitsPeSample(MakeRecord(0, 1600, 1600)));  // spread beyond the file
    EXPECT_FALSE(RecordFitsPeSample(MakeRecord(0, 10, 4000)));    // overlap with other bytes
    SignatureRecord near = MakeRecord(0, 100, 4000);
    near.sizeRule = SizeNear;
    EXPECT_FALSE(RecordFitsPeSample(near));
}
