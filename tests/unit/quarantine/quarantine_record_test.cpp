#include "quarantine/quarantine_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

QuarantineHeader SampleHeader() {
    QuarantineHeader h;
    h.originalSize = 0x1234567890ull;
    for (std::size_t i = 0; i < kSha256Size; ++i) h.sha256[i] = static_cast<std::uint8_t>(i * 7);
    h.time = {2026, 12, 10, 15, 49, 4};
    std::strcpy(h.id, "20261210-154904-01");
    std::strcpy(h.detectionName, "W32/Bagle.H.Worm");
    std::strcpy(h.originalPath, "C:\\Documents and Settings\\me\\notes");
    return h;
}

TEST(QuarantineHeader, EncodesAndDecodesEveryField) {
    const QuarantineHeader in = SampleHeader();
    std::uint8_t bytes[kQuarantineHeaderSize];
    EncodeQuarantineHeader(in, bytes);
    QuarantineHeader out;
    ASSERT_EQ(DecodeQuarantineHeader(bytes, sizeof bytes, out), HeaderCheck::Ok);
    EXPECT_EQ(out.originalSize, in.originalSize);
    EXPECT_EQ(std::memcmp(out.sha256, in.sha256, kSha256Size), 0);
    EXPECT_EQ(out.time.year, 2026);
    EXPECT_EQ(out.time.month, 12);
    EXPECT_EQ(out.time.day, 10);
    EXPECT_EQ(out.time.hour, 15);
    EXPECT_EQ(out.time.minute, 49);
    EXPECT_EQ(out.time.second, 4);
    EXPECT_STREQ(out.id, in.id);
    EXPECT_STREQ(out.detectionName, in.detectionName);
    EXPECT_STREQ(out.originalPath, in.originalPath);
}

// The header is nothing the scanners take for a program, an archive or a
// script: no "MZ", "PK" or "Rar" head, and a zero before any line feed.
TEST(QuarantineHeader, StartsLikeNothingTheScannersRead) {
    QuarantineHeader h = SampleHeader();
    std::strcpy(h.originalPath, "C:\\a\nb");  // a host file name may hold a line feed
    std::uint8_t bytes[kQuarantineHeaderSize];
    EncodeQuarantineHeader(h, bytes);
    EXPECT_NE(std::memcmp(bytes, "MZ", 2), 0);
    EXPECT_NE(std::memcmp(bytes, "PK", 2), 0);
    EXPECT_NE(std::memcmp(bytes, "Rar", 3), 0);
    const void* zero = std::memchr(bytes, 0, sizeof bytes);
    const void* lineFeed = std::memchr(bytes, '\n', sizeof bytes);
    ASSERT_NE(zero, nullptr);
    ASSERT_NE(lineFeed, nullptr);
    EXPECT_LT(zero, lineFeed);
}

// Fields filled to the last byte, without a NUL: cut by one, and ended.
TEST(QuarantineHeader, FullTextFieldsAreCutAndEnded) {
    QuarantineHeader h = SampleHeader();
    std::memset(h.id, '7', sizeof h.id);
    std::memset(h.detectionName, 'N', sizeof h.detectionName);
    std::memset(h.originalPath, 'P', sizeof h.originalPath);
    std::uint8_t bytes[kQuarantineHeaderSize];
    EncodeQuarantineHeader(h, bytes);
    QuarantineHeader out;
    ASSERT_EQ(DecodeQuarantineHeader(bytes, sizeof bytes, out), HeaderCheck::Ok);
    EXPECT_EQ(std::string(out.id), std::string(kQuarantineIdSize - 1, '7'));
    EXPECT_EQ(std::string(out.detectionName), std::string(kQuarantineNameSize - 1, 'N'));
    EXPECT_EQ(std::string(out.originalPath), std::string(kQuarantinePathSize2 - 1, 'P'));
}

// A file's attributes and times come back as they went in; what is not known
// stays unknown.
TEST(QuarantineHeader, KeepsTheFilesAttributesAndTimes) {
    using namespace platform;
    struct Case {
        const char* what;
        FileFacts in;
    };
    const Case cases[] = {
        {"nothing known", {}},
        {"hidden, system, read-only and archive with three times",
         {kAllFileFacts, 0x27, 0x01D2B3C4D5E6F708ull, 0x01DB000000000001ull,
          0xFFFFFFFFFFFFFFFFull}},
        {"no attributes at all", {kAllFileFacts, 0, 1, 2, 3}},
        {"the times a POSIX file system gives",
         {kFactLastWriteTime | kFactLastAccessTime, 0, 0, 5, 6}},
    };
    for (const Case& c : cases) {
        QuarantineHeader h = SampleHeader();
        h.facts = c.in;
        std::uint8_t bytes[kQuarantineHeaderSize];
        EncodeQuarantineHeader(h, bytes);
        EXPECT_EQ(bytes[12], kQuarantineFormatVersion) << c.what;
        QuarantineHeader out;
        ASSERT_EQ(DecodeQuarantineHeader(bytes, sizeof bytes, out), HeaderCheck::Ok) << c.what;
        EXPECT_EQ(out.facts.known, c.in.known) << c.what;
        EXPECT_EQ(out.facts.attributes, c.in.attributes) << c.what;
        EXPECT_EQ(out.facts.creationTime, c.in.creationTime) << c.what;
        EXPECT_EQ(out.facts.lastWriteTime, c.in.lastWriteTime) << c.what;
        EXPECT_EQ(out.facts.lastAccessTime, c.in.lastAccessTime) << c.what;
        EXPECT_STREQ(out.originalPath, h.originalPath) << c.what;
    }
    // Attributes no call can set back are not kept.
    QuarantineHeader h = SampleHeader();
    h.facts = {kFactAttributes, 0x27 | 0x10 | 0x800, 0, 0, 0};
    std::uint8_t bytes[kQuarantineHeaderSize];
    EncodeQuarantineHeader(h, bytes);
    QuarantineHeader out;
    ASSERT_EQ(DecodeQuarantineHeader(bytes, sizeof bytes, out), HeaderCheck::Ok);
    EXPECT_EQ(out.facts.attributes, 0x27u);
}

// An item written before the facts were kept: version 1, whose path field
// runs to the header's end. It still decodes, every byte of its path read,
// with no facts known, so a restore sets nothing it does not know.
TEST(QuarantineHeader, Version1ItemsStillDecode) {
    QuarantineHeader h = SampleHeader();
    std::uint8_t bytes[kQuarantineHeaderSize];
    EncodeQuarantineHeader(h, bytes);
    bytes[12] = 1;
    const std::string longPath(kQuarantinePathSize - 1, 'p');
    std::memcpy(bytes + 192, longPath.c_str(), longPath.size() + 1);
    QuarantineHeader out;
    out.facts.known = 9;
    ASSERT_EQ(DecodeQuarantineHeader(bytes, sizeof bytes, out), HeaderCheck::Ok);
    EXPECT_EQ(std::string(out.originalPath), longPath);
    EXPECT_EQ(out.facts.known, 0u);
    EXPECT_EQ(out.originalSize, h.originalSize);
    EXPECT_STREQ(out.detectionName, h.detectionName);
}

TEST(QuarantineHeader, RejectsWhatIsNoGoodHeader) {
    std::uint8_t good[kQuarantineHeaderSize];
    EncodeQuarantineHeader(SampleHeader(), good);
    struct Case {
        const char* what;
        std::size_t length;
        std::size_t at;  // byte changed; kQuarantineHeaderSize: none
        std::uint8_t value;
        HeaderCheck expected;
    };
    const std::size_t idEnd = 72 + kQuarantineIdSize - 1;
    const std::size_t nameEnd = 72 + kQuarantineIdSize + kQuarantineNameSize - 1;
    const std::size_t pathEnd = 192 + kQuarantinePathSize2 - 1;
    const std::size_t facts = 192 + kQuarantinePathSize2;
    const Case cases[] = {
        {"empty", 0, kQuarantineHeaderSize, 0, HeaderCheck::NotQuarantine},
        {"magic only", 8, kQuarantineHeaderSize, 0, HeaderCheck::Damaged},
        {"cut short", kQuarantineHeaderSize - 1, kQuarantineHeaderSize, 0, HeaderCheck::Damaged},
        {"other magic", kQuarantineHeaderSize, 0, 'M', HeaderCheck::NotQuarantine},
        {"later version", kQuarantineHeaderSize, 12, 3, HeaderCheck::UnknownVersion},
        {"version 0", kQuarantineHeaderSize, 12, 0, HeaderCheck::UnknownVersion},
        {"other header size", kQuarantineHeaderSize, 9, 3, HeaderCheck::Damaged},
        {"ID without its end", kQuarantineHeaderSize, idEnd, 'x', HeaderCheck::Damaged},
        {"name without its end", kQuarantineHeaderSize, nameEnd, 'x', HeaderCheck::Damaged},
        {"path without its end", kQuarantineHeaderSize, pathEnd, 'x', HeaderCheck::Damaged},
        {"a fact this version does not know", kQuarantineHeaderSize, facts, 0x10,
         HeaderCheck::Damaged},
        {"an attribute that is not kept", kQuarantineHeaderSize, facts + 4, 0x10,
         HeaderCheck::Damaged},
        {"attributes where none are known", kQuarantineHeaderSize, facts + 4, 0x02,
         HeaderCheck::Damaged},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> bytes(good, good + sizeof good);
        if (c.at < kQuarantineHeaderSize) {
            // Fill the text field to its end so that no NUL is left.
            if (c.at == idEnd || c.at == nameEnd || c.at == pathEnd) {
                std::size_t start = c.at == idEnd     ? 72
                                    : c.at == nameEnd ? 72 + kQuarantineIdSize
                                                      : 192;
                std::memset(bytes.data() + start, 'x', c.at - start + 1);
            } else {
                bytes[c.at] = c.value;
            }
        }
        QuarantineHeader out;
        out.originalSize = 77;
        EXPECT_EQ(DecodeQuarantineHeader(bytes.data(), c.length, out), c.expected) << c.what;
        EXPECT_EQ(out.originalSize, 77u) << c.what << ": left as it was";
    }
}

TEST(Neutralise, IsItsOwnInverseInAnyPiecesAndChangesEveryPattern) {
    std::vector<std::uint8_t> original(5000);
    for (std::size_t i = 0; i < original.size(); ++i) {
        original[i] = static_cast<std::uint8_t>(i % 3 == 0 ? 0 : i * 13);
    }
    std::vector<std::uint8_t> whole = original;
    NeutraliseBytes(whole.data(), whole.size(), 0);
    // In pieces, as the copy is made chunk by chunk.
    std::vector<std::uint8_t> pieces = original;
    for (std::size_t at = 0; at < pieces.size(); at += 777) {
        NeutraliseBytes(pieces.data() + at, std::min<std::size_t>(777, pieces.size() - at), at);
    }
    EXPECT_EQ(pieces, whole);
    // No byte keeps its value and a run of equal bytes does not stay a run.
    std::size_t same = 0;
    for (std::size_t i = 0; i < original.size(); ++i) same += original[i] == whole[i];
    EXPECT_EQ(same, 0u);
    std::vector<std::uint8_t> zeros(64, 0);
    NeutraliseBytes(zeros.data(), zeros.size(), 0);
    EXPECT_NE(std::vector<std::uint8_t>(zeros.begin(), zeros.begin() + 32),
              std::vector<std::uint8_t>(zeros.begin() + 32, zeros.end()));
    NeutraliseBytes(whole.data(), whole.size(), 0);
    EXPECT_EQ(whole, original);
}

TEST(QuarantineId, FormatAndCheck) {
    char id[kQuarantineIdSize];
    FormatQuarantineId({2026, 1, 2, 3, 4, 5}, 1, id);
    EXPECT_STREQ(id, "20260102-030405-01");
    FormatQuarantineId({2026, 12, 31, 23, 59, 59}, 9999, id);
    EXPECT_STREQ(id, "20261231-235959-9999");
    char when[20];
    FormatQuarantineTime({2026, 1, 2, 3, 4, 5}, when);
    EXPECT_STREQ(when, "2026-01-02 03:04:05");

    struct Case {
        const char* text;
        bool valid;
    };
    const Case cases[] = {
        {"20261210-154904-01", true},      {"20261210-154904-9999", true},
        {"20261210-154904-1", false},      {"20261210-154904-12345", false},
        {"20261210-154904", false},        {"20261210_154904-01", false},
        {"2026121a-154904-01", false},     {"..\\..\\windows\\x", false},
        {"20261210-154904-01.qrn", false}, {"", false},
        {"20261210-154904-0/", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsQuarantineId(c.text), c.valid) << c.text;
}

}  // namespace
