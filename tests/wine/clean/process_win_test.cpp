// Ending processes of ours by their file's name under Wine: the tool-help
// kill ends one process only, the performance-data kill only equal names.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "clean/perf_data.h"
#include "clean/win32/system_cleaning_win.h"
#include "tests/wine/clean/clean_test_support.h"

namespace {

// Copies of the harmless victim program under chosen names.
std::string Victim(const char* dir, const char* name) {
    std::string folder = std::string("C:\\qxtest\\") + dir;
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string path = folder + "\\" + name;
    EXPECT_TRUE(CopyBesideTest("qx_victim.exe", path)) << path;
    return path;
}

TEST(KillByName, ToolhelpEndsOnlyTheFirstProcessOfThatName) {
    PROCESS_INFORMATION a = StartProgram(Victim("a", "qxtwin.exe"));
    PROCESS_INFORMATION b = StartProgram(Victim("b", "qxtwin.exe"));
    PROCESS_INFORMATION decoy = StartProgram(Victim("a", "qxtwinx.exe"));
    PROCESS_INFORMATION shortName = StartProgram(Victim("a", "qxtwi.exe"));

    EXPECT_EQ(KillByNameToolhelp("C:\\elsewhere\\QXTWIN.EXE"), 1);
    Sleep(200);
    EXPECT_EQ(StillRunning(a.hProcess) + StillRunning(b.hProcess), 1);
    EXPECT_TRUE(StillRunning(decoy.hProcess));
    EXPECT_TRUE(StillRunning(shortName.hProcess));

    EndAndClose(a);
    EndAndClose(b);
    EndAndClose(decoy);
    EndAndClose(shortName);
}

TEST(KillByName, ToolhelpFindsNothingForAnotherName) {
    PROCESS_INFORMATION a = StartProgram(Victim("a", "qxalone.exe"));
    EXPECT_EQ(KillByNameToolhelp("C:\\qxtest\\a\\qxalon.exe"), 0);
    EXPECT_TRUE(StillRunning(a.hProcess));
    EndAndClose(a);
}

// Wine's performance data lists no processes: the NT kill finds nothing.
TEST(KillByName, PerfDataUnderWineFindsNothing) {
    std::string path = Victim("a", "qxperf.exe");
    PROCESS_INFORMATION a = StartProgram(path);
    EXPECT_EQ(KillByNamePerfData(path.c_str()), 0);
    EXPECT_EQ(KillProcessByName(path.c_str()), 0);
    EXPECT_TRUE(StillRunning(a.hProcess));
    EXPECT_EQ(KillByNamePerfData("a.ex"), 0);  // 4 characters or fewer
    EndAndClose(a);
}

// The kill half of the performance-data path over a table the test fills
// with real processes: only the equal name ends.
TEST(KillByName, PerfDataTableEndsOnlyEqualNames) {
    PROCESS_INFORMATION svc = StartProgram(Victim("p", "qxsvc.exe"));
    PROCESS_INFORMATION svchost = StartProgram(Victim("p", "qxsvchost.exe"));
    PerfProcessEntry table[3] = {};
    table[0].processId = svchost.dwProcessId;
    lstrcpyA(table[0].name, "qxsvchost");
    table[1].processId = svc.dwProcessId;
    lstrcpyA(table[1].name, "QxSvc");
    table[2].processId = kPerfIdOfProcessZero;
    lstrcpyA(table[2].name, "qxsvc");

    char target[64];
    ASSERT_TRUE(PerfTargetFromPath("C:\\Dir\\qxsvc.exe", target, sizeof target));
    EXPECT_EQ(EndPerfDataMatches(table, 3, target), 1);
    Sleep(200);
    EXPECT_FALSE(StillRunning(svc.hProcess));
    EXPECT_TRUE(StillRunning(svchost.hProcess));

    EndAndClose(svc);
    EndAndClose(svchost);
}

}  // namespace
