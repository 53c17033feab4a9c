// Encrypted archives made by real tools (Info-ZIP zip, p7zip's 7z): those
// outside every verifier's range and shape are not detected; stored single
// entries inside one are detected as that variant where the tool's layout is
// the one the verifiers read, and where it is not, the difference is shown.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <utime.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "detect/file_reads.h"
#include "state/program_state.h"
#include "tests/unit/false_positive/real_files.h"

namespace {

enum class Content { Random, Text };

// The program file put into the archive: deterministic bytes, a fixed time
// stamp (Info-ZIP's headers carry it).
void WriteEntry(const fs::path& path, std::uint32_t size, Content content) {
    std::string bytes(size, '\0');
    std::uint64_t state = 0x9E3779B97F4A7C15ull ^ size;
    static const char kWords[] = "the quick brown fox jumps over a lazy dog\r\n";
    for (std::uint32_t i = 0; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        bytes[i] = content == Content::Random ? static_cast<char>(state >> 24)
                                              : kWords[i % (sizeof kWords - 1)];
    }
    std::ofstream(path, std::ios::binary) << bytes;
    utimbuf times{1591012800, 1591012800};  // 2020-06-01 12:00 UTC
    utime(path.c_str(), &times);
}

std::vector<std::uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What the verifiers read of a ZIP, taken from the file as the tool wrote it.
struct ZipLayout {
    std::uint16_t flags = 0, method = 0, nameLength = 0, extraLength = 0;
    std::uint32_t compressedSize = 0, uncompressedSize = 0;
    std::size_t afterData = 0;       // P: just after the first entry's data
    std::uint32_t signatureAtP = 0;  // 0x02014b50 central header, 0x08074b50 data descriptor
    std::uint16_t centralExtraLength = 0;
    std::uint16_t endEntriesOnDisk = 0, endTotalEntries = 0;  // the record after the one header
};

ZipLayout ReadZipLayout(const std::vector<std::uint8_t>& z) {
    ZipLayout l;
    if (z.size() < 30) return l;
    l.flags = LoadLe16(&z[6]);
    l.method = LoadLe16(&z[8]);
    l.compressedSize = LoadLe32(&z[18]);
    l.uncompressedSize = LoadLe32(&z[22]);
    l.nameLength = LoadLe16(&z[26]);
    l.extraLength = LoadLe16(&z[28]);
    l.afterData = 30u + l.nameLength + l.extraLength + l.compressedSize;
    if (l.afterData + 46 > z.size()) return l;
    const std::uint8_t* c = &z[l.afterData];
    l.signatureAtP = LoadLe32(c);
    l.centralExtraLength = LoadLe16(c + 30);
    const std::size_t end =
        l.afterData + 46 + LoadLe16(c + 28) + LoadLe16(c + 30) + LoadLe16(c + 32);
    if (end + 22 <= z.size()) {
        l.endEntriesOnDisk = LoadLe16(&z[end + 8]);
        l.endTotalEntries = LoadLe16(&z[end + 10]);
    }
    return l;
}

constexpr std::uint32_t kCentralHeader = 0x02014b50;
constexpr std::uint32_t kDataDescriptor = 0x08074b50;

// How the archive is made; "A" and "E" stand for the archive and entry names.
using Recipe = std::vector<std::string>;
const Recipe k7zZipStored = {"7z", "a", "-bd", "-ppw", "-tzip", "-mm=Copy", "A", "E"};
const Recipe k7zZipDeflated = {"7z", "a", "-bd", "-ppw", "-tzip", "-mm=Deflate", "A", "E"};
const Recipe k7zZipAes = {"7z", "a", "-bd", "-ppw", "-tzip", "-mm=Copy", "-mem=AES256", "A", "E"};
const Recipe k7zZipPlain = {"7z", "a", "-bd", "-tzip", "-mm=Copy", "A", "E"};
const Recipe k7zFormat = {"7z", "a", "-bd", "-ppw", "-mx=0", "A", "E"};
const Recipe k7zFormatHidden = {"7z", "a", "-bd", "-ppw", "-mhe=on", "A", "E"};
const Recipe kZipStored = {"zip", "-q", "-X", "-0", "-e", "-P", "pw", "A", "E"};
const Recipe kZipDeflated = {"zip", "-q", "-X", "-e", "-P", "pw", "A", "E"};

struct Entry {
    std::string name;
    std::uint32_t size;
    Content content = Content::Random;
};

class RealArchives : public RealFileDrive {
protected:
    void SetUp() override {
        RealFileDrive::SetUp();
        ASSERT_TRUE(HaveTool("zip") && HaveTool("7z")) << "zip and p7zip-full are needed";
        char templ[] = "/tmp/quellix-archive-XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        work_ = templ;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(work_, ec);
        RealFileDrive::TearDown();
    }

    // Makes C:\<archive> with the recipe from the entries; the archive's bytes.
    std::vector<std::uint8_t> Make(const Recipe& recipe, const std::string& archive,
                                   const std::vector<Entry>& entries) {
        std::vector<std::string> args;
        for (const auto& word : recipe) {
            if (word == "A") {
                args.push_back(HostPath(archive));
            } else if (word == "E") {
                for (const auto& e : entries) {
                    WriteEntry(work_ / e.name, e.size, e.content);
                    args.push_back(e.name);
                }
            } else {
                args.push_back(word);
            }
        }
        const int status = RunTool(work_, args);
        EXPECT_EQ(status, 0) << ::testing::PrintToString(args);
        for (const auto& e : entries) fs::remove(work_ / e.name);
        return ReadAll(HostPath(archive));
    }

    fs::path work_;
};

struct DetectedCase {
    const char* label;
    Entry entry;
    const Recipe* recipe;
    const char* detection;
};

// 7z's ZIP writer puts the central header right after the entry's data (its
// NTFS time stamps go in a central extra field, which the verifiers skip),
// so a stored encrypted program in a variant's range is that variant.
TEST_F(RealArchives, SevenZipZipInsideAVariantIsDetected) {
    const DetectedCase cases[] = {
        {"H", {"x.exe", 20000}, &k7zZipStored, "W32/Bagle.H.Worm"},
        {"H low end", {"x.exe", 19456}, &k7zZipStored, "W32/Bagle.H.Worm"},
        {"H high end", {"x.exe", 25600}, &k7zZipStored, "W32/Bagle.H.Worm"},
        {"H, upper-case screensaver", {"SETUP.SCR", 21000}, &k7zZipStored, "W32/Bagle.H.Worm"},
        {"H, name without a dot", {"readme", 21000}, &k7zZipStored, "W32/Bagle.H.Worm"},
        // Deflate does not shrink random bytes, and 7z then stores the entry.
        {"H, deflate asked", {"x.pif", 20000}, &k7zZipDeflated, "W32/Bagle.H.Worm"},
        {"K", {"x.exe", 12000}, &k7zZipStored, "W32/Bagle.K.Worm"},
        {"K low end", {"x.com", 11264}, &k7zZipStored, "W32/Bagle.K.Worm"},
        {"K high end", {"x.bat", 15360}, &k7zZipStored, "W32/Bagle.K.Worm"},
        {"J", {"x.exe", 18000}, &k7zZipStored, "W32/Bagle.J.Worm"},
        {"J low end", {"x.exe", 17408}, &k7zZipStored, "W32/Bagle.J.Worm"},
        {"N, deflated", {"x.exe", 20000, Content::Text}, &k7zZipDeflated, "W32/Bagle.N.Worm"},
        {"O", {"x.exe", 45000}, &k7zZipStored, "W32/Bagle.O.Worm"},
        {"O, deflated", {"x.scr", 45000, Content::Text}, &k7zZipDeflated, "W32/Bagle.O.Worm"},
        {"Aa low range", {"x.exe", 26000}, &k7zZipStored, "W32/Bagle.Aa.Worm"},
        {"Aa low range end", {"x.exe", 30720}, &k7zZipStored, "W32/Bagle.Aa.Worm"},
        {"Aa high range", {"x.exe", 70000}, &k7zZipStored, "W32/Bagle.Aa.Worm"},
        {"Aa high range start", {"x.exe", 66560}, &k7zZipStored, "W32/Bagle.Aa.Worm"},
        {"Aa high range end", {"x.exe", 74752}, &k7zZipStored, "W32/Bagle.Aa.Worm"},
        {"Aa, deflated", {"x.exe", 70000, Content::Text}, &k7zZipDeflated, "W32/Bagle.Aa.Worm"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string archive = "a" + std::to_string(n++) + ".zip";
        const ZipLayout l = ReadZipLayout(Make(*c.recipe, archive, {c.entry}));
        EXPECT_EQ(l.flags & 1, 1);
        EXPECT_EQ(l.uncompressedSize, c.entry.size);
        EXPECT_EQ(l.method, c.entry.content == Content::Text ? 8 : 0);
        EXPECT_EQ(l.signatureAtP, kCentralHeader);
        EXPECT_EQ(l.endEntriesOnDisk, 1);
        EXPECT_EQ(l.endTotalEntries, 1);

        const int infectedBefore = ScanState.FilesInfected;
        const ScanOutcome o = Scan(archive);
        EXPECT_EQ(o.result, 0);  // a verifier's finding leaves the file to the next scanner
        EXPECT_EQ(o.lines,
                  std::vector<std::string>{"C:\\" + archive + "     " + c.detection + " removed"});
        EXPECT_FALSE(o.stillThere);
        EXPECT_EQ(ScanState.FilesInfected, infectedBefore + 1);
    }
}

TEST_F(RealArchives, SevenZipZipWritesNtfsTimesInTheCentralHeaderOnly) {
    const ZipLayout l = ReadZipLayout(Make(k7zZipStored, "t.zip", {{"x.exe", 20000}}));
    EXPECT_EQ(l.extraLength, 0);
    EXPECT_EQ(l.centralExtraLength, 36);  // tag 0x000A: three 64-bit times
    EXPECT_EQ(l.compressedSize - l.uncompressedSize, 12u);
}

struct CleanCase {
    const char* label;
    std::vector<Entry> entries;
    const Recipe* recipe;
    const char* archive;
};

// Everything about these is real-tool output a user may well have; none is
// in a verifier's range and shape, and none matches the archive table.
TEST_F(RealArchives, ArchivesOutsideEveryVariantAreNotDetected) {
    const CleanCase cases[] = {
        {"small program", {{"x.exe", 1000}}, &k7zZipStored, "a.zip"},
        {"above K, below J", {{"x.exe", 15361}}, &k7zZipStored, "a.zip"},
        {"between K and J", {{"x.exe", 16000}}, &k7zZipStored, "a.zip"},
        {"just below J", {{"x.exe", 17407}}, &k7zZipStored, "a.zip"},
        {"just above Aa's low range", {{"x.exe", 30721}}, &k7zZipStored, "a.zip"},
        {"just below O", {{"x.exe", 43007}}, &k7zZipStored, "a.zip"},
        {"just above O", {{"x.exe", 48129}}, &k7zZipStored, "a.zip"},
        {"just below Aa's high range", {{"x.exe", 66559}}, &k7zZipStored, "a.zip"},
        {"just above Aa's high range", {{"x.exe", 74753}}, &k7zZipStored, "a.zip"},
        {"not a program", {{"x.txt", 20000}}, &k7zZipStored, "a.zip"},
        {"program name then another extension", {{"x.exe.doc", 20000}}, &k7zZipStored, "a.zip"},
        {"two programs", {{"x.exe", 20000}, {"y.exe", 20000}}, &k7zZipStored, "a.zip"},
        {"AES encryption (method 99)", {{"x.exe", 20000}}, &k7zZipAes, "a.zip"},
        {"not encrypted", {{"x.exe", 20000}}, &k7zZipPlain, "a.zip"},
        {"deflated, large", {{"x.exe", 100000, Content::Text}}, &k7zZipDeflated, "a.zip"},
        {"7z format", {{"x.exe", 20000}}, &k7zFormat, "a.7z"},
        {"7z format, names encrypted", {{"x.exe", 45000}}, &k7zFormatHidden, "a.7z"},
        {"zip, stored small program", {{"x.exe", 1000}}, &kZipStored, "a.zip"},
        {"zip, deflated document", {{"readme.txt", 100000, Content::Text}}, &kZipDeflated, "a.zip"},
        {"zip, stored, two programs", {{"x.exe", 20000}, {"y.exe", 45000}}, &kZipStored, "a.zip"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string archive = std::to_string(n++) + c.archive;
        const std::vector<std::uint8_t> bytes = Make(*c.recipe, archive, c.entries);
        ASSERT_GT(bytes.size(), 30u);
        if (c.recipe == &k7zZipStored && c.entries.size() == 1) {
            // The detected cases' shape: only the length or the name differs.
            const ZipLayout l = ReadZipLayout(bytes);
            EXPECT_EQ(l.flags & 1, 1);
            EXPECT_EQ(l.method, 0);
            EXPECT_EQ(l.compressedSize - l.uncompressedSize, 12u);
            EXPECT_EQ(l.signatureAtP, kCentralHeader);
            EXPECT_EQ(l.endTotalEntries, 1);
        }
        const ScanOutcome o = Scan(archive);
        EXPECT_EQ(o.result, 0);
        EXPECT_TRUE(o.lines.empty()) << ::testing::PrintToString(o.lines);
        EXPECT_TRUE(o.stillThere);
    }
    EXPECT_EQ(ScanState.FilesInfected, 0);
}

// Info-ZIP's zip encrypts through a data descriptor (flag bit 3): 16 bytes
// "PK\7\8", CRC and sizes between the entry's data and the central header,
// where the verifiers expect the central header. So zip -e never makes a
// file they accept; the same bytes without the descriptor are accepted.
TEST_F(RealArchives, InfoZipDataDescriptorStandsWhereTheCentralHeaderIsExpected) {
    const DetectedCase cases[] = {
        {"H", {"x.exe", 20000}, &kZipStored, "W32/Bagle.H.Worm"},
        {"K", {"x.exe", 12000}, &kZipStored, "W32/Bagle.K.Worm"},
        {"J", {"x.exe", 18000}, &kZipStored, "W32/Bagle.J.Worm"},
        {"N, deflated", {"x.exe", 20000, Content::Text}, &kZipDeflated, "W32/Bagle.N.Worm"},
        {"O", {"x.exe", 45000}, &kZipStored, "W32/Bagle.O.Worm"},
        {"Aa", {"x.exe", 26000}, &kZipStored, "W32/Bagle.Aa.Worm"},
        {"Aa high range", {"x.exe", 70000}, &kZipStored, "W32/Bagle.Aa.Worm"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string archive = "z" + std::to_string(n++) + ".zip";
        std::vector<std::uint8_t> bytes = Make(*c.recipe, archive, {c.entry});
        const ZipLayout l = ReadZipLayout(bytes);
        // Inside the variant: encrypted, its size, its method; sizes in the local header.
        EXPECT_EQ(l.flags & 0x9, 0x9);
        EXPECT_EQ(l.uncompressedSize, c.entry.size);
        if (c.entry.content == Content::Random) {
            EXPECT_EQ(l.compressedSize, c.entry.size + 12);
        }
        // The one difference: a data descriptor at P.
        ASSERT_EQ(l.signatureAtP, kDataDescriptor);

        ScanOutcome o = Scan(archive);
        EXPECT_EQ(o.result, 0);
        EXPECT_TRUE(o.lines.empty()) << ::testing::PrintToString(o.lines);
        EXPECT_TRUE(o.stillThere);

        // Cut the descriptor out (and move the end record's directory offset).
        bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(l.afterData),
                    bytes.begin() + static_cast<std::ptrdiff_t>(l.afterData) + 16);
        const std::size_t end = bytes.size() - 22;
        ASSERT_EQ(LoadLe32(&bytes[end]), 0x06054b50u);
        const std::uint32_t directory = LoadLe32(&bytes[end + 16]) - 16;
        for (int i = 0; i < 4; ++i)
            bytes[end + 16 + i] = static_cast<std::uint8_t>(directory >> (8 * i));
        const std::string cut = "cut" + archive;
        std::ofstream(HostPath(cut), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        EXPECT_EQ(ReadZipLayout(bytes).signatureAtP, kCentralHeader);

        o = Scan(cut);
        EXPECT_EQ(o.lines,
                  std::vector<std::string>{"C:\\" + cut + "     " + c.detection + " removed"});
        EXPECT_FALSE(o.stillThere);
    }
}

}  // namespace
