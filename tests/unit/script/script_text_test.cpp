#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "detect/script/script_cleaner.h"

namespace {

const std::uint8_t* Bytes(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

TEST(ScriptTextTest, BlanksAreTabThroughCarriageReturnAndSpace) {
    for (int b = 0; b < 256; ++b) {
        const bool blank = (b >= 9 && b <= 13) || b == 32;
        EXPECT_EQ(IsBlank(static_cast<std::uint8_t>(b)), blank) << b;
    }
}

TEST(ScriptTextTest, StripBlanksKeepsEveryOtherByteInOrder) {
    struct Case {
        std::string source, stripped;
    };
    const Case cases[] = {
        {"", ""},
        {" \t\n\v\f\r", ""},
        {"Dim x\r\n\tx = 1", "Dimxx=1"},
        {std::string("a\0 b\0", 5), std::string("a\0b\0", 4)},  // zero bytes are kept
        {"\xA0\x85\x1C", "\xA0\x85\x1C"},                       // no other byte is a blank
    };
    for (const Case& c : cases) {
        std::uint8_t out[32];
        std::memset(out, 0xEE, sizeof out);
        const std::size_t n = StripBlanks(Bytes(c.source), out, c.source.size());
        EXPECT_EQ(std::string(reinterpret_cast<char*>(out), n), c.stripped);
        EXPECT_EQ(out[n], 0xEE) << "wrote past the stripped text";
    }
}

// Long inputs, blanks at every place in the eight-byte rounds, trailing
// blanks included: the kept bytes in order, and the rest of the destination
// untouched.
TEST(ScriptTextTest, StripBlanksOfLongTextsMatchesAByteByByteCopy) {
    std::uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<std::uint8_t>(seed >> 16);
    };
    for (std::size_t size : {8u, 9u, 15u, 16u, 17u, 63u, 4096u}) {
        for (int blankEvery : {1, 2, 3, 7, 64}) {
            std::string source(size, '\0');
            for (std::size_t i = 0; i < size; ++i) {
                const std::uint8_t r = next();
                source[i] =
                    static_cast<char>(r % blankEvery == 0 ? " \t\n\v\f\r"[r % 6] : r | 0x80);
            }
            if (size > 8) source.replace(size - 3, 3, " \r\n");
            std::string expected;
            for (char c : source) {
                if (!IsBlank(static_cast<std::uint8_t>(c))) expected += c;
            }
            std::string out(size + 8, '\xEE');
            auto* destination = reinterpret_cast<std::uint8_t*>(&out[0]);
            const std::size_t n = StripBlanks(Bytes(source), destination, size);
            ASSERT_EQ(n, expected.size()) << size << " " << blankEvery;
            EXPECT_EQ(out.substr(0, n), expected) << size << " " << blankEvery;
            EXPECT_EQ(out.substr(n), std::string(size + 8 - n, '\xEE'))
                << "wrote past the stripped text: " << size << " " << blankEvery;
        }
    }
}

TEST(ScriptTextTest, FindPatternNeedsTheWholePatternWithinTheWindow) {
    struct Case {
        std::string window;
        std::size_t windowLength;
        std::string pattern;
        bool found;
    };
    const Case cases[] = {
        {"abcdef", 6, "abc", true},
        {"abcdef", 6, "def", true},
        {"abcdef", 5, "def", false},  // runs past the window
        {"abcdef", 6, "abcdefg", false},
        {"aaaab", 5, "aab", true},  // restarts after a first-byte false start
        {"abab", 4, "abb", false},
        {"xyz", 3, "q", false},
        {"xyz", 0, "x", false},
        {"xyz", 3, "", false},
        {std::string("\0\0ab", 4), 4, "ab", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.window + " / " + c.pattern);
        EXPECT_EQ(FindPattern(Bytes(c.window), c.windowLength, Bytes(c.pattern), c.pattern.size()),
                  c.found);
    }
}

}  // namespace
