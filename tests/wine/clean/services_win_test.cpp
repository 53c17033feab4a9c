// The service steps on NT 5.x: Wine's version is set to Windows XP for this
// program. A service program of ours runs under Wine's service manager.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include <cstring>
#include <vector>

#include "clean/win32/system_cleaning_win.h"
#include "detect/executable_scanner.h"
#include "scan/report_channel.h"
#include "state/program_state.h"
#include "tests/wine/clean/clean_test_support.h"
#include "tests/wine/support/scripted_message_box.h"

namespace {

constexpr char kServiceName[] = "QxTestSvc";

class ServiceManager : public ::testing::Test {
protected:
    void SetUp() override {
        manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(manager, nullptr);
        Remove();
    }
    void TearDown() override {
        Remove();
        CloseServiceHandle(manager);
        StopServiceWaitLimitMs = 30000;
    }

    // Installs and starts the service program; true once it runs.
    bool Start(const char* arguments,
               const std::string& program = BesideTest("qx_test_service.exe"),
               const char* name = kServiceName) {
        std::string command = "\"" + program + "\" " + arguments;
        SC_HANDLE service =
            CreateServiceA(manager, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                           SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, command.c_str(), nullptr,
                           nullptr, nullptr, nullptr, nullptr);
        if (!service) return false;
        bool running = StartServiceA(service, 0, nullptr) != FALSE;
        for (int i = 0; running && i < 100; ++i) {
            SERVICE_STATUS_PROCESS status = {};
            DWORD needed = 0;
            QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                 sizeof status, &needed);
            processId = status.dwProcessId;
            if (status.dwCurrentState == SERVICE_RUNNING) break;
            Sleep(50);
        }
        CloseServiceHandle(service);
        return running;
    }

    DWORD State(const char* name = kServiceName) {
        SC_HANDLE service = OpenServiceA(manager, name, SERVICE_QUERY_STATUS);
        SERVICE_STATUS status = {};
        if (service) QueryServiceStatus(service, &status);
        if (service) CloseServiceHandle(service);
        return status.dwCurrentState;
    }

    void Remove(const char* name = kServiceName) {
        if (processId) {
            HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, processId);
            if (process) {
                TerminateProcess(process, 0);
                WaitForSingleObject(process, 5000);
                CloseHandle(process);
            }
            processId = 0;
        }
        SC_HANDLE service = OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
        if (service) {
            SERVICE_STATUS status;
            ControlService(service, SERVICE_CONTROL_STOP, &status);
            DeleteService(service);
            CloseServiceHandle(service);
        }
    }

    SC_HANDLE manager = nullptr;
    DWORD processId = 0;
};

TEST(NtFiveVersion, TakesTheServiceSteps) {
    EXPECT_EQ(PlatformClass(), 5);
    EXPECT_EQ(NtVersionClass(), 6);
}

TEST_F(ServiceManager, StopsARunningService) {
    ASSERT_TRUE(Start(""));
    ASSERT_EQ(State(), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(StopService(kServiceName), 1);
    EXPECT_EQ(State(), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_F(ServiceManager, GivesUpOnAServiceThatStaysStopPending) {
    ASSERT_TRUE(Start("hang"));
    StopServiceWaitLimitMs = 3000;
    DWORD began = GetTickCount();
    EXPECT_EQ(StopService(kServiceName), 0);
    DWORD took = GetTickCount() - began;
    EXPECT_GE(took, 3000u);
    EXPECT_LT(took, 8000u);
    EXPECT_EQ(State(), static_cast<DWORD>(SERVICE_STOP_PENDING));
}

// --- A worm that runs as a service ------------------------------------------

// Its process ended, the service is taken as one that could not be stopped:
// its keys go, and the scan asks for a restart and ends.
TEST_F(ServiceManager, AnInfectedServiceLeadsToTheRestartQuestionAndTheEnd) {
    const char* svc = "qxwormsvc";
    const std::string worm = "C:\\qxtest\\qxwormsvc.exe";
    ASSERT_FALSE(CraftInfectedCopy("qx_test_service.exe", worm).empty());
    ASSERT_TRUE(Start("", worm, svc));
    ASSERT_EQ(State(svc), static_cast<DWORD>(SERVICE_RUNNING));
    const std::string set1 = std::string("SYSTEM\\ControlSet001\\Services\\") + svc;
    const std::string set2 = std::string("SYSTEM\\ControlSet002\\Services\\") + svc;
    ASSERT_TRUE(MakeKey(HKEY_LOCAL_MACHINE, (set1 + "\\Enum").c_str()));
    ASSERT_TRUE(MakeKey(HKEY_LOCAL_MACHINE, (set2 + "\\Security").c_str()));

    BeginTestScan();
    SetScriptedAnswer([](const AskedQuestion&) { return 1; });  // OK

    ScanMemory();

    SetScriptedAnswer(nullptr);
    EndTestScan();

    EXPECT_EQ(ScanState.ServiceRestartNeeded, 1);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, set1.c_str()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, set2.c_str()));
    EXPECT_FALSE(FileExists(worm));
    EXPECT_EQ(SentLines(), (std::vector<std::string>{"System Memory    W32/Bagle.Worm removed",
                                                     worm + "     W32/Bagle.Worm removed"}));
    ASSERT_EQ(AskedQuestions().size(), 1u);
    EXPECT_EQ(AskedQuestions()[0].text,
              "W32/OnlineGames.Worm found in memory! registry entries created by the worm are "
              "removed. You must restart the computer and run this program to continue "
              "scanning.\n\nRestart the computer now?");
    EXPECT_EQ(AskedQuestions()[0].caption, "Quellix Ver 7.0");
    EXPECT_EQ(AskedQuestions()[0].style, 0x41u);
    ASSERT_EQ(RestartRequests().size(), 1u);
    EXPECT_EQ(RestartRequests()[0].first, 6u);
    EXPECT_EQ(ProgramEnds(), 1);
    EXPECT_EQ(LastProgramEndCode(), 0u);
    processId = 0;
    Remove(svc);
}

// A worm that is no service: the service steps find nothing to delete, and
// the scan goes on without the question.
TEST_F(ServiceManager, AnInfectedPlainProgramDoesNotEndTheScan) {
    CreateDirectoryA("C:\\qxtest\\xp", nullptr);
    const std::string worm = "C:\\qxtest\\xp\\qxwormxp.exe";
    ASSERT_FALSE(CraftInfectedCopy("qx_victim.exe", worm).empty());
    PROCESS_INFORMATION infected = StartProgram(worm);
    BeginTestScan();

    ScanMemory();

    EndTestScan();
    EXPECT_FALSE(StillRunning(infected.hProcess));
    EXPECT_FALSE(FileExists(worm));
    EXPECT_EQ(SentLines(), (std::vector<std::string>{"System Memory    W32/Bagle.Worm removed",
                                                     worm + "     W32/Bagle.Worm removed"}));
    EXPECT_EQ(ScanState.ServiceRestartNeeded, 1);
    EXPECT_TRUE(AskedQuestions().empty());
    EXPECT_EQ(ProgramEnds(), 0);
    EndAndClose(infected);
}

// The system's own service named like an infected running program (an
// infected alg.exe in a user's folder, and the ALG service): the program is
// ended and removed as before, the service runs on and keeps its keys.
TEST_F(ServiceManager, AServiceNamedLikeTheWormButRunningAnotherProgramSurvives) {
    const char* svc = "qxalg";
    CreateDirectoryA("C:\\qxtest\\xp", nullptr);
    const std::string worm = "C:\\qxtest\\xp\\qxalg.exe";
    ASSERT_FALSE(CraftInfectedCopy("qx_victim.exe", worm).empty());
    ASSERT_TRUE(Start("", BesideTest("qx_test_service.exe"), svc));
    ASSERT_EQ(State(svc), static_cast<DWORD>(SERVICE_RUNNING));
    const std::string set1 = std::string("SYSTEM\\ControlSet001\\Services\\") + svc;
    const std::string set2 = std::string("SYSTEM\\ControlSet002\\Services\\") + svc;
    ASSERT_TRUE(MakeKey(HKEY_LOCAL_MACHINE, (set1 + "\\Enum").c_str()));
    ASSERT_TRUE(MakeKey(HKEY_LOCAL_MACHINE, (set2 + "\\Security").c_str()));
    PROCESS_INFORMATION infected = StartProgram(worm);
    EXPECT_FALSE(ServiceRunsFile(svc, worm.c_str()));
    BeginTestScan();

    ScanMemory();

    EndTestScan();
    EXPECT_FALSE(StillRunning(infected.hProcess));
    EXPECT_FALSE(FileExists(worm));
    EXPECT_EQ(SentLines(), (std::vector<std::string>{"System Memory    W32/Bagle.Worm removed",
                                                     worm + "     W32/Bagle.Worm removed"}));
    EXPECT_EQ(State(svc), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, (set1 + "\\Enum").c_str()));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, (set2 + "\\Security").c_str()));
    EXPECT_TRUE(AskedQuestions().empty());
    EXPECT_EQ(ProgramEnds(), 0);
    EndAndClose(infected);
    DeleteTree(HKEY_LOCAL_MACHINE, set1.c_str());
    DeleteTree(HKEY_LOCAL_MACHINE, set2.c_str());
    Remove(svc);
}

// A worm service written straight into the registry, which the service
// manager learns of only at the next start: its ImagePath names the
// infected file, so its keys go and the scan asks for the restart.
TEST_F(ServiceManager, AWormServiceKnownOnlyByItsKeysLosesThem) {
    const char* svc = "qxregworm";
    CreateDirectoryA("C:\\qxtest\\xp", nullptr);
    const std::string worm = "C:\\qxtest\\xp\\qxregworm.exe";
    ASSERT_FALSE(CraftInfectedCopy("qx_victim.exe", worm).empty());
    const std::string set1 = std::string("SYSTEM\\ControlSet001\\Services\\") + svc;
    ASSERT_TRUE(MakeKey(HKEY_LOCAL_MACHINE, (set1 + "\\Enum").c_str()));
    ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, set1.c_str(), "ImagePath", "\"" + worm + "\" -s"));
    PROCESS_INFORMATION infected = StartProgram(worm);
    EXPECT_TRUE(ServiceRunsFile(svc, worm.c_str()));
    BeginTestScan();
    SetScriptedAnswer([](const AskedQuestion&) { return 2; });  // Cancel

    ScanMemory();

    SetScriptedAnswer(nullptr);
    EndTestScan();
    EXPECT_FALSE(StillRunning(infected.hProcess));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, set1.c_str()));
    EXPECT_EQ(AskedQuestions().size(), 1u);
    EXPECT_TRUE(RestartRequests().empty());
    EXPECT_EQ(ProgramEnds(), 1);
    EndAndClose(infected);
    DeleteTree(HKEY_LOCAL_MACHINE, set1.c_str());
}

// The binary path in the forms services are registered with, read from a
// service key of the registry; only the forms naming the file say yes.
TEST(ServiceBinary, FormsOfTheImagePath) {
    CreateDirectoryA("C:\\qxtest\\svcpath", nullptr);
    CreateDirectoryA("C:\\qxtest\\svcpath\\A Long Folder", nullptr);
    const std::string file = "C:\\qxtest\\svcpath\\A Long Folder\\qxpathsvc.exe";
    WriteFileBytes(file, "MZ");
    WriteFileBytes("C:\\qxtest\\svcpath\\other.exe", "MZ");
    char shortPath[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(file.c_str(), shortPath, sizeof shortPath), 0u);
    char windows[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(windows, sizeof windows), 0u);
    const std::string inWindows = std::string(windows) + "\\qxrootsvc.exe";
    WriteFileBytes(inWindows, "MZ");
    const char* key = "SYSTEM\\ControlSet001\\Services\\qxpathsvc";
    struct {
        std::string imagePath;
        DWORD type;
        std::string infected;
        bool runsFile;
    } cases[] = {
        {"\"" + file + "\" -k x", REG_SZ, file, true},
        {std::string(shortPath) + " -k x", REG_SZ, file, true},
        {"\"" + file + "\"", REG_SZ, shortPath, true},
        {"\\??\\" + file, REG_SZ, file, true},
        {"C:\\qxtest\\svcpath\\A Long Folder\\qxpathsvc.exe /s", REG_SZ, file, true},
        {"%SystemRoot%\\qxrootsvc.exe -x", REG_EXPAND_SZ, inWindows, true},
        {"\\SystemRoot\\qxrootsvc.exe", REG_EXPAND_SZ, inWindows, true},
        {"C:\\qxtest\\svcpath\\other.exe " + file, REG_SZ, file, false},
        {"\"" + file + "2\"", REG_SZ, file, false},
        {"qxpathsvc.exe", REG_SZ, file, false},
        {"%SystemRoot%\\qxrootsvc.exe", REG_EXPAND_SZ, file, false},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(SetBytes(HKEY_LOCAL_MACHINE, key, "ImagePath", c.imagePath.c_str(),
                             static_cast<DWORD>(c.imagePath.size() + 1), c.type));
        EXPECT_EQ(ServiceRunsFile("qxpathsvc", c.infected.c_str()), c.runsFile)
            << c.imagePath << " for " << c.infected;
    }
    DeleteTree(HKEY_LOCAL_MACHINE, key);
    EXPECT_FALSE(ServiceRunsFile("qxpathsvc", file.c_str()));
    DeleteFileA(inWindows.c_str());
}

TEST_F(ServiceManager, NoSuchServiceIsNotStopped) {
    EXPECT_EQ(StopService("QxNoSuchService"), 0);
}

// --- The six service keys ----------------------------------------------------

const char* const kAllKeys[] = {
    "SYSTEM\\ControlSet001\\Services\\QxWormSvc\\Enum",
    "SYSTEM\\ControlSet001\\Services\\QxWormSvc\\Security",
    "SYSTEM\\ControlSet001\\Services\\QxWormSvc",
    "SYSTEM\\ControlSet002\\Services\\QxWormSvc\\Enum",
    "SYSTEM\\ControlSet002\\Services\\QxWormSvc\\Security",
    "SYSTEM\\ControlSet002\\Services\\QxWormSvc",
};

class ServiceKeys : public ::testing::Test {
protected:
    void TearDown() override {
        DeleteTree(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001\\Services\\QxWormSvc");
        DeleteTree(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet002\\Services\\QxWormSvc");
    }
};

TEST_F(ServiceKeys, RemovesAllSixFromBothControlSets) {
    for (const char* key : kAllKeys) ASSERT_TRUE(MakeKey(HKEY_LOCAL_MACHINE, key)) << key;
    EXPECT_EQ(DeleteServiceKeys("QxWormSvc"), 1);
    for (const char* key : kAllKeys) EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key)) << key;
}

TEST_F(ServiceKeys, OnlyTheSecondControlSet) {
    ASSERT_TRUE(MakeKey(HKEY_LOCAL_MACHINE, kAllKeys[3]));
    EXPECT_EQ(DeleteServiceKeys("QxWormSvc"), 1);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAllKeys[5]));
}

TEST_F(ServiceKeys, NoKeysAtAll) {
    EXPECT_EQ(DeleteServiceKeys("QxWormSvc"), 0);
}

TEST_F(ServiceKeys, AKeyWithOtherSubkeysStays) {
    ASSERT_TRUE(
        MakeKey(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001\\Services\\QxWormSvc\\Parameters"));
    ASSERT_TRUE(MakeKey(HKEY_LOCAL_MACHINE, kAllKeys[0]));
    EXPECT_EQ(DeleteServiceKeys("QxWormSvc"), 1);  // Enum went
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAllKeys[0]));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kAllKeys[2]));
}

TEST_F(ServiceKeys, ANameTooLongForTheKeyBufferTouchesNothing) {
    EXPECT_EQ(DeleteServiceKeys(std::string(600, 'Q').c_str()), 0);
}

}  // namespace
