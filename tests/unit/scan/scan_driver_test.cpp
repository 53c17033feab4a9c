#include "scan/scan_driver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/message_box.h"
#include "state/program_state.h"
#include "tests/support/host_fixture.h"

namespace {

using platform::QueuedMessage;

struct Question {
    std::string text;
    std::string caption;
    unsigned style;
};

class ScanDriverTest : public HostDriveTest {
protected:
    void SetUp() override {
        HostDriveTest::SetUp();
        // RunScan starts with the memory phase, which sets the mode itself.
        ResetScanGlobals(/*memoryPhaseOver=*/false);
        static int sinkTag;
        ReportWindowForTest(&sinkTag);
        platform::host::SetQuestionAnswerer(
            [this](const char* text, const char* caption, unsigned style) {
                questions.push_back({text, caption, style});
                return answer;
            });
    }

    static void ReportWindowForTest(void* tag);

    // Delivers one message after `pumps` empty pumps.
    void DeliverAfter(int pumps, QueuedMessage message) {
        platform::host::SetMessageSource([this, pumps, message](QueuedMessage& out) mutable {
            if (pumpCount++ != pumps) return false;
            out = message;
            return true;
        });
    }

    std::vector<std::string> Statistics(int scanned, int infected, int removed) const {
        return {"Scanning statistics", "------------------------------",
                "Total files scanned\t\t:  " + std::to_string(scanned),
                "Total files infected\t\t:  " + std::to_string(infected),
                "Total files removed\t\t:  " + std::to_string(removed)};
    }

    std::vector<Question> questions;
    int answer = kIdNo;
    int pumpCount = 0;
};

}  // namespace

#include "scan/report_channel.h"

void ScanDriverTest::ReportWindowForTest(void* tag) {
    ReportWindow = tag;
}

namespace {

TEST_F(ScanDriverTest, ACleanDriveGivesStatisticsOnlyAndCompleted) {
    WriteFile("a.txt");
    WriteFile("dir/b.txt");

    EXPECT_EQ(RunScan(), 1);

    EXPECT_EQ(lines, Statistics(2, 0, 0));  // no blank separator without findings
    EXPECT_EQ(statuses.back(), "Scanning completed");
    EXPECT_EQ(ScanState.StatisticsPhase, 1);
    EXPECT_EQ(ScanState.MemoryScanMode, 0);
    EXPECT_TRUE(questions.empty());
}

TEST_F(ScanDriverTest, OnlyFixedDrivesAreWalkedInLetterOrder) {
    WriteFile("c.txt");
    std::string other = Root() + "/other";
    std::string removable = Root() + "/removable";
    WriteFile("other/d.txt");
    WriteFile("removable/r.txt");
    platform::host::MapDrive('D', other);
    platform::host::MapDrive('E', removable, platform::kDriveRemovable);

    RunScan();

    EXPECT_EQ(ScanState.FilesScanned, 4);  // C: holds other/ and removable/ too, D: once more
    std::vector<std::string> files;
    for (const auto& s : statuses) {
        if (s.find(".txt") != std::string::npos) files.push_back(s);
    }
    EXPECT_EQ(files, (std::vector<std::string>{"C:\\c.txt", "C:\\other\\d.txt",
                                               "C:\\removable\\r.txt", "D:\\d.txt"}));
}

TEST_F(ScanDriverTest, NoFixedDriveStillWritesStatistics) {
    platform::host::UnmapAllDrives();
    RunScan();
    EXPECT_EQ(lines, Statistics(0, 0, 0));
    EXPECT_EQ(statuses.back(), "Scanning completed");
}

TEST_F(ScanDriverTest, ProgramFilesUnderAnotherCaseIsWalkedASecondTime) {
    // "\Program Files\" is matched with its case, as Windows' walk did.
    WriteFile("program files/app.exe");
    RunScan();
    EXPECT_EQ(ScanState.FilesScanned, 2);
    EXPECT_EQ(ScanState.ProgramFilesFound, 0);
}

TEST_F(ScanDriverTest, ProgramFilesReachedByTheRootWalkIsNotWalkedAgain) {
    WriteFile("Program Files/app.exe");
    RunScan();
    EXPECT_EQ(ScanState.FilesScanned, 1);
}

TEST_F(ScanDriverTest, FindingsAddTheSeparatorLine) {
    ScanState.FilesInfected = 2;  // as left by the file scanners
    RunScan();
    std::vector<std::string> expected = {" "};
    for (auto& l : Statistics(0, 2, 0)) expected.push_back(l);
    EXPECT_EQ(lines, expected);
}

TEST_F(ScanDriverTest, EscapeAnsweredYesStopsButStatisticsFollow) {
    for (int i = 0; i < 10; ++i) WriteFile("f" + std::to_string(i) + ".txt");
    answer = kIdYes;
    DeliverAfter(5, {0x100 /* WM_KEYDOWN */, 27});

    RunScan();

    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].text, "Terminate the Scan now?");
    EXPECT_EQ(questions[0].caption, "Quellix Ver 7.0");
    EXPECT_EQ(questions[0].style, 0x24u);
    EXPECT_EQ(ScanState.TerminateRequested, 1);
    EXPECT_LT(ScanState.FilesScanned, 10);
    EXPECT_EQ(lines, Statistics(ScanState.FilesScanned, 0, 0));
    EXPECT_EQ(statuses.back(), "Scanning terminated");
}

TEST_F(ScanDriverTest, EscapeAnsweredNoGoesOnAndTheKeyIsDropped) {
    for (int i = 0; i < 4; ++i) WriteFile("f" + std::to_string(i) + ".txt");
    answer = kIdNo;
    int dispatched = 0;
    platform::host::SetMessageDispatcher([&](const QueuedMessage&) { ++dispatched; });
    DeliverAfter(2, {0x100, 27});

    RunScan();

    EXPECT_EQ(questions.size(), 1u);
    EXPECT_EQ(dispatched, 0);
    EXPECT_EQ(ScanState.TerminateRequested, 0);
    EXPECT_EQ(ScanState.FilesScanned, 4);
    EXPECT_EQ(statuses.back(), "Scanning completed");
}

// Only the key itself is Escape: other messages whose parameter happens to
// hold 27 (a key release, a character, a timer or command identifier) go to
// the dialog as they are and ask nothing.
TEST_F(ScanDriverTest, OnlyAnEscapeKeyPressAsksToTerminate) {
    const QueuedMessage notEscape[] = {{0x0101 /* WM_KEYUP */, 27},
                                       {0x0102 /* WM_CHAR */, 27},
                                       {0x0113 /* WM_TIMER */, 27},
                                       {0x0111 /* WM_COMMAND */, 27},
                                       {0x0100 /* WM_KEYDOWN, another key */, 28}};
    for (const QueuedMessage& message : notEscape) {
        ResetScanGlobals(false);
        static int sinkTag;
        ReportWindowForTest(&sinkTag);
        questions.clear();
        pumpCount = 0;
        WriteFile("a.txt");
        std::vector<unsigned> dispatched;
        platform::host::SetMessageDispatcher(
            [&](const QueuedMessage& m) { dispatched.push_back(m.message); });
        answer = kIdYes;
        DeliverAfter(0, message);
        RunScan();
        EXPECT_TRUE(questions.empty()) << message.message;
        EXPECT_EQ(dispatched, std::vector<unsigned>{message.message});
        EXPECT_EQ(ScanState.TerminateRequested, 0) << message.message;
    }
}

TEST_F(ScanDriverTest, QuitAndDestroyStopTheScanWithoutReachingTheDialog) {
    for (unsigned message : {platform::kWmQuit, platform::kWmDestroy}) {
        ResetScanGlobals(false);
        static int sinkTag;
        ReportWindowForTest(&sinkTag);
        lines.clear();
        statuses.clear();
        pumpCount = 0;
        WriteFile("a.txt");
        int dispatched = 0;
        platform::host::SetMessageDispatcher([&](const QueuedMessage&) { ++dispatched; });
        DeliverAfter(0, {message, 0});
        RunScan();
        EXPECT_EQ(ScanState.TerminateRequested, 1) << message;
        EXPECT_EQ(dispatched, 0) << message;
        ASSERT_FALSE(statuses.empty());
        EXPECT_EQ(statuses.back(), "Scanning terminated");
    }
}

TEST_F(ScanDriverTest, OtherMessagesAreDispatched) {
    WriteFile("a.txt");
    std::vector<unsigned> dispatched;
    platform::host::SetMessageDispatcher(
        [&](const QueuedMessage& m) { dispatched.push_back(m.message); });
    DeliverAfter(1, {0x000F /* WM_PAINT */, 0});
    RunScan();
    EXPECT_EQ(dispatched, std::vector<unsigned>{0x000F});
    EXPECT_EQ(ScanState.TerminateRequested, 0);
}

TEST_F(ScanDriverTest, ARestartPendingAsksTheRestartQuestionAtTheEnd) {
    ScanState.RestartNeeded = 1;
    answer = kIdNo;
    RunScan();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].text,
              "The system has to be restarted to remove the virus completely from your "
              "system. \n\n Restart now?");
    EXPECT_EQ(questions[0].caption, "Quellix Ver 7.0");
    EXPECT_EQ(questions[0].style, 0x24u);
    EXPECT_EQ(statuses.back(), "Scanning completed");  // the status comes first
}

TEST_F(ScanDriverTest, AskTerminateScanUsesTheCallersCaption) {
    answer = kIdYes;
    EXPECT_TRUE(AskTerminateScan("DialogBoxTitle"));
    answer = kIdNo;
    EXPECT_FALSE(AskTerminateScan("DialogBoxTitle"));
    ASSERT_EQ(questions.size(), 2u);
    EXPECT_EQ(questions[1].caption, "DialogBoxTitle");
}

}  // namespace
