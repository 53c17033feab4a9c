#include "clean/known_entries.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(KnownEntries, FormsSAndD) {
    struct {
        const char* data;
        EntryForm form;
        const char* file;
        bool matches;
    } cases[] = {
        {"c:\\windows\\system32\\bbeagle.exe", EntryForm::S, "bbeagle.exe", true},
        {"c:\\apps\\bbeagle.exe", EntryForm::S, "bbeagle.exe", false},
        {"c:\\windows\\system32\\other.exe", EntryForm::S, "bbeagle.exe", false},
        {"x sysdir y", EntryForm::S, "doriot.exe", false},
        {"x sysdir y", EntryForm::D, "doriot.exe", true},
        {"c:\\windows\\system\\doriot.exe", EntryForm::D, "doriot.exe", true},
        {"c:\\windows\\doriot.exe", EntryForm::D, "doriot.exe", false},
        {"", EntryForm::D, "doriot.exe", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MatchesEntryForm(c.data, c.form, c.file), c.matches) << c.data;
    }
}

TEST(KnownEntries, LowercasingMakesUpperCaseDataMatch) {
    char data[] = "C:\\WINDOWS\\SYSTEM32\\BBEAGLE.EXE";
    LowercaseText(data);
    EXPECT_STREQ(data, "c:\\windows\\system32\\bbeagle.exe");
    EXPECT_TRUE(MatchesEntryForm(data, EntryForm::S, KnownEntryChecks[0].fileName));
}

TEST(KnownEntries, TableRowsThatCarryRules) {
    const KnownEntryCheck* t = KnownEntryChecks;
    // Only the two Ru1n checks use that key, only check 26 removes without a match.
    for (int i = 0; i < kKnownEntryCheckCount; ++i) {
        bool ru1n = i == 23 || i == 24;
        EXPECT_STREQ(t[i].keyPath, ru1n ? kRu1nKeyPath : kRunKeyPath) << i + 1;
        EXPECT_EQ(t[i].furtherWithoutMatch, i == 25) << i + 1;
        EXPECT_EQ(t[i].form, i >= 21 ? EntryForm::D : EntryForm::S) << i + 1;
        // File names are compared with lower-cased data.
        std::string lower = t[i].fileName;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(lower, t[i].fileName) << i + 1;
    }
    EXPECT_STREQ(kRu1nKeyPath, "Software\\Microsoft\\Windows\\CurrentVersion\\Ru1n");
    EXPECT_STREQ(t[28].further[1].name, "riga");
    EXPECT_STREQ(t[28].further[1].reportedAs, "W32/Bagle.Ay.Worm");
}

TEST(KnownEntries, RunValueMatch) {
    const char* path = "c:\\windows\\system32\\worm.exe";
    struct {
        const char* data;
        const char* expanded;
        bool matches;
    } cases[] = {
        {"c:\\windows\\system32\\worm.exe", "c:\\windows\\system32\\worm.exe", true},
        {"\"c:\\windows\\system32\\worm.exe\" -run", "\"c:\\windows\\system32\\worm.exe\" -run",
         true},
        {"%windir%\\system32\\worm.exe", "c:\\windows\\system32\\worm.exe", true},
        {"\"%windir%\\system32\\worm.exe\"", "\"c:\\windows\\system32\\worm.exe\"", true},
        {"c:\\tools\\run.exe c:\\windows\\system32\\worm.exe",
         "c:\\tools\\run.exe c:\\windows\\system32\\worm.exe", false},
        {"c:\\windows\\system32\\worm.ex", "c:\\windows\\system32\\worm.ex", false},
        {"", "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RunValueMatches(c.data, c.expanded, path), c.matches) << c.data;
    EXPECT_FALSE(RunValueMatches("anything", "anything", ""));
}

}  // namespace
