#include "quarantine/log_text.h"

#include <gtest/gtest.h>

namespace {

TEST(LogText, HeaderNamesTimeProgramSystemAndBuild) {
    std::string header = LogHeaderText({2026, 12, 10, 15, 49, 4},
                                       "Windows 5.1 build 2600, NT family, 32-bit", false);
    EXPECT_NE(header.find("Scan started 2026-12-10 15:49:04\r\n"), std::string::npos);
    EXPECT_NE(header.find("Program: Quellix Ver 7.0, x86\r\n"), std::string::npos);
    EXPECT_NE(header.find("System: Windows 5.1 build 2600, NT family, 32-bit\r\n"),
              std::string::npos);
    EXPECT_NE(LogHeaderText({}, "s", true).find("Program: Quellix Ver 7.0, x64\r\n"),
              std::string::npos);
}

TEST(LogText, NotesSayWhatBecameOfEachRemoval) {
    struct Case {
        RemovalEnd end;
        const char* id;
        const char* whyNone;
        const char* note;
    };
    const Case cases[] = {
        {RemovalEnd::Removed, "20261210-154904-01", nullptr,
         "    Quarantine: 20261210-154904-01\r\n"},
        {RemovalEnd::AtNextStart, "20261210-154904-02", nullptr,
         "    Quarantine: 20261210-154904-02 (the file goes at the next start of Windows)\r\n"},
        {RemovalEnd::Removed, "", "the file could not be read",
         "    Quarantine: no copy kept: the file could not be read\r\n"},
        {RemovalEnd::AtNextStart, "", "the quarantine folder could not be made",
         "    Quarantine: no copy kept: the quarantine folder could not be made\r\n"},
        {RemovalEnd::NotRemoved, "", nullptr, "    Quarantine: none, the file was not removed\r\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(QuarantineNoteText(c.end, c.id, c.whyNone), c.note);
    EXPECT_EQ(RegistryNoteText("HKEY_CURRENT_USER\\x \"v\"", "a.reg"),
              "    Registry backup: HKEY_CURRENT_USER\\x \"v\" saved in a.reg\r\n");
    EXPECT_EQ(
        RegistryNoteText("HKEY_CURRENT_USER\\x", ""),
        "    Registry backup: HKEY_CURRENT_USER\\x not saved, no backup kept: the backup file "
        "could not be written\r\n");
    EXPECT_EQ(
        RegistryNoteText("HKEY_CURRENT_USER\\x", "",
                         "the backup file could not be written (the records disk is full)"),
        "    Registry backup: HKEY_CURRENT_USER\\x not saved, no backup kept: the backup file "
        "could not be written (the records disk is full)\r\n");
    EXPECT_EQ(FinalStatusText("Scanning completed"), "Final status: Scanning completed\r\n");
    EXPECT_EQ(RestartAnswerText(nullptr), "Restart question: not asked\r\n");
    EXPECT_EQ(RestartAnswerText("No"), "Restart question: answered No\r\n");
}

}  // namespace
