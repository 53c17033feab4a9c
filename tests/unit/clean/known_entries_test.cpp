#include "clean/known_entries.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/ascii_case.h"

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
        // The path itself, quoted or not, then the end, a blank or a comma.
        {"c:\\windows\\system32\\worm.exe", "c:\\windows\\system32\\worm.exe", true},
        {"c:\\windows\\system32\\worm.exe -run", "c:\\windows\\system32\\worm.exe -run", true},
        {"c:\\windows\\system32\\worm.exe\t-run", "c:\\windows\\system32\\worm.exe\t-run", true},
        {"c:\\windows\\system32\\worm.exe,start", "c:\\windows\\system32\\worm.exe,start", true},
        {"\"c:\\windows\\system32\\worm.exe\"", "\"c:\\windows\\system32\\worm.exe\"", true},
        {"\"c:\\windows\\system32\\worm.exe\" -run", "\"c:\\windows\\system32\\worm.exe\" -run",
         true},
        {"\"c:\\windows\\system32\\worm.exe\",x", "\"c:\\windows\\system32\\worm.exe\",x", true},
        // An unclosed quote runs to the end of the line.
        {"\"c:\\windows\\system32\\worm.exe", "\"c:\\windows\\system32\\worm.exe", true},
        // Environment references: the expansion decides.
        {"%windir%\\system32\\worm.exe", "c:\\windows\\system32\\worm.exe", true},
        {"\"%windir%\\system32\\worm.exe\"", "\"c:\\windows\\system32\\worm.exe\"", true},
        {"%windir%\\system32\\worm.exe.bak", "c:\\windows\\system32\\worm.exe.bak", false},
        // Only begins with the path: another file.
        {"c:\\windows\\system32\\worm.exe.bak", "c:\\windows\\system32\\worm.exe.bak", false},
        {"c:\\windows\\system32\\worm.exes", "c:\\windows\\system32\\worm.exes", false},
        {"c:\\windows\\system32\\worm.exe\\x.exe", "c:\\windows\\system32\\worm.exe\\x.exe", false},
        {"\"c:\\windows\\system32\\worm.exe.bak\"", "\"c:\\windows\\system32\\worm.exe.bak\"",
         false},
        {"\"c:\\windows\\system32\\worm.exe\"x", "\"c:\\windows\\system32\\worm.exe\"x", false},
        {"\"c:\\windows\\system32\\worm.exe,x\"", "\"c:\\windows\\system32\\worm.exe,x\"", false},
        // The path later in the line, or cut short.
        {"c:\\tools\\run.exe c:\\windows\\system32\\worm.exe",
         "c:\\tools\\run.exe c:\\windows\\system32\\worm.exe", false},
        {"c:\\windows\\system32\\worm.ex", "c:\\windows\\system32\\worm.ex", false},
        {" c:\\windows\\system32\\worm.exe", " c:\\windows\\system32\\worm.exe", false},
        {"\"\"c:\\windows\\system32\\worm.exe", "\"\"c:\\windows\\system32\\worm.exe", false},
        {"", "", false},
        // An expansion that did not fit is compared as empty.
        {"c:\\windows\\system32\\worm.exe", "", true},
        {"%x%", "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RunValueMatches(c.data, c.expanded, path), c.matches) << c.data;
    EXPECT_FALSE(RunValueMatches("anything", "anything", ""));
    EXPECT_FALSE(RunValueMatches("", "", ""));
}

// A file without an extension, as an archive-table row may name one: Windows
// looks for "c:\program.exe" when it reads an unquoted "c:\program files\...",
// so such a line does not launch it; the path alone, quoted or not, does.
TEST(KnownEntries, RunValueMatchOfAPathWithoutExtension) {
    const char* path = "c:\\program";
    struct {
        const char* line;
        bool matches;
    } cases[] = {
        {"c:\\program files\\app\\app.exe", false},
        {"c:\\program files\\app\\app.exe /tray", false},
        {"c:\\program\tfiles", false},
        {"c:\\programs\\app.exe", false},
        {"\"c:\\program files\\app\\app.exe\"", false},
        {"c:\\program", true},
        {"c:\\program,x", true},
        {"\"c:\\program\"", true},
        {"\"c:\\program\" /x", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RunValueMatches(c.line, c.line, path), c.matches) << c.line;
        EXPECT_EQ(RunValueMatches(c.line, "", path), c.matches) << c.line;
    }
    // A dot in a folder's name is no extension of the file's.
    EXPECT_FALSE(RunValueMatches("c:\\my.dir\\program files\\a.exe", "", "c:\\my.dir\\program"));
    EXPECT_TRUE(RunValueMatches("c:\\my.dir\\program.exe files", "", "c:\\my.dir\\program.exe"));
}

}  // namespace
