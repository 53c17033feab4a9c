#include "detect/variant_verifiers.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/file_io.h"
#include "tests/support/host_fixture.h"
#include "tools/samples/archive_sample.h"

namespace {

// One character per verifier, in list order (ZIP H K J N O, RAR N O, ZIP Aa):
// '1' accepts, '0' rejects.
std::string Verdicts(int fd) {
    std::string out;
    for (const VariantVerifier& v : VariantVerifierList) out += v.verify(fd) ? '1' : '0';
    return out;
}

class VerifierTest : public HostDriveTest {
protected:
    std::string Judge(const SampleBytes& bytes) {
        EXPECT_TRUE(WriteSampleFile(HostPath("a.zip"), bytes));
        platform::ScopedFile file(platform::OpenReadBinary("C:\\a.zip"));
        EXPECT_TRUE(file.IsOpen());
        return Verdicts(file.Get());
    }
};

ZipSampleSpec Zip(std::uint32_t uncompressed, std::uint32_t compressed, std::uint16_t method = 0) {
    ZipSampleSpec spec;
    spec.uncompressedSize = uncompressed;
    spec.compressedSize = compressed;
    spec.method = method;
    return spec;
}

TEST(VerifierList, OrderNamesAndExtensions) {
    const char* names[] = {"W32/Bagle.H.Worm", "W32/Bagle.K.Worm", "W32/Bagle.J.Worm",
                           "W32/Bagle.N.Worm", "W32/Bagle.O.Worm", "W32/Bagle.N.Worm",
                           "W32/Bagle.O.Worm", "W32/Bagle.Aa.Worm"};
    int (*verifiers[])(FileBytes) = {VerifyZipBagleH, VerifyZipBagleK, VerifyZipBagleJ,
                                     VerifyZipBagleN, VerifyZipBagleO, VerifyRarBagleN,
                                     VerifyRarBagleO, VerifyZipBagleAa};
    for (int i = 0; i < kVariantVerifierCount; ++i) {
        EXPECT_EQ(VariantVerifierList[i].verify, verifiers[i]) << i;
        EXPECT_STREQ(VariantVerifierList[i].detectionName, names[i]) << i;
    }
    const char* extensions[] = {"EXE", "SCR", "COM", "BAT", "PIF"};
    for (int i = 0; i < kArchiveExtensionCount; ++i) {
        EXPECT_STREQ(ArchiveExtensionList[i], extensions[i]);
    }
}

TEST_F(VerifierTest, ZipCases) {
    auto named = [](std::string name) {
        ZipSampleSpec s = Zip(20000, 20012);
        s.name = std::move(name);
        return s;
    };
    auto with = [](ZipSampleSpec s, auto change) {
        change(s);
        return s;
    };
    struct Case {
        const char* what;
        ZipSampleSpec spec;
        const char* verdicts;
    } cases[] = {
        {"readme.exe, stored, 20000 in 20012", Zip(20000, 20012), "10010001"},
        {"compressed 20013: no size relation for N and Aa", Zip(20000, 20013), "00010001"},
        {"readme.txt", named("readme.txt"), "00000000"},
        {"README.Exe", named("README.Exe"), "10010001"},
        {"no dot", named("readme"), "10010001"},
        {"last dot decides", named("a.txt.scr"), "10010001"},
        {"com", named("x.com"), "10010001"},
        {"bat", named("x.bat"), "10010001"},
        {"pif", named("x.PIF"), "10010001"},
        {"empty extension", named("readme."), "00000000"},
        {"not encrypted", with(Zip(20000, 20012), [](auto& s) { s.flags = 0; }), "00000000"},
        {"uncompressed 19455", Zip(19455, 19467), "00100001"},
        {"uncompressed 25601", Zip(25601, 25613), "00000001"},
        {"J's bounds 17408", Zip(17408, 17420), "00100001"},
        {"K's bounds 11264", Zip(11264, 11276), "01000000"},
        {"K's bounds 15360", Zip(15360, 15372), "01000000"},
        {"deflated: mask 0x06 lets 8 pass", Zip(20000, 19000, 8), "00010001"},
        {"method 6 fails the mask", Zip(20000, 20012, 6), "00000000"},
        {"method 0x100: low byte clear", Zip(20000, 20012, 0x100), "00010001"},
        {"O's range 43008", Zip(43008, 30000, 8), "00001000"},
        {"O's range 48128", Zip(48128, 30000, 8), "00001000"},
        {"O above 48128", Zip(48129, 30000, 8), "00000000"},
        {"Aa 30720", Zip(30720, 20000, 8), "00000001"},
        {"Aa 30721", Zip(30721, 20000, 8), "00000000"},
        {"Aa 66559", Zip(66559, 20000, 8), "00000000"},
        {"Aa 66560", Zip(66560, 20000, 8), "00000001"},
        {"Aa 74752", Zip(74752, 20000, 8), "00000001"},
        {"end record counts 2 entries",
         with(Zip(20000, 20012), [](auto& s) { s.totalEntries = 2; }), "00000000"},
        {"end record counts 2 on this disk",
         with(Zip(20000, 20012), [](auto& s) { s.entriesOnDisk = 2; }), "00000000"},
        {"cut off after the first entry's data",
         with(Zip(20000, 20012), [](auto& s) { s.cutAfterData = true; }), "10010001"},
        {"central header but no end record",
         with(Zip(20000, 20012), [](auto& s) { s.endRecord = false; }), "00000000"},
        {"extra field, central extra and comment are skipped",
         with(Zip(20000, 20012),
              [](auto& s) {
                  s.extraLength = 28;
                  s.centralExtraLength = 9;
                  s.centralCommentLength = 17;
              }),
         "10010001"},
        {"name length 0xFFFF: the name is not read",
         with(named("readme.txt"), [](auto& s) { s.nameLengthField = 0xFFFF; }), "10010001"},
        {"name length 299 runs past the end of the file",
         with(named("readme.exe"),
              [](auto& s) {
                  s.nameLengthField = 299;
                  s.dataLength = 0;
                  s.cutAfterData = true;
              }),
         "00000000"},
        {"name of 299 characters", named(std::string(295, 'n') + ".exe"), "10010001"},
        {"name of 300 characters is not read", named(std::string(296, 'n') + ".txt"), "10010001"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Judge(BuildZipSample(c.spec)), c.verdicts) << c.what;
    }
}

TEST_F(VerifierTest, RarCases) {
    auto with = [](auto change) {
        RarSampleSpec s;
        change(s);
        return s;
    };
    struct Case {
        const char* what;
        RarSampleSpec spec;
        const char* verdicts;
    } cases[] = {
        {"stored, encrypted, 20000 in 20016", RarSampleSpec{}, "00000100"},
        {"METHOD 0x33", with([](auto& s) { s.method = 0x33; }), "00000000"},
        {"not encrypted", with([](auto& s) { s.fileFlags = 0x8000; }), "00000000"},
        {"UNP_SIZE above PACK_SIZE", with([](auto& s) { s.packSize = 19999; }), "00000000"},
        {"UNP_SIZE equal to PACK_SIZE", with([](auto& s) { s.packSize = 20000; }), "00000100"},
        {"N's bounds 19456", with([](auto& s) { s.unpSize = 19456; }), "00000100"},
        {"N's bounds 25601", with([](auto& s) {
             s.unpSize = 25601;
             s.packSize = 25617;
         }),
         "00000000"},
        {"O", with([](auto& s) {
             s.unpSize = 45000;
             s.packSize = 45016;
         }),
         "00000010"},
        {"readme.txt", with([](auto& s) { s.name = "readme.txt"; }), "00000000"},
        {"README.SCR", with([](auto& s) { s.name = "README.SCR"; }), "00000100"},
        {"NAME_SIZE 300: accepted unread", with([](auto& s) {
             s.name = "readme.txt";
             s.nameSizeField = 300;
         }),
         "00000100"},
        {"marker HEAD_SIZE 20", with([](auto& s) { s.markerHeadSize = 20; }), "00000100"},
        {"archive HEAD_SIZE 40", with([](auto& s) { s.archiveHeadSize = 40; }), "00000100"},
        {"marker HEAD_SIZE 0", with([](auto& s) { s.markerHeadSize = 0; }), "00000000"},
        {"archive HEAD_SIZE 0", with([](auto& s) { s.archiveHeadSize = 0; }), "00000000"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Judge(BuildRarSample(c.spec)), c.verdicts) << c.what;
    }
}

TEST_F(VerifierTest, RarHeadSizePastTheEndIsRejected) {
    RarSampleSpec farArchive, farFile;
    farArchive.markerHeadSize = 0xFFFF;
    farFile.archiveHeadSize = 0xFFFF;
    for (const RarSampleSpec& spec : {farArchive, farFile}) {
        SampleBytes bytes = BuildRarSample(spec);
        // Whole, the blocks stand where the sizes say and the archive is accepted.
        EXPECT_EQ(Judge(bytes), "00000100");
        bytes.resize(0x8000);
        EXPECT_EQ(Judge(bytes), "00000000");
    }
}

TEST_F(VerifierTest, ShortFilesAreRejectedByEveryMember) {
    SampleBytes zip = BuildZipSample(Zip(20000, 20012));
    SampleBytes rar = BuildRarSample(RarSampleSpec{});
    EXPECT_EQ(Judge(SampleBytes(zip.begin(), zip.begin() + 29)), "00000000");
    EXPECT_EQ(Judge(SampleBytes(rar.begin(), rar.begin() + 6)), "00000000");
    EXPECT_EQ(Judge({}), "00000000");
}

// One character per verifier, as Verdicts: '1' when its head test lets the
// file's first 40 bytes (or fewer, as one read gives them) through.
std::string HeadVerdicts(const SampleBytes& bytes) {
    std::string out;
    for (const VariantVerifier& v : VariantVerifierList)
        out += v.headMayPass(bytes.data(), bytes.size() < 40 ? bytes.size() : 40) ? '1' : '0';
    return out;
}

// The scanner asks only the members whose head test passes: a member whose
// test fails rejects the file, and every member that accepts passes it.
TEST_F(VerifierTest, HeadTestsTurnAwayOnlyFilesTheirMembersReject) {
    SampleBytes zip = BuildZipSample(Zip(20000, 20012));
    SampleBytes rar = BuildRarSample(RarSampleSpec{});
    SampleBytes notEncrypted = zip;
    notEncrypted[6] = 0;
    SampleBytes pkText = zip;
    pkText[0] = 'p';
    SampleBytes raR = rar;
    raR[2] = 'R';
    SampleBytes deflated = BuildZipSample(Zip(20000, 20012, 8));
    SampleBytes big = BuildZipSample(Zip(45000, 45012));
    struct Case {
        SampleBytes bytes;
        const char* heads;
        const char* verdicts;
    };
    const Case cases[] = {
        {zip, "10010001", "10010001"},
        {rar, "00000110", "00000100"},
        {big, "00001000", "00001000"},
        {deflated, "00010001", "00010001"},
        {notEncrypted, "00000000", "00000000"},
        {pkText, "00000000", "00000000"},
        {raR, "00000000", "00000000"},
        {SampleBytes(zip.begin(), zip.begin() + 29), "00000000", "00000000"},
        {SampleBytes(zip.begin(), zip.begin() + 30), "10010001", "00000000"},  // no name
        {SampleBytes(rar.begin(), rar.begin() + 6), "00000000", "00000000"},
        {{}, "00000000", "00000000"},
        {SampleBytes(4000, 'M'), "00000000", "00000000"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HeadVerdicts(c.bytes), c.heads) << c.bytes.size();
        EXPECT_EQ(Judge(c.bytes), c.verdicts) << c.bytes.size();
    }
}

TEST_F(VerifierTest, ArchiveThatShrinksWhileBeingReadIsRejected) {
    ASSERT_TRUE(WriteSampleFile(HostPath("a.zip"), BuildZipSample(Zip(20000, 20012))));
    platform::ScopedFile file(platform::OpenReadBinary("C:\\a.zip"));
    // The file is cut to its local header just before the name is read.
    int reads = 0;
    std::string path = HostPath("a.zip");
    platform::host::SetFaultInjector([&](platform::host::FileOperation op, const char*) {
        if (op == platform::host::FileOperation::Read && ++reads == 2) {
            EXPECT_EQ(truncate(path.c_str(), 30), 0);
        }
        return false;
    });
    EXPECT_EQ(VerifyZipBagleH(file.Get()), 0);
    EXPECT_EQ(reads, 2);
}

}  // namespace
