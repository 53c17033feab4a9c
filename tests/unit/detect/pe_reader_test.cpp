#include "detect/pe_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "platform/file_io.h"
#include "tests/support/host_fixture.h"
#include "tests/unit/detect/detect_test_support.h"

namespace {

class PeReaderTest : public HostDriveTest {
protected:
    // Writes the sample as C:\pe.exe and opens it through the seam.
    platform::ScopedFile Open(const PeSampleSpec& spec) {
        EXPECT_TRUE(WritePeSample(HostPath("pe.exe"), spec));
        return platform::ScopedFile(platform::OpenReadBinary("C:\\pe.exe"));
    }
    platform::ScopedFile OpenBytes(const std::string& bytes) {
        WriteFile("raw.bin", bytes);
        return platform::ScopedFile(platform::OpenReadBinary("C:\\raw.bin"));
    }
};

PeSampleSpec WithSections(int count) {
    PeSampleSpec spec;
    spec.fileSize = 0x4000;
    for (int i = 0; i < count; ++i) {
        std::uint32_t at = 0x1000 + 0x100 * i;
        spec.sections.push_back({at, 0x100, 0x400 + 0x100u * i, 0x100});
    }
    return spec;
}

TEST_F(PeReaderTest, ReadsHeadersAndSectionsOfAPeFile) {
    PeSampleSpec spec = WithSections(3);
    spec.addressOfEntryPoint = 0x1234;
    spec.sizeOfHeaders = 0x400;
    auto file = Open(spec);
    ASSERT_TRUE(file.IsOpen());
    ASSERT_EQ(ReadPeSignature(file.Get()), 1);
    EXPECT_EQ(PeHeaderView.headerOffset, 0x80);
    EXPECT_EQ(PeHeaderView.NumberOfSections(), 3);
    ASSERT_EQ(ReadPeSections(file.Get()), 1);
    EXPECT_EQ(PeHeaderView.AddressOfEntryPoint(), 0x1234u);
    EXPECT_EQ(PeHeaderView.SizeOfHeaders(), 0x400u);
    EXPECT_EQ(PeHeaderView.SectionVirtualAddress(2), 0x1200u);
    EXPECT_EQ(PeHeaderView.SectionVirtualSize(2), 0x100u);
    EXPECT_EQ(PeHeaderView.SectionPointerToRawData(2), 0x600u);
}

TEST_F(PeReaderTest, HeaderOffsetIsReadAsSixteenBits) {
    // e_lfanew 0x10080 with the real header there: the reader looks at 0x80 and finds no "PE".
    PeSampleSpec far = WithSections(1);
    far.fileSize = 0x12000;
    far.peHeaderOffset = 0x10080;
    auto farFile = Open(far);
    EXPECT_EQ(ReadPeSignature(farFile.Get()), 0);

    // The same high half over a header at 0x80 is read as 0x80.
    PeSampleSpec near = WithSections(1);
    near.bytesAt.push_back({60, {0x80, 0x00, 0x01, 0x00}});
    auto nearFile = Open(near);
    EXPECT_EQ(ReadPeSignature(nearFile.Get()), 1);
    EXPECT_EQ(PeHeaderView.headerOffset, 0x80);
}

TEST_F(PeReaderTest, RejectsFilesThatAreNotWholePeHeaders) {
    std::string mz(64, '\0');
    mz[0] = 'M';
    mz[1] = 'Z';
    auto withOffset = [&](std::uint16_t offset, const std::string& tail) {
        std::string s = mz;
        s[60] = static_cast<char>(offset & 0xff);
        s[61] = static_cast<char>(offset >> 8);
        return s + tail;
    };
    const std::string fileHeader(20, '\x01');
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty file", ""},
        {"cut inside the offset field", mz.substr(0, 61)},
        {"offset past the end", withOffset(0x4000, std::string("PE\0\0", 4) + fileHeader)},
        {"wrong signature", withOffset(64, std::string("PE\0\1", 4) + fileHeader)},
        {"file header cut short",
         withOffset(64, std::string("PE\0\0", 4) + fileHeader.substr(0, 19))},
    };
    for (const Case& c : cases) {
        auto file = OpenBytes(c.bytes);
        ASSERT_TRUE(file.IsOpen()) << c.what;
        EXPECT_EQ(ReadPeSignature(file.Get()), 0) << c.what;
    }
    // The "MZ" mark is not tested.
    auto noMz =
        OpenBytes(withOffset(64, std::string("PE\0\0", 4) + fileHeader).replace(0, 2, "ab"));
    EXPECT_EQ(ReadPeSignature(noMz.Get()), 1);
}

TEST_F(PeReaderTest, SectionCountIsCappedAtTwenty) {
    struct Case {
        int sections;
        std::optional<std::uint16_t> countField;
        int expected;
    } cases[] = {{0, {}, 1}, {20, {}, 1}, {21, {}, 0}, {2, 0xFFFF, 0}};
    for (const Case& c : cases) {
        PeSampleSpec spec = WithSections(c.sections);
        spec.numberOfSectionsOverride = c.countField;
        auto file = Open(spec);
        ASSERT_EQ(ReadPeSignature(file.Get()), 1) << c.sections;
        EXPECT_EQ(ReadPeSections(file.Get()), c.expected) << c.sections;
    }
}

TEST_F(PeReaderTest, SectionTableOrOptionalHeaderCutShortFails) {
    // Three sections claimed, the file ends inside the third header.
    PeSampleSpec cut = WithSections(3);
    cut.fileSize = 0x80 + 248 + 2 * 40 + 39;
    auto cutFile = Open(cut);
    ASSERT_EQ(ReadPeSignature(cutFile.Get()), 1);
    EXPECT_EQ(ReadPeSections(cutFile.Get()), 0);

    PeSampleSpec noOptional = WithSections(0);
    noOptional.fileSize = 0x80 + 24 + 95;
    auto noOptionalFile = Open(noOptional);
    ASSERT_EQ(ReadPeSignature(noOptionalFile.Get()), 1);
    EXPECT_EQ(ReadPeSections(noOptionalFile.Get()), 0);
}

TEST_F(PeReaderTest, SectionArrayIsZeroedBeforeEachRead) {
    auto three = Open(WithSections(3));
    ASSERT_EQ(ReadPeSignature(three.Get()), 1);
    ASSERT_EQ(ReadPeSections(three.Get()), 1);
    ASSERT_NE(PeHeaderView.SectionVirtualAddress(2), 0u);
    three.Close();

    auto one = Open(WithSections(1));
    ASSERT_EQ(ReadPeSignature(one.Get()), 1);
    ASSERT_EQ(ReadPeSections(one.Get()), 1);
    EXPECT_EQ(PeHeaderView.SectionVirtualAddress(1), 0u);
    EXPECT_EQ(PeHeaderView.SectionVirtualAddress(2), 0u);
    EXPECT_EQ(PeHeaderView.SectionPointerToRawData(2), 0u);
}

TEST_F(PeReaderTest, FileThatShrinksBetweenReadsFailsCleanly) {
    auto file = Open(WithSections(2));
    ASSERT_EQ(ReadPeSignature(file.Get()), 1);
    ASSERT_EQ(truncate(HostPath("pe.exe").c_str(), 0x90), 0);
    EXPECT_EQ(ReadPeSections(file.Get()), 0);
}

TEST_F(PeReaderTest, RvaToFileOffsetFollowsTheSectionsAndItsFallbacks) {
    PeSampleSpec spec;
    spec.fileSize = 0x3000;
    spec.sizeOfHeaders = 0x200;
    spec.sections = {{0x1000, 0x1000, 0x400, 0x1000}, {0x2000, 0x800, 0x1400, 0x800}};
    auto file = Open(spec);
    ASSERT_EQ(ReadPeSignature(file.Get()), 1);
    ASSERT_EQ(ReadPeSections(file.Get()), 1);
    struct Case {
        const char* what;
        std::uint32_t rva, expected;
    } cases[] = {
        {"inside the first section", 0x1010, 0x410},
        {"inside the second section", 0x2100, 0x1500},
        {"below the first section: its start is not tested, the wrap lands past the end", 0x0500,
         0x0500},
        {"beyond every section uses the last one", 0x2900, 0x1d00},
        {"last byte of the file", 0x3bff, 0x2fff},
        {"exactly the file length yields the rva", 0x3c00, 0x3c00},
        {"past the end yields the rva", 0x3f00, 0x3f00},
        {"a result of 0 yields SizeOfHeaders", 0x0c00, 0x200},
        {"rva 0 wraps past the end, gives 0, then SizeOfHeaders", 0x0000, 0x200},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RvaToFileOffset(c.rva, 0x3000), c.expected) << c.what;
    }
    // An unknown length (-1) puts every position past the end.
    EXPECT_EQ(RvaToFileOffset(0x1010, -1), 0x1010u);
}

TEST_F(PeReaderTest, RvaToFileOffsetWithoutSectionsOrLength) {
    auto file = Open(WithSections(0));
    ASSERT_EQ(ReadPeSignature(file.Get()), 1);
    ASSERT_EQ(ReadPeSections(file.Get()), 1);
    const std::int64_t length = platform::FileLength(file.Get());
    EXPECT_EQ(RvaToFileOffset(0x1234, length), 0x1234u);  // the zeroed first entry
    EXPECT_EQ(RvaToFileOffset(0, length), 0x200u);
    EXPECT_EQ(RvaToFileOffset(0x5000, length), 0x5000u);  // past the end

    // An unknown length counts as past the end: the rva itself.
    EXPECT_EQ(RvaToFileOffset(0x1234, -1), 0x1234u);
}

}  // namespace
