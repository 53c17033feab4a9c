#include "quarantine/reg_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Value(const char* name, std::uint32_t type, const std::vector<std::uint8_t>& data) {
    return RegValueLine(name, type, data.data(), data.size());
}

std::vector<std::uint8_t> Bytes(const std::string& text, bool withZero = true) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    if (withZero) bytes.push_back(0);
    return bytes;
}

TEST(RegText, ValueLinesOfEveryType) {
    struct Case {
        const char* what;
        const char* name;
        std::uint32_t type;
        std::vector<std::uint8_t> data;
        const char* line;
    };
    const Case cases[] = {
        {"text", "au.exe", kRegSz, Bytes("C:\\WINDOWS\\au.exe"),
         "\"au.exe\"=\"C:\\\\WINDOWS\\\\au.exe\"\r\n"},
        {"text without its zero", "x", kRegSz, Bytes("abc", false), "\"x\"=\"abc\"\r\n"},
        {"quotes in name and data", "a\"b\\c", kRegSz, Bytes("\"C:\\p q\\w.exe\" -s"),
         "\"a\\\"b\\\\c\"=\"\\\"C:\\\\p q\\\\w.exe\\\" -s\"\r\n"},
        {"the unnamed value", "", kRegSz, Bytes("v"), "@=\"v\"\r\n"},
        {"empty text", "e", kRegSz, Bytes(""), "\"e\"=\"\"\r\n"},
        {"text with a line break", "n", kRegSz, Bytes("a\r\nb"), "\"n\"=hex(1):61,0d,0a,62,00\r\n"},
        {"text with a zero inside", "z", kRegSz, {'a', 0, 'b', 0}, "\"z\"=hex(1):61,00,62,00\r\n"},
        {"text beyond ASCII", "u", kRegSz, {0xE9, 0}, "\"u\"=hex(1):e9,00\r\n"},
        {"number", "d", kRegDword, {0x0A, 0x00, 0x01, 0x80}, "\"d\"=dword:8001000a\r\n"},
        {"number of odd length", "d3", kRegDword, {1, 2, 3}, "\"d3\"=hex(4):01,02,03\r\n"},
        {"binary", "b", kRegBinary, {0x00, 0xFF, 0x10}, "\"b\"=hex:00,ff,10\r\n"},
        {"empty binary", "b0", kRegBinary, {}, "\"b0\"=hex:\r\n"},
        {"expandable", "x", kRegExpandSz, Bytes("%w%"), "\"x\"=hex(2):25,77,25,00\r\n"},
        {"multi", "m", kRegMultiSz, {'a', 0, 'b', 0, 0}, "\"m\"=hex(7):61,00,62,00,00\r\n"},
        {"no type", "n0", kRegNone, {7}, "\"n0\"=hex(0):07\r\n"},
        {"a type of its own", "t", 0x100, {7}, "\"t\"=hex(100):07\r\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(Value(c.name, c.type, c.data), c.line) << c.what;
}

// A name that could end the line early never reaches the file as a name.
TEST(RegText, NamesWithControlCharactersAreLeftOut) {
    const std::vector<std::uint8_t> data = Bytes("x");
    for (const char* name : {"a\r\n[HKEY_LOCAL_MACHINE\\Software\\Evil]", "tab\there", "del\x7f"}) {
        EXPECT_FALSE(IsWritableRegName(name)) << name;
        EXPECT_EQ(Value(name, kRegSz, data),
                  "; left out: a value whose name holds control characters\r\n");
    }
    EXPECT_TRUE(IsWritableRegName("C:\\a b\\\"q\"]\xe9"));
    EXPECT_TRUE(IsWritableRegName(""));
}

// Long hex data is wrapped as regedit wraps it: a backslash, two blanks.
TEST(RegText, LongHexWrapsAndKeepsEveryByte) {
    std::vector<std::uint8_t> data(100);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
    std::string line = Value("Security", kRegBinary, data);
    std::string joined;
    std::size_t start = 0;
    while (start < line.size()) {
        std::size_t end = line.find("\r\n", start);
        ASSERT_NE(end, std::string::npos);
        std::string piece = line.substr(start, end - start);
        EXPECT_LE(piece.size(), 80u) << piece;
        if (start > 0) {
            ASSERT_EQ(piece.substr(0, 2), "  ");
            piece = piece.substr(2);
        }
        if (!piece.empty() && piece.back() == '\\') piece.pop_back();
        joined += piece;
        start = end + 2;
    }
    std::string expected = "\"Security\"=hex:";
    char hex[4];
    for (std::size_t i = 0; i < data.size(); ++i) {
        std::snprintf(hex, sizeof hex, i + 1 < data.size() ? "%02x," : "%02x", data[i]);
        expected += hex;
    }
    EXPECT_EQ(joined, expected);
}

TEST(RegText, KeyNamesOfBothViews) {
    struct Case {
        const char* root;
        const char* path;
        bool view32;
        const char* name;
    };
    const Case cases[] = {
        {"HKEY_LOCAL_MACHINE", "Software\\Microsoft\\Windows\\CurrentVersion\\Run", false,
         "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
        {"HKEY_LOCAL_MACHINE", "Software\\Microsoft\\Windows\\CurrentVersion\\Run", true,
         "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"},
        {"HKEY_LOCAL_MACHINE", "SOFTWARE", true, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node"},
        {"HKEY_LOCAL_MACHINE", "SoftwareX\\y", true, "HKEY_LOCAL_MACHINE\\SoftwareX\\y"},
        {"HKEY_LOCAL_MACHINE", "SYSTEM\\ControlSet001\\Services\\w", true,
         "HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\w"},
        {"HKEY_CURRENT_USER", "Software\\DateTime2", true,
         "HKEY_CURRENT_USER\\Software\\DateTime2"},
        {"HKEY_CURRENT_USER", "", false, "HKEY_CURRENT_USER"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RegKeyName(c.root, c.path, c.view32), c.name) << c.path << " " << c.view32;
    }
    EXPECT_EQ(RegKeyLine("HKEY_CURRENT_USER\\Software\\x"),
              "\r\n[HKEY_CURRENT_USER\\Software\\x]\r\n");
}

TEST(RegText, FileStartsWithRegedit4AndCommentsOnly) {
    std::string start = RegFileStart("2026-12-10 15:49:04");
    EXPECT_EQ(start.rfind("REGEDIT4\r\n\r\n", 0), 0u);
    std::size_t at = start.find("\r\n\r\n") + 4;
    while (at < start.size()) {
        EXPECT_EQ(start[at], ';') << start.substr(at);
        at = start.find("\r\n", at) + 2;
    }
    EXPECT_NE(start.find("2026-12-10 15:49:04"), std::string::npos);
    EXPECT_EQ(RegCommentLine("a\r\nb"), "; a  b\r\n");
}

}  // namespace
