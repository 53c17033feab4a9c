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

// UTF-16LE bytes of text, with its closing zero unless told.
std::vector<std::uint8_t> Wide(const std::u16string& text, bool withZero = true) {
    std::vector<std::uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    if (withZero) bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

TEST(RegText, Reg5ValueLinesOfEveryTypeAndScript) {
    struct Case {
        const char* what;
        std::u16string name;
        std::uint32_t type;
        std::vector<std::uint8_t> data;
        std::u16string line;
    };
    const Case cases[] = {
        {"ASCII text", u"au.exe", kRegSz, Wide(u"C:\\W\\au.exe"),
         u"\"au.exe\"=\"C:\\\\W\\\\au.exe\"\r\n"},
        {"quotes in name and data", u"a\"b\\c", kRegSz, Wide(u"\"q\" -s"),
         u"\"a\\\"b\\\\c\"=\"\\\"q\\\" -s\"\r\n"},
        {"Cyrillic name, ASCII data", u"\u0417\u0430\u043f\u0443\u0441\u043a", kRegSz, Wide(u"x"),
         u"\"\u0417\u0430\u043f\u0443\u0441\u043a\"=\"x\"\r\n"},
        {"Greek data goes as its bytes", u"g", kRegSz, Wide(u"\u03b1\u03b2"),
         u"\"g\"=hex(1):b1,03,b2,03,00,00\r\n"},
        {"CJK name",
         u"\u542f\u52a8",
         kRegDword,
         {1, 0, 0, 0},
         u"\"\u542f\u52a8\"=dword:00000001\r\n"},
        {"emoji name (a surrogate pair)",
         u"\U0001F600",
         kRegBinary,
         {0xAB},
         u"\"\U0001F600\"=hex:ab\r\n"},
        {"a lone surrogate in a name", u"a\xD800", kRegNone, {}, u"\"a\xD800\"=hex(0):\r\n"},
        {"the default value", u"", kRegSz, Wide(u"v"), u"@=\"v\"\r\n"},
        {"the default value, empty", u"", kRegSz, {}, u"@=hex(1):\r\n"},
        {"empty text with its zero", u"e", kRegSz, Wide(u""), u"\"e\"=\"\"\r\n"},
        {"text without its zero", u"t", kRegSz, Wide(u"ab", false),
         u"\"t\"=hex(1):61,00,62,00\r\n"},
        {"text of odd length", u"o", kRegSz, {0x61, 0, 0}, u"\"o\"=hex(1):61,00,00\r\n"},
        {"text with two zeros",
         u"z",
         kRegSz,
         {0x61, 0, 0, 0, 0, 0},
         u"\"z\"=hex(1):61,00,00,00,00,00\r\n"},
        {"text with a line break", u"n", kRegSz, Wide(u"a\nb"),
         u"\"n\"=hex(1):61,00,0a,00,62,00,00,00\r\n"},
        {"expandable", u"x", kRegExpandSz, Wide(u"%w%"),
         u"\"x\"=hex(2):25,00,77,00,25,00,00,00\r\n"},
        {"multi", u"m", kRegMultiSz, {0x61, 0, 0, 0, 0, 0}, u"\"m\"=hex(7):61,00,00,00,00,00\r\n"},
        {"number of odd length", u"d", kRegDword, {1, 2}, u"\"d\"=hex(4):01,02\r\n"},
        {"qword",
         u"q",
         kRegQword,
         {1, 2, 3, 4, 5, 6, 7, 8},
         u"\"q\"=hex(b):01,02,03,04,05,06,07,08\r\n"},
        {"empty binary", u"b", kRegBinary, {}, u"\"b\"=hex:\r\n"},
        {"no type", u"n0", kRegNone, {7}, u"\"n0\"=hex(0):07\r\n"},
        {"a type of its own", u"t", 0x100, {7}, u"\"t\"=hex(100):07\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(Reg5ValueLine(c.name, c.type, c.data.data(), c.data.size()) == c.line)
            << c.what;
    }
}

TEST(RegText, Reg5NamesWithControlCharactersAreLeftOut) {
    const std::vector<std::uint8_t> data = Wide(u"x");
    for (const std::u16string& name :
         {std::u16string(u"a\r\n[HKEY_LOCAL_MACHINE\\Evil]"), std::u16string(u"t\tb"),
          std::u16string(u"d\x7f"), std::u16string(u"z\0", 2)}) {
        EXPECT_FALSE(IsWritableReg5Name(name));
        EXPECT_TRUE(Reg5ValueLine(name, kRegSz, data.data(), data.size()) ==
                    u"; left out: a value whose name holds control characters\r\n");
    }
    EXPECT_TRUE(IsWritableReg5Name(u"\u0417]\"\\\U0001F600"));
}

TEST(RegText, Reg5FileAndKeyLines) {
    const std::u16string start = Reg5FileStart("2026-12-10 15:49:04");
    EXPECT_TRUE(Reg5Header() == u"Windows Registry Editor Version 5.00\r\n\r\n");
    EXPECT_EQ(start.rfind(Reg5Header(), 0), 0u);
    std::size_t at = start.find(u"\r\n\r\n") + 4;
    while (at < start.size()) {
        EXPECT_EQ(start[at], u';');
        at = start.find(u"\r\n", at) + 2;
    }
    EXPECT_TRUE(Reg5KeyName("HKEY_LOCAL_MACHINE", u"SOFTWARE\\\u0416", true) ==
                u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\\u0416");
    EXPECT_TRUE(Reg5KeyName("HKEY_LOCAL_MACHINE", u"Software\u0416", true) ==
                u"HKEY_LOCAL_MACHINE\\Software\u0416");
    EXPECT_TRUE(Reg5KeyName("HKEY_CURRENT_USER", u"Software\\x", true) ==
                u"HKEY_CURRENT_USER\\Software\\x");
    EXPECT_TRUE(Reg5KeyLine(u"HKEY_CURRENT_USER\\\u03a9") ==
                u"\r\n[HKEY_CURRENT_USER\\\u03a9]\r\n");
    EXPECT_TRUE(Reg5CommentLine("a\r\n\xd0\x96") == u"; a  \u0416\r\n");
    EXPECT_EQ(Reg5FileBytes(u"A\u0416\U0001F600", true), std::string("\xFF\xFE"
                                                                     "A\0\x16\x04\x3D\xD8\x00\xDE",
                                                                     10));
    EXPECT_EQ(Reg5FileBytes(u"A", false), std::string("A\0", 2));
}

// Long hex data is wrapped in UTF-16 as in REGEDIT4, and is the same text.
TEST(RegText, Reg5LongHexIsTheRegedit4TextInUtf16) {
    std::vector<std::uint8_t> data(300);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    const std::string narrow = RegValueLine("Security", kRegBinary, data.data(), data.size());
    std::string back;
    ASSERT_TRUE(
        Utf8FromUtf16(Reg5ValueLine(u"Security", kRegBinary, data.data(), data.size()), back));
    EXPECT_EQ(back, narrow);
}

TEST(RegText, Utf8AndUtf16Conversions) {
    struct Case {
        const char* what;
        std::string utf8;
        std::u16string utf16;
    };
    const Case both[] = {
        {"ASCII", "Run", u"Run"},
        {"Cyrillic", "\xd0\x97\xd0\xb0", u"\u0417\u0430"},
        {"CJK", "\xe5\x90\xaf", u"\u542f"},
        {"emoji", "\xf0\x9f\x98\x80", u"\U0001F600"},
        {"highest", "\xf4\x8f\xbf\xbf", u"\U0010FFFF"},
        {"empty", "", u""},
    };
    for (const Case& c : both) {
        std::string utf8;
        std::u16string utf16;
        EXPECT_TRUE(Utf8FromUtf16(c.utf16, utf8) && utf8 == c.utf8) << c.what;
        EXPECT_TRUE(Utf16FromUtf8(c.utf8, utf16) && utf16 == c.utf16) << c.what;
    }
    std::string utf8;
    for (const std::u16string& lone : {std::u16string(u"\xD800"),
                                       std::u16string(u"\xDC00"
                                                      u"a"),
                                       std::u16string(u"a\xD83D")}) {
        EXPECT_FALSE(Utf8FromUtf16(lone, utf8));
    }
    std::u16string utf16;
    for (const char* bad :
         {"\xc0\x80", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xe5\x90", "\x80", "\xff"}) {
        EXPECT_FALSE(Utf16FromUtf8(bad, utf16)) << bad;
    }
}

}  // namespace
