// The memory phase under Wine: a running program of ours whose file the
// compiled-in signatures match is found, ended and removed; everything else
// keeps running.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "clean/known_entries.h"
#include "clean/win32/system_cleaning_win.h"
#include "detect/executable_scanner.h"
#include "scan/report_channel.h"
#include "state/program_state.h"
#include "tests/wine/clean/clean_test_support.h"
#include "tests/wine/support/scripted_message_box.h"

namespace {

class MemoryPhase : public ::testing::Test {
protected:
    void SetUp() override {
        BeginTestScan();
        CreateDirectoryA("C:\\qxtest\\mem", nullptr);
    }
    void TearDown() override {
        EndTestScan();
        DeleteValue(HKEY_CURRENT_USER, kRunKeyPath, "QxWormRun");
    }
};

TEST_F(MemoryPhase, AnInfectedRunningProgramIsEndedAndRemoved) {
    const std::string worm = "C:\\qxtest\\mem\\qxworm.exe";
    const std::string name = CraftInfectedCopy("qx_victim.exe", worm);
    ASSERT_FALSE(name.empty()) << "no record of the table fits the victim program";
    const std::string decoyPath = "C:\\qxtest\\mem\\qxwormx.exe";
    ASSERT_TRUE(CopyBesideTest("qx_victim.exe", decoyPath));
    ASSERT_TRUE(SetText(HKEY_CURRENT_USER, kRunKeyPath, "QxWormRun", "\"" + worm + "\" /min"));

    PROCESS_INFORMATION infected = StartProgram(worm);
    PROCESS_INFORMATION decoy = StartProgram(decoyPath);
    ASSERT_TRUE(StillRunning(infected.hProcess));

    // As the scan runs it: a 32-bit build sees the 64-bit file system.
    BeginSystemFileView();
    ScanMemory();
    EndSystemFileView();

    EXPECT_FALSE(StillRunning(infected.hProcess));
    EXPECT_TRUE(StillRunning(decoy.hProcess));
    EXPECT_FALSE(FileExists(worm));
    EXPECT_TRUE(FileExists(decoyPath));
    EXPECT_EQ(SentLines(), (std::vector<std::string>{
                               "System Registry     W32/Bagle.Worm removed",
                               "System Memory    W32/Bagle.Worm removed",
                               worm + "     W32/Bagle.Worm removed",
                           }))
        << "detected as " << name;
    EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunKeyPath, "QxWormRun"));
    EXPECT_EQ(ScanState.FilesInfected, 1);
    EXPECT_EQ(ScanState.FilesRemoved, 1);
    EXPECT_EQ(ScanState.MemoryScanMode, 0);
    EXPECT_EQ(ScanState.MemoryRemediation, 0);
    // Windows 7 by default: no service steps, no question, the scan goes on.
    EXPECT_EQ(ScanState.ServiceRestartNeeded, 0);
    EXPECT_TRUE(AskedQuestions().empty());
    EXPECT_EQ(ProgramEnds(), 0);

    EndAndClose(infected);
    EndAndClose(decoy);
}

TEST_F(MemoryPhase, NothingRecognisedNothingEnded) {
    const std::string clean = "C:\\qxtest\\mem\\qxclean.exe";
    ASSERT_TRUE(CopyBesideTest("qx_victim.exe", clean));
    PROCESS_INFORMATION program = StartProgram(clean);
    ScanMemory();
    EXPECT_TRUE(StillRunning(program.hProcess));
    EXPECT_TRUE(FileExists(clean));
    EXPECT_TRUE(SentLines().empty());
    EXPECT_EQ(ScanState.FilesInfected, 0);
    EXPECT_EQ(ProgramEnds(), 0);
    EndAndClose(program);
}

TEST_F(MemoryPhase, AStopRequestActsOnNoProcess) {
    const std::string worm = "C:\\qxtest\\mem\\qxworm2.exe";
    ASSERT_FALSE(CraftInfectedCopy("qx_victim.exe", worm).empty());
    PROCESS_INFORMATION infected = StartProgram(worm);
    ScanState.TerminateRequested = 1;
    ScanMemory();
    EXPECT_TRUE(StillRunning(infected.hProcess));
    EXPECT_TRUE(FileExists(worm));
    EndAndClose(infected);
    DeleteFileA(worm.c_str());
}

}  // namespace
