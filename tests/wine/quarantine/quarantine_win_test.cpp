// The quarantine, the registry backup and the scan log under Wine: every
// detection kind copied before it is removed and restored byte for byte, a
// locked file copied now and deleted at the next start, the .reg file brought
// back by the real reg.exe, and a second
// walk that finds nothing in the quarantine.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "clean/win32/system_cleaning_win.h"
#include "detect/executable_scanner.h"
#include "quarantine/quarantine_store.h"
#include "quarantine/scan_log.h"
#include "scan/walker.h"
#include "state/program_state.h"
#include "tests/wine/clean/clean_test_support.h"
#include "tests/wine/support/scripted_message_box.h"
#include "tools/quellix_restore/restore_tool.h"
#include "tools/samples/detection_samples.h"

namespace {

constexpr char kQuarantine[] = "C:\\Quellix\\Quarantine";
constexpr char kLog[] = "C:\\Quellix\\Quellix.log";

std::string Bytes(const SampleBytes& b) {
    return std::string(b.begin(), b.end());
}

// Every file name in a folder that matches the pattern, sorted.
std::vector<std::string> Names(const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> Items() {
    return Names(std::string(kQuarantine) + "\\*.qrn");
}

std::vector<std::string> LogLines() {
    std::string text = ReadFileBytes(kLog);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// The note the log holds right after the result line; empty when none.
std::string NoteAfter(const std::string& line) {
    std::vector<std::string> log = LogLines();
    auto at = std::find(log.rbegin(), log.rend(), line);
    if (at == log.rend() || at == log.rbegin()) return "";
    return *(at - 1);
}

int RestoreTool(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    return RunRestoreTool(static_cast<int>(argv.size()), argv.data(), stdout, stderr);
}

class WineQuarantine : public ::testing::Test {
protected:
    void SetUp() override {
        BeginTestScan();
        ScanState.MemoryScanMode = 0;
        CreateDirectoryA("C:\\qxq", nullptr);
        CreateDirectoryA(kFolder, nullptr);
        BeginScanLog();
    }
    void TearDown() override {
        EndScanLog();
        EndTestScan();
    }

    static constexpr char kFolder[] = "C:\\qxq\\kinds";
};

TEST_F(WineQuarantine, EveryKindIsCopiedThenRemovedAndComesBackByteForByte) {
    const std::vector<DetectionSample> samples = DetectionSamples();
    ASSERT_EQ(samples.size(), 5u);
    const std::vector<std::string> before = Items();
    for (const DetectionSample& s : samples) {
        WriteFileBytes(std::string(kFolder) + "\\" + s.kind + "-sample", Bytes(s.bytes));
    }
    WalkDirectory("C:\\qxq\\kinds\\*.*");

    std::vector<std::string> ids;
    for (const DetectionSample& s : samples) {
        const std::string path = std::string(kFolder) + "\\" + s.kind + "-sample";
        const std::string line =
            path + "     " + s.detectionName + (s.kind == "script" ? " Virus removed" : " removed");
        EXPECT_NE(std::find(SentLines().begin(), SentLines().end(), line), SentLines().end())
            << line;
        EXPECT_FALSE(FileExists(path));
        const std::string note = NoteAfter(line);
        ASSERT_EQ(note.rfind("    Quarantine: ", 0), 0u) << line << " / " << note;
        ids.push_back(note.substr(16));
    }
    EXPECT_EQ(Items().size(), before.size() + samples.size());

    for (std::size_t i = 0; i < samples.size(); ++i) {
        EXPECT_EQ(RestoreTool({"restore", ids[i]}), kRestoreDone) << ids[i];
        EXPECT_EQ(ReadFileBytes(std::string(kFolder) + "\\" + samples[i].kind + "-sample"),
                  Bytes(samples[i].bytes))
            << samples[i].kind;
        // Once back, restoring again has nothing to do and overwrites nothing.
        EXPECT_EQ(RestoreTool({"restore", ids[i]}), kRestoreNothingToDo);
    }

    // A second scan's walk of the quarantine and the log: nothing there is a finding.
    BeginTestScan();
    BeginScanLog();
    ScanState.MemoryScanMode = 0;
    const std::vector<std::string> items = Items();
    WalkDirectory("C:\\Quellix\\*.*");
    EXPECT_EQ(ScanState.FilesInfected, 0);
    EXPECT_GE(ScanState.FilesScanned, static_cast<int>(items.size()) + 1);
    EXPECT_TRUE(SentLines().empty());
    EXPECT_EQ(Items(), items);
    for (const DetectionSample& s : samples) {
        DeleteFileA((std::string(kFolder) + "\\" + s.kind + "-sample").c_str());
    }
}

// A file that cannot be deleted now is copied now; the copy stays for the
// deletion at the next start of Windows.
TEST_F(WineQuarantine, ALockedFileIsCopiedNowForTheDeletionAtTheNextStart) {
    const SampleBytes zip = DetectionSamples()[2].bytes;
    const std::string path = std::string(kFolder) + "\\locked-sample";
    WriteFileBytes(path, Bytes(zip));
    HANDLE lock = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    Remediate(path.c_str(), "W32/Bagle.H.Worm");
    CloseHandle(lock);

    const std::string line = path + "     W32/Bagle.H.Worm Unable to remove";
    ASSERT_EQ(SentLines().back(), line);
    EXPECT_EQ(ScanState.RestartNeeded, 1);
    const std::string note = NoteAfter(line);
    ASSERT_NE(note.find(" (the file goes at the next start of Windows)"), std::string::npos)
        << note;
    const std::string id = note.substr(16, note.find(' ', 16) - 16);
    EXPECT_EQ(RestoreTool({"restore", id, "--to", "C:\\qxq\\locked-copy"}), kRestoreDone);
    EXPECT_EQ(ReadFileBytes("C:\\qxq\\locked-copy"), Bytes(zip));
    DeleteFileA(path.c_str());
    DeleteFileA("C:\\qxq\\locked-copy");
}

// The memory phase removes the file of a process it ended without reading it
// again; the copy is made all the same.
TEST_F(WineQuarantine, TheMemoryPhaseRemovalKeepsACopy) {
    const SampleBytes bytes = DetectionSamples()[0].bytes;
    const std::string path = std::string(kFolder) + "\\memory-sample.exe";
    WriteFileBytes(path, Bytes(bytes));
    ScanState.MemoryScanMode = 1;
    ScanState.MemoryRemediation = 1;
    WalkDirectory(path.c_str());
    ScanState.MemoryRemediation = 0;
    ScanState.MemoryScanMode = 0;

    const std::string line = path + "     W32/Bagle.Worm removed";
    EXPECT_EQ(SentLines(),
              (std::vector<std::string>{"System Memory    W32/Bagle.Worm removed", line}));
    EXPECT_FALSE(FileExists(path));
    const std::string note = NoteAfter(line);
    ASSERT_EQ(note.rfind("    Quarantine: ", 0), 0u) << note;
    EXPECT_EQ(RestoreTool({"restore", note.substr(16)}), kRestoreDone);
    EXPECT_EQ(ReadFileBytes(path), Bytes(bytes));
    DeleteFileA(path.c_str());
}

TEST_F(WineQuarantine, TheLogHeaderNamesWindowsAndTheBuild) {
    std::vector<std::string> log = LogLines();
    auto system = std::find_if(log.rbegin(), log.rend(),
                               [](const std::string& l) { return l.rfind("System: ", 0) == 0; });
    ASSERT_NE(system, log.rend());
    EXPECT_EQ(system->rfind("System: Windows ", 0), 0u) << *system;
    EXPECT_NE(system->find(", NT family, 64-bit"), std::string::npos) << *system;
    auto program = system + 1;  // the line before it
    EXPECT_EQ(*program, sizeof(void*) == 8 ? "Program: Quellix Ver 7.0, x64"
                                           : "Program: Quellix Ver 7.0, x86");
}

// --- Registry ---------------------------------------------------------------

constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kInfected[] = "c:\\qxq\\reg\\qxqworm.exe";

struct SavedValue {
    HKEY root;
    std::string key;
    std::string name;
    DWORD type;
    std::string data;
};

// The values of the service keys: of every type a .reg file writes.
std::vector<SavedValue> ServiceValues(const std::string& controlSet) {
    const std::string key = "SYSTEM\\" + controlSet + "\\Services\\QxqSvc";
    const std::string dword("\x03\x00\x00\x00", 4);
    const std::string multi("LanmanServer\0Tcpip\0\0", 20);
    const std::string security("\x01\x00\x14\x80\xff\x00\x0a\x0d\x22\x5c", 10);
    return {
        {HKEY_LOCAL_MACHINE, key, "ImagePath", REG_EXPAND_SZ,
         std::string("%SystemRoot%\\qxqworm.exe\0", 25)},
        {HKEY_LOCAL_MACHINE, key, "DisplayName", REG_SZ, std::string("Qxq \"test\" svc\0", 15)},
        {HKEY_LOCAL_MACHINE, key, "Start", REG_DWORD, dword},
        {HKEY_LOCAL_MACHINE, key, "DependOnService", REG_MULTI_SZ, multi},
        {HKEY_LOCAL_MACHINE, key + "\\Security", "Security", REG_BINARY, security},
        {HKEY_LOCAL_MACHINE, key + "\\Enum", "0", REG_SZ,
         std::string("Root\\LEGACY_QXQSVC\\0000\0", 25)},
        {HKEY_LOCAL_MACHINE, key + "\\Enum", "Count", REG_DWORD, std::string("\x01\0\0\0", 4)},
    };
}

std::string ReadValue(HKEY root, const std::string& key, const std::string& name, DWORD& type) {
    HKEY k;
    type = 0;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &k) != ERROR_SUCCESS) {
        return "<no key>";
    }
    DWORD size = 0;
    std::string data = "<no value>";
    if (RegQueryValueExA(k, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        data.assign(size, '\0');
        RegQueryValueExA(k, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
        data.resize(size);
    }
    RegCloseKey(k);
    return data;
}

// Runs Wine's reg.exe; its exit status.
DWORD RunReg(const std::string& arguments) {
    PROCESS_INFORMATION info = StartProgram("C:\\windows\\system32\\reg.exe", arguments);
    if (!info.hProcess) return 999;
    WaitForSingleObject(info.hProcess, 60000);
    DWORD status = 999;
    GetExitCodeProcess(info.hProcess, &status);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    return status;
}

TEST_F(WineQuarantine, DeletedRegistryDataComesBackWithRegImport) {
    std::vector<SavedValue> saved = ServiceValues("ControlSet001");
    for (const SavedValue& v : ServiceValues("ControlSet002")) saved.push_back(v);
    saved.push_back(
        {HKEY_CURRENT_USER, kRunKey, "qxq worm", REG_SZ, std::string(kInfected) + '\0'});
    saved.push_back({HKEY_LOCAL_MACHINE, kRunKey, "qxq\\worm", REG_SZ,
                     "\"" + std::string(kInfected) + "\"" + '\0'});
    for (const SavedValue& v : saved) {
        ASSERT_TRUE(MakeKey(v.root, v.key.c_str()));
        ASSERT_TRUE(SetBytes(v.root, v.key.c_str(), v.name.c_str(), v.data.data(),
                             static_cast<DWORD>(v.data.size()), v.type));
    }

    std::strcpy(CurrentFilePath, kInfected);
    SweepKnownStartupEntries();
    DeleteServiceKeys("QxqSvc");
    for (const SavedValue& v : saved) {
        DWORD type;
        EXPECT_EQ(ReadValue(v.root, v.key, v.name, type).substr(0, 4), "<no ")
            << v.key << " " << v.name;
    }

    const std::vector<std::string> backups = Names(std::string(kQuarantine) + "\\*-registry.reg");
    ASSERT_FALSE(backups.empty());
    const std::string file = std::string(kQuarantine) + "\\" + backups.back();
    const std::string text = ReadFileBytes(file);
    EXPECT_EQ(text.rfind("REGEDIT4\r\n", 0), 0u);
    std::vector<std::string> log = LogLines();
    for (const char* key :
         {"HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\QxqSvc with its subkeys",
          "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run, "
          "value \"qxq worm\""}) {
        const std::string note =
            std::string("    Registry backup: ") + key + " saved in " + backups.back();
        EXPECT_NE(std::find(log.begin(), log.end(), note), log.end()) << note;
    }

    EXPECT_EQ(RunReg("import \"" + file + "\" /reg:64"), 0u);
    for (const SavedValue& v : saved) {
        DWORD type = 0;
        EXPECT_EQ(ReadValue(v.root, v.key, v.name, type), v.data) << v.key << " " << v.name;
        EXPECT_EQ(type, v.type) << v.key << " " << v.name;
    }
    for (const char* set : {"ControlSet001", "ControlSet002"}) {
        DeleteTree(HKEY_LOCAL_MACHINE,
                   (std::string("SYSTEM\\") + set + "\\Services\\QxqSvc").c_str());
    }
    DeleteValue(HKEY_CURRENT_USER, kRunKey, "qxq worm");
    DeleteValue(HKEY_LOCAL_MACHINE, kRunKey, "qxq\\worm");
}

// A worm whose service cannot be stopped ends the program after the memory
// phase: the log still tells the end and the answer, the worm's file is kept
// in the quarantine and its service key in the .reg file.
TEST_F(WineQuarantine, TheMemoryPhaseEndingTheProgramLeavesCopyBackupAndLog) {
    const char* svc = "qxqregworm";
    CreateDirectoryA("C:\\qxtest\\qxq", nullptr);
    const std::string worm = "C:\\qxtest\\qxq\\qxqregworm.exe";
    ASSERT_FALSE(CraftInfectedCopy("qx_victim.exe", worm).empty());
    const std::string wormBytes = ReadFileBytes(worm);
    const std::string key = std::string("SYSTEM\\ControlSet001\\Services\\") + svc;
    ASSERT_TRUE(MakeKey(HKEY_LOCAL_MACHINE, (key + "\\Enum").c_str()));
    ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, key.c_str(), "ImagePath", "\"" + worm + "\" -s"));
    ASSERT_TRUE(
        SetText(HKEY_LOCAL_MACHINE, (key + "\\Enum").c_str(), "0", "Root\\LEGACY_QXQ\\0000"));
    PROCESS_INFORMATION infected = StartProgram(worm);
    BeginTestScan();
    BeginScanLog();
    SetScriptedAnswer([](const AskedQuestion&) { return 2; });  // Cancel

    ScanMemory();

    SetScriptedAnswer(nullptr);
    EXPECT_EQ(ProgramEnds(), 1);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key.c_str()));
    EXPECT_FALSE(FileExists(worm));
    std::vector<std::string> log = LogLines();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "Final status: ended after the memory phase");
    EXPECT_EQ(log.back(), "Restart question: answered Cancel");
    const std::string note = NoteAfter(worm + "     W32/Bagle.Worm removed");
    ASSERT_EQ(note.rfind("    Quarantine: ", 0), 0u) << note;
    EXPECT_EQ(RestoreTool({"restore", note.substr(16), "--to", "C:\\qxtest\\qxq\\back.exe"}),
              kRestoreDone);
    EXPECT_EQ(ReadFileBytes("C:\\qxtest\\qxq\\back.exe"), wormBytes);

    // The backup this scan's log names (another scan may have begun in the same second).
    std::string backup;
    for (const std::string& l : log) {
        const std::string::size_type at = l.find(" saved in ");
        if (l.rfind("    Registry backup: ", 0) == 0 && l.find(svc) != std::string::npos &&
            at != std::string::npos) {
            backup = l.substr(at + 10);
        }
    }
    ASSERT_FALSE(backup.empty());
    EXPECT_EQ(RunReg("import \"" + std::string(kQuarantine) + "\\" + backup + "\" /reg:64"), 0u);
    DWORD type = 0;
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key, "ImagePath", type), "\"" + worm + "\" -s" + '\0');
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, key + "\\Enum", "0", type),
              std::string("Root\\LEGACY_QXQ\\0000") + '\0');
    EndAndClose(infected);
    DeleteTree(HKEY_LOCAL_MACHINE, key.c_str());
    DeleteFileA("C:\\qxtest\\qxq\\back.exe");
}

}  // namespace
