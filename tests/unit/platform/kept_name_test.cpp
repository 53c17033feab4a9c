// Which names Windows' path rules would change, and the "\\?\" form that
// keeps them, with its bounds.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/kept_name.h"

namespace {

using platform::kKeptFormCapacity;
using platform::MakeKeptForm;
using platform::NameNeedsKeptForm;
using platform::PathNeedsKeptForm;

TEST(KeptName, NamesThePathRulesChange) {
    struct Case {
        const char* name;
        bool changed;
    } cases[] = {
        // A trailing dot or blank is dropped, however many.
        {"trail.exe.", true},
        {"space.exe ", true},
        {"mixed. .", true},
        {"...", true},
        {"dir.", true},
        // Device names, alone, before an extension, with blanks before it, any case.
        {"con", true},
        {"con.exe", true},
        {"CON.tar.gz", true},
        {"Nul.txt", true},
        {"aux", true},
        {"prn.doc", true},
        {"con .exe", true},
        {"com1.exe", true},
        {"COM9", true},
        {"com0", true},
        {"lpt1", true},
        {"LPT9.txt", true},
        {"conin$", true},
        {"CONOUT$.x", true},
        {"clock$", true},
        {"com\xB9.exe", true},  // superscript one, Windows-1252
        {"lpt\xC2\xB3", true},  // superscript three, UTF-8
        // Names that only look alike keep their meaning.
        {"pair.exe", false},
        {"console.exe", false},
        {"icon.exe", false},
        {"con_x.exe", false},
        {"nul1", false},
        {"com10", false},
        {"comx", false},
        {"lpt", false},
        {"com", false},
        {"com\xC2\xB4", false},  // acute accent, not a superscript
        {".hidden", false},
        {" lead.exe", false},
        {"a.b.c", false},
        {"\xD0\xB2\xD0\xB8\xD1\x80\xD1\x83\xD1\x81.exe", false},  // вирус.exe
        // "." and ".." are the folder and its parent, not names.
        {".", false},
        {"..", false},
        {"", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NameNeedsKeptForm(c.name), c.changed) << '"' << c.name << '"';
    }
}

TEST(KeptName, APathNeedsItWhenAnyOfItsNamesDoes) {
    struct Case {
        const char* path;
        bool needed;
    } cases[] = {
        {"C:\\qx\\trail.exe.", true},
        {"C:\\qx\\space.exe ", true},
        {"C:\\qx\\con.exe", true},
        {"C:\\dir.\\pair.exe", true},
        {"C:\\aux\\pair.exe", true},
        {"C:\\dir.\\*.*", true},
        {"C:\\qx\\pair.exe", false},
        {"C:\\qx\\*.*", false},
        {"C:\\*.*", false},
        {"C:\\", false},
        {"C:", false},
        {"C:\\Program Files\\prog.*", false},
        {"C:\\qx\\..\\pair.exe", false},
        {"", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PathNeedsKeptForm(c.path), c.needed) << '"' << c.path << '"';
    }
}

TEST(KeptName, TheKeptFormIsTheDrivePathAfterItsPrefix) {
    char out[kKeptFormCapacity];
    ASSERT_TRUE(MakeKeptForm("C:\\qx\\trail.exe.", out));
    EXPECT_STREQ(out, "\\\\?\\C:\\qx\\trail.exe.");
    ASSERT_TRUE(MakeKeptForm("d:\\con.exe", out));
    EXPECT_STREQ(out, "\\\\?\\d:\\con.exe");

    // Only a full drive path with '\' separators: the form turns off the
    // parsing that would make sense of anything else.
    for (const char* refused :
         {"qx\\trail.exe.", "\\qx\\trail.exe.", "C:trail.exe.", "\\\\server\\share\\a.",
          "\\\\?\\C:\\a.", "C:/qx/a.", "C:\\qx/a.", "1:\\a.", ""}) {
        std::strcpy(out, "left over");
        EXPECT_FALSE(MakeKeptForm(refused, out)) << refused;
        EXPECT_STREQ(out, "") << refused;
    }
}

TEST(KeptName, TheKeptFormOfTheLongestPathFitsAndOneMoreDoesNot) {
    char out[kKeptFormCapacity];
    // The longest path a 260-byte buffer holds, and the prefix: exactly full.
    const std::string longest = "C:\\" + std::string(256, 'a');
    ASSERT_EQ(longest.size(), 259u);
    ASSERT_TRUE(MakeKeptForm(longest.c_str(), out));
    EXPECT_EQ(std::string(out), "\\\\?\\" + longest);
    const std::string tooLong = longest + "a";
    out[0] = 'x';
    EXPECT_FALSE(MakeKeptForm(tooLong.c_str(), out));
    EXPECT_STREQ(out, "");
}

}  // namespace
