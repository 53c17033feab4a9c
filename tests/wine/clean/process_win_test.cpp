// Ending processes of ours because of a file under Wine: only a process whose
// image file is that file ends, whatever others are named like it; the
// tool-help kill ends one process only.
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

// Two processes of the file and one of another file with the same name: one
// of the two ends (the first found), the one from another folder never does.
TEST(KillByName, ToolhelpEndsOnlyTheFirstProcessOfThatFile) {
    const std::string twin = Victim("a", "qxtwin.exe");
    PROCESS_INFORMATION a = StartProgram(twin);
    PROCESS_INFORMATION a2 = StartProgram(twin);
    PROCESS_INFORMATION elsewhere = StartProgram(Victim("b", "qxtwin.exe"));
    PROCESS_INFORMATION decoy = StartProgram(Victim("a", "qxtwinx.exe"));

    EXPECT_EQ(KillByNameToolhelp("C:\\QXTEST\\A\\QXTWIN.EXE"), 1);
    Sleep(200);
    EXPECT_EQ(StillRunning(a.hProcess) + StillRunning(a2.hProcess), 1);
    EXPECT_TRUE(StillRunning(elsewhere.hProcess));
    EXPECT_TRUE(StillRunning(decoy.hProcess));

    EndAndClose(a);
    EndAndClose(a2);
    EndAndClose(elsewhere);
    EndAndClose(decoy);
}

// A file of that name elsewhere: no process of it runs, nothing ends.
TEST(KillByName, ToolhelpEndsNothingForTheSameNameInAnotherFolder) {
    PROCESS_INFORMATION a = StartProgram(Victim("a", "qxalone.exe"));
    EXPECT_EQ(KillByNameToolhelp("C:\\qxtest\\elsewhere\\qxalone.exe"), 0);
    EXPECT_EQ(KillByNameToolhelp("C:\\qxtest\\a\\qxalon.exe"), 0);
    EXPECT_EQ(KillByNameToolhelp("qxalone.exe"), 0);
    EXPECT_TRUE(StillRunning(a.hProcess));
    EndAndClose(a);
}

// The short (8.3) and the long form of a path name the same file, whichever
// form the process was started with.
TEST(KillByName, ShortAndLongFormsNameTheSameFile) {
    CreateDirectoryA("C:\\qxtest\\A Long Folder Name", nullptr);
    const std::string longPath = "C:\\qxtest\\A Long Folder Name\\a long program name.exe";
    ASSERT_TRUE(CopyBesideTest("qx_victim.exe", longPath));
    char shortPath[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(longPath.c_str(), shortPath, sizeof shortPath), 0u);
    ASSERT_EQ(std::string(shortPath).find(' '), std::string::npos) << shortPath;
    EXPECT_TRUE(SameFile(shortPath, longPath.c_str()));
    EXPECT_TRUE(SameFile(longPath.c_str(), shortPath));
    EXPECT_FALSE(SameFile(shortPath, "C:\\qxtest\\A Long Folder Name\\a long program name.ex"));
    EXPECT_FALSE(SameFile("", ""));

    PROCESS_INFORMATION startedLong = StartProgram(longPath);
    EXPECT_EQ(KillByNameToolhelp(shortPath), 1);
    Sleep(200);
    EXPECT_FALSE(StillRunning(startedLong.hProcess));
    EndAndClose(startedLong);

    PROCESS_INFORMATION startedShort = StartProgram(shortPath);
    EXPECT_EQ(KillByNameToolhelp(longPath.c_str()), 1);
    Sleep(200);
    EXPECT_FALSE(StillRunning(startedShort.hProcess));
    EndAndClose(startedShort);
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
// with real processes: only the equal name of the file itself ends; the same
// name running from another folder, and an identifier that opens no process,
// are left alone.
TEST(KillByName, PerfDataTableEndsOnlyTheProcessOfTheFile) {
    const std::string path = Victim("p", "qxsvc.exe");
    PROCESS_INFORMATION svc = StartProgram(path);
    PROCESS_INFORMATION svchost = StartProgram(Victim("p", "qxsvchost.exe"));
    PROCESS_INFORMATION decoy = StartProgram(Victim("q", "qxsvc.exe"));
    PerfProcessEntry table[4] = {};
    table[0].processId = svchost.dwProcessId;
    lstrcpyA(table[0].name, "qxsvchost");
    table[1].processId = decoy.dwProcessId;
    lstrcpyA(table[1].name, "qxsvc");
    table[2].processId = svc.dwProcessId;
    lstrcpyA(table[2].name, "QxSvc");
    table[3].processId = kPerfIdOfProcessZero;
    lstrcpyA(table[3].name, "qxsvc");

    char target[64];
    ASSERT_TRUE(PerfTargetFromPath(path.c_str(), target, sizeof target));
    EXPECT_EQ(EndPerfDataMatches(table, 4, target, path.c_str()), 1);
    Sleep(200);
    EXPECT_FALSE(StillRunning(svc.hProcess));
    EXPECT_TRUE(StillRunning(svchost.hProcess));
    EXPECT_TRUE(StillRunning(decoy.hProcess));

    // Only the decoy named like the file is left: nothing more ends.
    EXPECT_EQ(EndPerfDataMatches(table, 4, target, path.c_str()), 0);
    EXPECT_TRUE(StillRunning(decoy.hProcess));

    EndAndClose(svc);
    EndAndClose(svchost);
    EndAndClose(decoy);
}

}  // namespace
