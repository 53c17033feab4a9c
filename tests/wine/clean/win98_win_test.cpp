// The 95-family paths, reached by setting Wine's version to Windows 98 for
// this program: tool-help process lists, wininit.ini deletion entries with
// short paths, a restart without the token steps, and registry backups in
// REGEDIT4 through the narrow calls.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "clean/win32/registry_backup_win.h"
#include "clean/win32/system_cleaning_win.h"
#include "detect/executable_scanner.h"
#include "quarantine/quarantine_store.h"
#include "quarantine/scan_log.h"
#include "scan/report_channel.h"
#include "state/program_state.h"
#include "tests/wine/clean/clean_test_support.h"

namespace {

std::string WininitPath() {
    char dir[MAX_PATH];
    GetWindowsDirectoryA(dir, sizeof dir);
    return std::string(dir) + "\\wininit.ini";
}

TEST(Win98, IsTheNinetyFiveFamily) {
    EXPECT_EQ(PlatformClass(), 4);
    EXPECT_EQ(NtVersionClass(), 0);
}

TEST(Win98, BootDeleteWritesTheShortPathToWininit) {
    DeleteFileA(WininitPath().c_str());
    CreateDirectoryA("C:\\qxtest\\A Long Folder Name", nullptr);
    const std::string path = "C:\\qxtest\\A Long Folder Name\\infected program.exe";
    WriteFileBytes(path, "MZ");
    char shortPath[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(path.c_str(), shortPath, sizeof shortPath), 0u);
    ASSERT_EQ(std::string(shortPath).find(' '), std::string::npos);  // an 8.3 form

    EXPECT_EQ(ScheduleBootDelete(path.c_str()), 1);
    EXPECT_EQ(ReadFileBytes(WininitPath()), std::string("[rename]\r\nNUL=") + shortPath + "\r\n");

    // A file without a short form (it is gone) is named by its long path.
    const std::string gone = "C:\\qxtest\\A Long Folder Name\\gone already.exe";
    EXPECT_EQ(ScheduleBootDelete(gone.c_str()), 1);
    EXPECT_EQ(ReadFileBytes(WininitPath()),
              std::string("[rename]\nNUL=") + shortPath + "\nNUL=" + gone + "\r\n");
    DeleteFileA(WininitPath().c_str());
}

TEST(Win98, KillProcessByNameUsesToolhelp) {
    CreateDirectoryA("C:\\qxtest\\w98", nullptr);
    const std::string path = "C:\\qxtest\\w98\\qx98kill.exe";
    ASSERT_TRUE(CopyBesideTest("qx_victim.exe", path));
    PROCESS_INFORMATION victim = StartProgram(path);
    EXPECT_EQ(KillProcessByName(path.c_str()), 1);
    Sleep(200);
    EXPECT_FALSE(StillRunning(victim.hProcess));
    EndAndClose(victim);
}

// A program named like the infected file but run from another folder, and
// started first so that a search by name would meet it first: it lives on,
// while the process of the infected file itself is ended.
TEST(Win98, KillProcessByNameSparesADecoyFromAnotherFolder) {
    CreateDirectoryA("C:\\qxtest\\w98", nullptr);
    CreateDirectoryA("C:\\qxtest\\w98\\decoy", nullptr);
    const std::string path = "C:\\qxtest\\w98\\qx98lock.exe";
    const std::string decoyPath = "C:\\qxtest\\w98\\decoy\\qx98lock.exe";
    ASSERT_TRUE(CopyBesideTest("qx_victim.exe", path));
    ASSERT_TRUE(CopyBesideTest("qx_victim.exe", decoyPath));
    PROCESS_INFORMATION decoy = StartProgram(decoyPath);
    PROCESS_INFORMATION victim = StartProgram(path);

    EXPECT_EQ(KillProcessByName(path.c_str()), 1);
    Sleep(200);
    EXPECT_FALSE(StillRunning(victim.hProcess));
    EXPECT_TRUE(StillRunning(decoy.hProcess));

    // With only the decoy left, nothing is ended.
    EXPECT_EQ(KillProcessByName(path.c_str()), 0);
    EXPECT_TRUE(StillRunning(decoy.hProcess));
    EndAndClose(victim);
    EndAndClose(decoy);
}

BOOL WINAPI NoToken(HANDLE, DWORD, PHANDLE) {
    return FALSE;
}
int restarts = 0;
BOOL WINAPI RecordRestart(UINT flags, DWORD) {
    restarts += flags == 6;
    return TRUE;
}

TEST(Win98, RestartNeedsNoToken) {
    RestartCalls saved = RestartSystemCalls;
    RestartSystemCalls.openProcessToken = NoToken;
    RestartSystemCalls.exitWindows = RecordRestart;
    EXPECT_EQ(RestartComputer(), 1);
    RestartSystemCalls = saved;
    EXPECT_EQ(restarts, 1);
}

// Wine's tool-help gives bare file names, not the full paths Windows 98 gave:
// a program started from this program's folder is found through it.
TEST(Win98, TheMemoryPhaseEndsAnInfectedProgram) {
    const std::string worm = "C:\\qxtest\\qx98worm.exe";
    ASSERT_FALSE(CraftInfectedCopy("qx_victim.exe", worm).empty());
    PROCESS_INFORMATION infected = StartProgram(worm);
    BeginTestScan();

    ScanMemory();

    EndTestScan();
    EXPECT_FALSE(StillRunning(infected.hProcess));
    EXPECT_FALSE(FileExists(worm));
    ASSERT_EQ(SentLines().size(), 2u);
    EXPECT_EQ(SentLines()[0], "System Memory    W32/Bagle.Worm removed");
    EXPECT_EQ(SentLines()[1], "qx98worm.exe     W32/Bagle.Worm removed");
    EndAndClose(infected);
}

BOOL WINAPI WillNotEnd(HANDLE, UINT) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

// A program the memory phase could not end is not reported as removed from
// memory: it and its file are left for the drive walk to tell of.
TEST(Win98, AProgramThatWillNotEndIsNotReportedRemoved) {
    const std::string worm = "C:\\qxtest\\qx98held.exe";
    ASSERT_FALSE(CraftInfectedCopy("qx_victim.exe", worm).empty());
    PROCESS_INFORMATION infected = StartProgram(worm);
    const ProcessEndCalls saved = ProcessEndSystemCalls;
    ProcessEndSystemCalls.terminateProcess = WillNotEnd;
    BeginTestScan();

    ScanMemory();

    EndTestScan();
    ProcessEndSystemCalls = saved;
    EXPECT_TRUE(StillRunning(infected.hProcess));
    EXPECT_TRUE(FileExists(worm));
    EXPECT_EQ(SentLines(), std::vector<std::string>{});
    EndAndClose(infected);
    Sleep(200);
    DeleteFileA(worm.c_str());
}

// The wide registry calls are stubs on the 95 family: the backup reads through
// the narrow ones and writes REGEDIT4, which reg.exe brings back.
TEST(Win98, RegistryBackupIsRegedit4) {
    BeginTestScan();
    BeginScanLog();
    const char* key = "Software\\Qxq98";
    ASSERT_TRUE(MakeKey(HKEY_CURRENT_USER, key));
    ASSERT_TRUE(SetText(HKEY_CURRENT_USER, key, "Run me", "C:\\w98\\\"a\".exe"));
    ASSERT_TRUE(SetBytes(HKEY_CURRENT_USER, key, "bin", "\x01\x00\xff", 3, REG_BINARY));
    BackUpRegistryKey(HKEY_CURRENT_USER, key);
    EndScanLog();
    EndTestScan();
    DeleteTree(HKEY_CURRENT_USER, key);
    ASSERT_FALSE(KeyExists(HKEY_CURRENT_USER, key));

    const std::string file = "C:\\Quellix\\Quarantine\\" + RegistryBackupFileName();
    EXPECT_EQ(ReadFileBytes(file).rfind("REGEDIT4\r\n", 0), 0u);
    PROCESS_INFORMATION reg =
        StartProgram("C:\\windows\\system32\\reg.exe", "import \"" + file + "\"");
    ASSERT_TRUE(reg.hProcess != nullptr);
    WaitForSingleObject(reg.hProcess, 60000);
    DWORD status = 999;
    GetExitCodeProcess(reg.hProcess, &status);
    EndAndClose(reg);
    EXPECT_EQ(status, 0u);
    char text[64] = {};
    EXPECT_TRUE(ReadRegistryText(HKEY_CURRENT_USER, key, "Run me", text, sizeof text));
    EXPECT_STREQ(text, "C:\\w98\\\"a\".exe");
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, key, "bin"));
    DeleteTree(HKEY_CURRENT_USER, key);
}

}  // namespace
