// The text form of the signature sets and its compiler.
#include "tools/sigtool/signature_text.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "tools/sigtool/compile_command.h"

namespace {

const char kPublishedLine[] =
    "W32/OnLineGames.Iqw.PSW.Trojan|73943|439b4117f4df3b33eb75e2d6f0c5e856ca2b849f|105192|"
    "c0dc9862e477007a33f2ecd99a62261719615aec|33461|1";

std::string TempPath(const char* tag) {
    return std::string("/tmp/quellix-sigtext-") + tag + "-" + std::to_string(getpid());
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(SignatureText, LineRebuildsTheRecordAndFormatsBack) {
    SignatureRecord r;
    bool isRecord = false;
    std::string error;
    ASSERT_TRUE(ParseSignatureLine(kPublishedLine, r, isRecord, error)) << error;
    ASSERT_TRUE(isRecord);
    char name[kDetectionNameSize] = "W32/OnLineGames.Iqw.PSW.Trojan";
    EXPECT_EQ(std::memcmp(r.detectionName, name, sizeof name), 0);
    EXPECT_EQ(std::int32_t{r.offset1}, 73943);
    EXPECT_EQ(std::int32_t{r.offset2}, 105192);
    EXPECT_EQ(r.pattern1[0], 0x43);
    EXPECT_EQ(r.pattern1[19], 0x9f);
    EXPECT_EQ(r.pattern1[20], 0);
    EXPECT_EQ(r.pattern2[6], 0);
    EXPECT_EQ(r.pattern2[19], 0xec);
    EXPECT_EQ(r.pattern2[20], 0);
    EXPECT_EQ(std::int32_t{r.expectedSize}, 33461);
    EXPECT_EQ(std::int32_t{r.sizeRule}, SizeExact);
    EXPECT_EQ(FormatSignatureLine(r), kPublishedLine);

    // Upper-case hex, CRLF ends, and negative offsets read the same.
    ASSERT_TRUE(ParseSignatureLine(
        "N|-5|" + std::string(40, 'A') + "|-2147483648|" + std::string(40, '0') + "|2147483647|3\r",
        r, isRecord, error))
        << error;
    EXPECT_EQ(r.pattern1[7], 0xaa);
    EXPECT_EQ(std::int32_t{r.offset1}, -5);
    EXPECT_EQ(std::int32_t{r.offset2}, INT32_MIN);
    EXPECT_EQ(std::int32_t{r.expectedSize}, INT32_MAX);
}

TEST(SignatureText, CommentsAndBlankLinesAreNotRecords) {
    for (const char* line : {"", "   ", "# a comment", "  # indented|1|2", "\r"}) {
        SignatureRecord r;
        bool isRecord = true;
        std::string error;
        EXPECT_TRUE(ParseSignatureLine(line, r, isRecord, error)) << line;
        EXPECT_FALSE(isRecord) << line;
    }
}

TEST(SignatureText, MalformedLinesAreRejectedWithTheReason) {
    const std::string p(40, '1');
    struct Case {
        std::string line;
        const char* reason;
    } const cases[] = {
        {"A|1|" + p + "|2|" + p + "|3", "7 fields"},
        {"A|1|" + p + "|2|" + p + "|3|1|9", "7 fields"},
        {"|1|" + p + "|2|" + p + "|3|1", "empty detection name"},
        {std::string(50, 'N') + "|1|" + p + "|2|" + p + "|3|1", "longer than 49"},
        {"W32/A B|1|" + p + "|2|" + p + "|3|1", "space"},
        {"A|1x|" + p + "|2|" + p + "|3|1", "offset1"},
        {"A|2147483648|" + p + "|2|" + p + "|3|1", "offset1"},
        {"A|1|" + p.substr(1) + "|2|" + p + "|3|1", "pattern1"},
        {"A|1|" + p + "|2|" + p + "00|3|1", "pattern2"},
        {"A|1|" + p.substr(2) + "g1|2|" + p + "|3|1", "pattern1"},
        {"A|1|" + p + "||" + p + "|3|1", "offset2"},
        {"A|1|" + p + "|2|" + p + "|-|1", "expectedSize"},
        {"A|1|" + p + "|2|" + p + "|3|0", "sizeRule"},
        {"A|1|" + p + "|2|" + p + "|3|4", "sizeRule"},
    };
    for (const Case& c : cases) {
        SignatureRecord r;
        bool isRecord = true;
        std::string error;
        EXPECT_FALSE(ParseSignatureLine(c.line, r, isRecord, error)) << c.line;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.line << " -> " << error;
    }
}

TEST(SignatureText, CompileWritesTheTableWithTerminatorAndRefusesBadLinesByNumber) {
    const std::string in = TempPath("in.txt"), out = TempPath("out.cpp");
    WriteText(in, std::string("# header\n") + kPublishedLine + "\nW32/Say\"\\|1|" +
                      std::string(40, 'f') + "|2|" + std::string(40, '0') + "|3|2\n");
    ASSERT_EQ(CompileSignatureText(in, out, "SomeTable"), 0);
    const std::string cpp = ReadText(out);
    EXPECT_NE(cpp.find("extern const SignatureRecord SomeTable[] = {"), std::string::npos);
    EXPECT_NE(cpp.find("{\"W32/OnLineGames.Iqw.PSW.Trojan\", 73943, {0x43,0x9b,"),
              std::string::npos);
    EXPECT_NE(cpp.find("\"W32/Say\\\"\\\\\""), std::string::npos);  // quote and backslash escaped
    EXPECT_NE(cpp.find("    {},"), std::string::npos);
    EXPECT_EQ(cpp.find("{\"", cpp.find("    {},")), std::string::npos);  // terminator comes last

    WriteText(in, std::string("# header\n\n") + "A|1|zz|2|" + std::string(40, '0') + "|3|1\n");
    std::remove(out.c_str());
    std::vector<SignatureRecord> records;
    std::string error;
    EXPECT_FALSE(ReadSignatureText(in, records, error));
    EXPECT_NE(error.find(in + ":3: pattern1"), std::string::npos) << error;
    EXPECT_NE(CompileSignatureText(in, out, "SomeTable"), 0);
    EXPECT_FALSE(std::ifstream(out).good());  // no half-written table
    EXPECT_NE(CompileSignatureText(in, out, "not an identifier"), 0);
    std::remove(in.c_str());
}
