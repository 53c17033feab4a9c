#include <gtest/gtest.h>

#include <string>

#include "tests/unit/script/script_test_support.h"

namespace {

struct ExpectedRow {
    const char* name;
    int expectedSize, sizeTest, region, method, position, patternLength;
};

// The fixed fields of the 13 records, in table order.
const ExpectedRow kExpected[kScriptSignatureCount] = {
    {"VBS/Bagle.Q.Worm", 552, 17, 1, 1, 200, 100},
    {"VBS/Bagle.Q.Worm", 1742, 17, 0, 1, 1110, 100},
    {"W32/Bagle.Z.Worm", 134625, 17, 1, 0, 114, 100},
    {"W32/Bagle.Z.Worm", 135614, 17, 1, 0, 275, 100},
    {"W32/Bagle.Aa.Worm", 72717, 17, 1, 1, 114, 100},
    {"W32/Bagle.Aa.Worm", 68734, 18, 1, 1, 114, 100},
    {"W32/Bagle.Aa.Worm", 73741, 18, 1, 1, 304, 100},
    {"W32/Bagle.Aa.Worm", 73286, 17, 1, 1, 275, 100},
    {"JS/Bagle.Aq.Worm", 1086, 17, 0, 1, 38, 100},
    {"W32/Bagle.Z.Worm", 31597, 17, 1, 1, 190, 100},
    {"W32/Bagle.Z.Worm", 141588, 17, 1, 1, 114, 100},
    {"HTML/Bagle.Dl.A.Trojan", 111, 17, 0, 0, 0, 100},
    {"HTML/Bagle.Dl.A.Trojan", 1123, 17, 0, 0, 19, 100},
};

TEST(ScriptTableTest, RecordsHoldTheFixedFields) {
    // Fields are read by value: the record is packed, so no reference may bind to one.
    for (int k = 1; k <= kScriptSignatureCount; ++k) {
        SCOPED_TRACE(k);
        const ScriptSignatureRecord& r = Record(k);
        const ExpectedRow& e = kExpected[k - 1];
        EXPECT_STREQ(r.name, e.name);
        EXPECT_EQ(int{r.expectedSize}, e.expectedSize);
        EXPECT_EQ(int{r.sizeTest}, e.sizeTest);
        EXPECT_EQ(int{r.region}, e.region);
        EXPECT_EQ(int{r.method}, e.method);
        EXPECT_EQ(int{r.position}, e.position);
        EXPECT_EQ(int{r.patternLength}, e.patternLength);
        EXPECT_EQ(int{r.reserved137}, 4);
        EXPECT_EQ(int{r.reserved141}, 0);
        for (std::uint8_t b : r.reserved143) EXPECT_EQ(b, 0);
        EXPECT_EQ(int{r.nextNumber}, k == kScriptSignatureCount ? 0 : k);
    }
}

TEST(ScriptTableTest, UnscrambledPatternsAreTheSourceTexts) {
    PrepareScriptTable();
    for (int k = 1; k <= kScriptSignatureCount; ++k) {
        SCOPED_TRACE(k);
        const ScriptSignatureRecord& r = Record(k);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.pattern), r.patternLength),
                  Pattern(k));
    }
}

// In place and symmetric: one more call gives the stored form, which holds
// none of the plain text, and one more after that the plain text again.
TEST(ScriptTableTest, UnscramblingIsAnInPlaceExclusiveOr) {
    PrepareScriptTable();
    TableSnapshot snapshot;
    const std::uint8_t key = ScriptSourceKey();
    ASSERT_NE(key, 0);
    UnscrambleScriptTable();
    for (int k = 1; k <= kScriptSignatureCount; ++k) {
        SCOPED_TRACE(k);
        const std::string plain = Pattern(k);
        for (int i = 0; i < Record(k).patternLength; ++i) {
            EXPECT_EQ(Record(k).pattern[i], static_cast<std::uint8_t>(plain[i] ^ key));
        }
        EXPECT_STREQ(Record(k).name, kExpected[k - 1].name);  // names are not scrambled
    }
    UnscrambleScriptTable();
    for (int k = 1; k <= kScriptSignatureCount; ++k) {
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(Record(k).pattern), 100), Pattern(k));
    }
}

}  // namespace
