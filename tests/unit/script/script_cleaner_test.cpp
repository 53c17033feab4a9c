#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "detect/signature_record.h"
#include "scan/file_scanner_list.h"
#include "scan/report_channel.h"
#include "scan/report_texts.h"
#include "scan/walker.h"
#include "tests/unit/script/script_test_support.h"
#include "tools/samples/pe_sample.h"

namespace {

using platform::host::FileOperation;

std::string Sample(int record) {
    ScriptSampleSpec spec;
    spec.record = record;
    return BuildScriptSample(spec);
}

bool TableIsPlain() {
    for (int k = 1; k <= kScriptSignatureCount; ++k) {
        if (std::memcmp(Record(k).pattern, Pattern(k).data(), Record(k).patternLength) != 0) {
            return false;
        }
    }
    return true;
}

TEST_F(ScriptDriveTest, MatchedFileIsDeletedAndReported) {
    WriteFile("web\\aq.js", Sample(9));
    EXPECT_EQ(CleanPath("C:\\web\\aq.js"), 1);
    EXPECT_EQ(lines, std::vector<std::string>{"C:\\web\\aq.js     JS/Bagle.Aq.Worm Virus removed"});
    EXPECT_TRUE(statuses.empty()) << "the path goes to StatusBuffer without a status message";
    EXPECT_STREQ(StatusBuffer, "C:\\web\\aq.js");
    EXPECT_STREQ(DetectionNameBuffer, "JS/Bagle.Aq.Worm");
    EXPECT_FALSE(FileExists("web/aq.js"));
    EXPECT_EQ(ScanState.FilesInfected, 1);
    EXPECT_EQ(ScanState.FilesRemoved, 1);
}

TEST_F(ScriptDriveTest, UnmatchedOrUnopenableFileIsLeftAloneSilently) {
    WriteFile("notes.txt", "Dear diary,\r\nnothing to see here.\r\n</html>");
    EXPECT_EQ(CleanPath("C:\\notes.txt"), 0);
    EXPECT_EQ(CleanPath("C:\\missing.vbs"), 0);
    WriteFile("locked.vbs", Sample(1));
    platform::host::SetFaultInjector(
        [](FileOperation op, const char*) { return op == FileOperation::Open; });
    EXPECT_EQ(CleanPath("C:\\locked.vbs"), 0);
    EXPECT_TRUE(lines.empty());
    EXPECT_TRUE(FileExists("notes.txt"));
    EXPECT_TRUE(FileExists("locked.vbs"));
    EXPECT_EQ(ScanState.FilesInfected, 0);
    EXPECT_EQ(ScanState.FilesRemoved, 0);
}

// In use: reported as such, still counted as infected, nothing scheduled.
TEST_F(ScriptDriveTest, FileThatCannotBeDeletedIsReportedUnableToRemove) {
    WriteFile("page.htm", Sample(12));
    platform::host::SetFaultInjector(
        [](FileOperation op, const char*) { return op == FileOperation::Delete; });
    EXPECT_EQ(CleanPath("C:\\page.htm"), 1);
    EXPECT_EQ(lines,
              std::vector<std::string>{"C:\\page.htm     HTML/Bagle.Dl.A.Trojan Unable to remove"});
    EXPECT_TRUE(FileExists("page.htm"));
    EXPECT_EQ(ScanState.FilesInfected, 1);
    EXPECT_EQ(ScanState.FilesRemoved, 0);
    EXPECT_EQ(ScanState.RestartNeeded, 0);
}

TEST_F(ScriptDriveTest, MemoryPhaseDoesNotChangeTheCleaner) {
    ScanState.MemoryScanMode = 1;
    WriteFile("q.vbs", Sample(2));
    EXPECT_EQ(CleanPath("C:\\q.vbs"), 1);
    EXPECT_EQ(lines, std::vector<std::string>{"C:\\q.vbs     VBS/Bagle.Q.Worm Virus removed"});
}

// The table is unscrambled before the first file is opened and never again:
// a second pass would scramble it back and no sample would match.
class ScriptOnceTest : public HostDriveTest {};

TEST_F(ScriptOnceTest, TableIsUnscrambledOnceBeforeTheFirstOpen) {
    if (!ScriptCleaner.tableUnscrambled) {
        for (int k = 1; k <= kScriptSignatureCount; ++k) {
            for (int i = 0; i < Record(k).patternLength; ++i) {
                ASSERT_EQ(Record(k).pattern[i],
                          static_cast<std::uint8_t>(Pattern(k)[i] ^ ScriptSourceKey()));
            }
        }
    }
    int opens = 0;
    bool plainAtEveryOpen = true;
    platform::host::SetFaultInjector([&](FileOperation op, const char*) {
        if (op == FileOperation::Open) {
            ++opens;
            plainAtEveryOpen = plainAtEveryOpen && TableIsPlain();
        }
        return false;
    });
    WriteFile("a.txt", "plain text\r\n");
    WriteFile("b.vbs", Sample(1));
    WriteFile("c.js", Sample(9));
    // An odd number of calls: unscrambling on every call would leave it scrambled.
    const char* const calls[] = {"C:\\a.txt", "C:\\b.vbs", "C:\\missing", "C:\\a.txt", "C:\\c.js"};
    int matched = 0;
    for (const char* path : calls) matched += CleanPath(path);
    EXPECT_EQ(matched, 2);
    EXPECT_EQ(opens, 5);
    EXPECT_TRUE(plainAtEveryOpen);
    EXPECT_TRUE(ScriptCleaner.tableUnscrambled);
    EXPECT_TRUE(TableIsPlain());
}

TEST(ScriptFileScannerListTest, CleanerIsAnEntryOfTheList) {
    bool listed = false;
    for (const FileScannerEntry* e = FileScannerList; e->scanner; ++e) {
        if (e->scanner == CleanScriptFile) {
            listed = true;
            EXPECT_STREQ(e->defaultName, "W32/Bagle.Worm");
        }
    }
    EXPECT_TRUE(listed);
}

// The walker hands every file to the list; script samples anywhere on the
// drive are found and removed, other files stay.
TEST_F(ScriptDriveTest, WalkerRemovesScriptWormsThroughTheList) {
    WriteFile("readme.txt", "Nothing here.\r\n");
    WriteFile("Web\\index.htm", Sample(13));
    WriteFile("Web\\Old\\mail.vbs", Sample(1));
    EXPECT_EQ(WalkDirectory("C:\\*.*"), 3);
    std::vector<std::string> expected = {
        "C:\\Web\\index.htm     HTML/Bagle.Dl.A.Trojan Virus removed",
        "C:\\Web\\Old\\mail.vbs     VBS/Bagle.Q.Worm Virus removed",
    };
    EXPECT_EQ(lines, expected);
    EXPECT_TRUE(FileExists("readme.txt"));
    EXPECT_FALSE(FileExists("Web/index.htm"));
    EXPECT_FALSE(FileExists("Web/Old/mail.vbs"));
    EXPECT_EQ(ScanState.FilesInfected, 2);
    EXPECT_EQ(ScanState.FilesRemoved, 2);
}

}  // namespace

namespace {

// A PE that the executable scanner detects, carrying script record 7's
// pattern in a text tail that the script cleaner alone would match.
bool BuildExecutableWithScriptTail(PeSampleSpec& spec, std::string& exeName) {
    const std::string tail = "\r\n" + Pattern(7) + "\r\n" + std::string(95, 'x') + "</html>";
    for (const SignatureRecord* r = ExecutableSignatureTable; r->detectionName[0]; ++r) {
        if (r->expectedSize < 8192 || r->expectedSize > 200000 || !RecordFitsPeSample(*r)) continue;
        spec = SampleSpecForRecord(*r);
        const std::uint32_t tailStart = spec.fileSize - static_cast<std::uint32_t>(tail.size());
        bool clear = true;
        for (const auto& [offset, bytes] : spec.bytesAt) {
            if (offset + bytes.size() > tailStart) clear = false;
        }
        if (!clear) continue;
        spec.bytesAt.emplace_back(tailStart, std::vector<std::uint8_t>(tail.begin(), tail.end()));
        exeName.assign(r->detectionName, strnlen(r->detectionName, kDetectionNameSize));
        return true;
    }
    return false;
}

TEST_F(ScriptDriveTest, FileDetectedByTheExecutableScannerNeverReachesTheCleaner) {
    PeSampleSpec spec;
    std::string exeName;
    ASSERT_TRUE(BuildExecutableWithScriptTail(spec, exeName));
    MakeDirectory("Games");
    MakeDirectory("Copy");
    ASSERT_TRUE(WritePeSample(HostPath("Games/both.exe"), spec));
    ASSERT_TRUE(WritePeSample(HostPath("Copy/both.exe"), spec));

    // On its own the cleaner matches it.
    EXPECT_EQ(CleanPath("C:\\Copy\\both.exe"), 1);
    ASSERT_EQ(lines,
              std::vector<std::string>{"C:\\Copy\\both.exe     W32/Bagle.Aa.Worm Virus removed"});
    lines.clear();
    ScanState = ScanStateFields{};
    ScanState.MemoryScanMode = 0;

    EXPECT_EQ(WalkDirectory("C:\\*.*"), 1);
    EXPECT_EQ(lines, std::vector<std::string>{"C:\\Games\\both.exe     " + exeName + " removed"});
    EXPECT_EQ(ScanState.FilesInfected, 1);
}

}  // namespace
