// Deletion at the next start of Windows through the real pending-deletion
// list, wininit.ini on real files, and the restart with its system calls
// replaced where they would act.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "clean/win32/system_cleaning_win.h"
#include "detect/executable_scanner.h"
#include "scan/report_channel.h"
#include "state/program_state.h"
#include "tests/wine/clean/clean_test_support.h"

namespace {

constexpr char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";

std::vector<std::string> PendingDeletions() {
    std::vector<std::string> entries;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS) {
        return entries;
    }
    DWORD size = 0;
    if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) ==
        ERROR_SUCCESS) {
        std::vector<char> data(size + 2, '\0');
        RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(data.data()), &size);
        // Pairs of source and destination; a deletion has an empty destination.
        for (const char* p = data.data(); p < data.data() + size; p += strlen(p) + 1) {
            if (*p) entries.emplace_back(p);
        }
    }
    RegCloseKey(key);
    return entries;
}

bool Pending(const std::string& path) {
    for (const std::string& e : PendingDeletions()) {
        if (lstrcmpiA(e.c_str(), ("\\??\\" + path).c_str()) == 0) return true;
    }
    return false;
}

TEST(BootDelete, NtSchedulesThroughThePendingList) {
    ASSERT_EQ(PlatformClass(), 5);
    CreateDirectoryA("C:\\qxtest\\boot", nullptr);
    WriteFileBytes("C:\\qxtest\\boot\\sched.exe", "MZ");
    EXPECT_EQ(ScheduleBootDelete("C:\\qxtest\\boot\\sched.exe"), 1);
    EXPECT_TRUE(Pending("C:\\qxtest\\boot\\sched.exe"));
    // The system takes the request for a file that is not there as well.
    EXPECT_EQ(ScheduleBootDelete("C:\\qxtest\\boot\\missing.exe"), 1);
}

BOOL WINAPI RefuseMove(LPCSTR, LPCSTR, DWORD) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

HANDLE HoldOpen(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// A deletion the system refused to schedule asks for no restart, and does not
// take back the restart an earlier file of the scan is waiting for.
TEST(BootDelete, ARefusedSchedulingIsNoRestartAndKeepsAnEarlierOne) {
    CreateDirectoryA("C:\\qxtest\\refuse", nullptr);
    const std::string first = "C:\\qxtest\\refuse\\first.exe";
    const std::string refused = "C:\\qxtest\\refuse\\refused.exe";
    WriteFileBytes(first, "MZ first");
    WriteFileBytes(refused, "MZ refused");
    HANDLE holdFirst = HoldOpen(first);
    HANDLE holdRefused = HoldOpen(refused);
    ASSERT_NE(holdFirst, INVALID_HANDLE_VALUE);
    ASSERT_NE(holdRefused, INVALID_HANDLE_VALUE);
    const BootDeleteCalls saved = BootDeleteSystemCalls;
    BeginTestScan();

    BootDeleteSystemCalls.moveFileEx = RefuseMove;
    EXPECT_EQ(ScheduleBootDelete(refused.c_str()), 0);
    Remediate(refused.c_str(), "W32/Bagle.C.Worm");
    EXPECT_EQ(ScanState.RestartNeeded, 0);
    BootDeleteSystemCalls = saved;
    Remediate(first.c_str(), "W32/Bagle.C.Worm");
    BootDeleteSystemCalls.moveFileEx = RefuseMove;
    Remediate(refused.c_str(), "W32/Bagle.C.Worm");
    BootDeleteSystemCalls = saved;

    EndTestScan();
    CloseHandle(holdFirst);
    CloseHandle(holdRefused);
    EXPECT_EQ(SentLines(),
              (std::vector<std::string>{refused + "     W32/Bagle.C.Worm Unable to remove",
                                        first + "     W32/Bagle.C.Worm Unable to remove",
                                        refused + "     W32/Bagle.C.Worm Unable to remove"}));
    EXPECT_EQ(ScanState.RestartNeeded, 1);
    EXPECT_TRUE(Pending(first));
    EXPECT_FALSE(Pending(refused));
}

// Kept for the restart step that the shell test runs after this program.
TEST(BootDelete, ALockedDetectedFileIsLeftForTheRestart) {
    CreateDirectoryA("C:\\qxtest\\boot", nullptr);
    const std::string path = "C:\\qxtest\\boot\\locked.exe";
    WriteFileBytes(path, "MZ locked");
    HANDLE lock = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    BeginTestScan();

    Remediate(path.c_str(), "W32/Bagle.C.Worm");

    CloseHandle(lock);
    EndTestScan();
    EXPECT_EQ(SentLines(),
              std::vector<std::string>{path + "     W32/Bagle.C.Worm Unable to remove"});
    EXPECT_EQ(ScanState.RestartNeeded, 1);
    EXPECT_TRUE(FileExists(path));
    EXPECT_TRUE(Pending(path));
}

// --- wininit.ini on real files -----------------------------------------------

std::string WindowsFile(const char* name) {
    char dir[MAX_PATH];
    GetWindowsDirectoryA(dir, sizeof dir);
    return std::string(dir) + "\\" + name;
}

class Wininit : public ::testing::Test {
protected:
    void SetUp() override { Clear(); }
    void TearDown() override { Clear(); }
    void Clear() {
        SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(ini.c_str());
        DeleteFileA(side.c_str());
    }
    const std::string ini = WindowsFile("wininit.ini");
    const std::string side = WindowsFile("wininit.qx$");
};

TEST_F(Wininit, CreatesTheFileWithTheEntry) {
    ASSERT_TRUE(AddWininitRename("NUL", "C:\\PROGRA~1\\WORM.EXE"));
    EXPECT_EQ(ReadFileBytes(ini), "[rename]\r\nNUL=C:\\PROGRA~1\\WORM.EXE\r\n");
    EXPECT_FALSE(FileExists(side));
}

TEST_F(Wininit, RewritesAndLeavesTheWorkingCopy) {
    const std::string former = "[boot]\r\n[rename]\r\nNUL=C:\\OLD.EXE\r\n[386Enh]\r\n";
    WriteFileBytes(ini, former);
    ASSERT_TRUE(AddWininitRename("NUL", "C:\\WORM.EXE"));
    EXPECT_EQ(ReadFileBytes(ini),
              "[boot]\n[rename]\nNUL=C:\\OLD.EXE\nNUL=C:\\WORM.EXE\r\n[386Enh]\n");
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    EXPECT_EQ(ReadFileBytes(std::string(temp) + "wininit.ini"), former);
    EXPECT_FALSE(FileExists(side));
}

TEST_F(Wininit, AFileThatCannotBeReplacedKeepsItsContent) {
    const std::string former = "[rename]\r\nNUL=C:\\OLD.EXE\r\n";
    WriteFileBytes(ini, former);
    // Another program holds it open for reading only: it can be copied, not replaced.
    HANDLE holder = CreateFileA(ini.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(AddWininitRename("NUL", "C:\\WORM.EXE"));
    CloseHandle(holder);
    EXPECT_EQ(ReadFileBytes(ini), former);
    EXPECT_FALSE(FileExists(side));
}

// --- Restart -----------------------------------------------------------------

struct RestartRecord {
    int exitCalls = 0;
    UINT flags = 0;
    DWORD reason = 0;
    int adjustCalls = 0;
    DWORD privilegeCount = 0;
    LUID luid = {};
    DWORD attributes = 0;
} record;

BOOL WINAPI RecordExit(UINT flags, DWORD reason) {
    ++record.exitCalls;
    record.flags = flags;
    record.reason = reason;
    return TRUE;
}

BOOL WINAPI RecordAdjust(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES privileges, DWORD size,
                         PTOKEN_PRIVILEGES previous, PDWORD needed) {
    ++record.adjustCalls;
    record.privilegeCount = privileges->PrivilegeCount;
    record.luid = privileges->Privileges[0].Luid;
    record.attributes = privileges->Privileges[0].Attributes;
    return AdjustTokenPrivileges(token, disableAll, privileges, size, previous, needed);
}

BOOL WINAPI NotAllAssigned(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD) {
    SetLastError(ERROR_NOT_ALL_ASSIGNED);
    return TRUE;
}

BOOL WINAPI NoToken(HANDLE, DWORD, PHANDLE) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

class Restart : public ::testing::Test {
protected:
    void SetUp() override {
        saved = RestartSystemCalls;
        record = RestartRecord{};
        RestartSystemCalls.exitWindows = RecordExit;
    }
    void TearDown() override { RestartSystemCalls = saved; }
    RestartCalls saved;
};

TEST_F(Restart, EnablesTheShutdownPrivilegeAndAsksForAForcedReboot) {
    RestartSystemCalls.adjustTokenPrivileges = RecordAdjust;
    EXPECT_EQ(RestartComputer(), 1);
    LUID shutdown = {};
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &shutdown));
    EXPECT_EQ(record.adjustCalls, 1);
    EXPECT_EQ(record.privilegeCount, 1u);
    EXPECT_EQ(record.luid.LowPart, shutdown.LowPart);
    EXPECT_EQ(record.luid.HighPart, shutdown.HighPart);
    EXPECT_EQ(record.attributes, static_cast<DWORD>(SE_PRIVILEGE_ENABLED));
    EXPECT_EQ(record.exitCalls, 1);
    EXPECT_EQ(record.flags, 6u);  // EWX_REBOOT | EWX_FORCE
    EXPECT_EQ(record.reason, 0u);
}

TEST_F(Restart, APrivilegeNotGrantedStopsWithItsCode) {
    RestartSystemCalls.adjustTokenPrivileges = NotAllAssigned;
    EXPECT_EQ(RestartComputer(), ERROR_NOT_ALL_ASSIGNED);
    EXPECT_EQ(record.exitCalls, 0);
}

TEST_F(Restart, NoTokenNoRestart) {
    RestartSystemCalls.openProcessToken = NoToken;
    EXPECT_EQ(RestartComputer(), 0);
    EXPECT_EQ(record.exitCalls, 0);
}

// On Windows 7, as Wine reports by default, the service steps never apply.
TEST(Version, NtSixIsNoServiceClass) {
    EXPECT_EQ(PlatformClass(), 5);
    EXPECT_EQ(NtVersionClass(), 0);
}

}  // namespace
