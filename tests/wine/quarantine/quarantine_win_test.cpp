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

#include "clean/win32/registry_backup_win.h"
#include "clean/win32/system_cleaning_win.h"
#include "detect/executable_scanner.h"
#include "platform/file_facts.h"
#include "quarantine/quarantine_store.h"
#include "quarantine/scan_log.h"
#include "scan/walker.h"
#include "state/program_state.h"
#include "tests/wine/clean/clean_test_support.h"
#include "tests/wine/support/log_lines.h"
#include "tests/wine/support/scripted_message_box.h"
#include "tools/quellix_restore/restore_tool.h"
#include "tools/samples/detection_samples.h"

namespace {

constexpr char kQuarantine[] = "C:\\Quellix\\Quarantine";
constexpr char kLog[] = "C:\\Quellix\\Quellix.log";

std::string Bytes(const SampleBytes& b) {
    return std::string(b.begin(), b.end());
}

std::vector<std::string> Items() {
    return FileNames(std::string(kQuarantine) + "\\*.qrn");
}

std::vector<std::string> LogLines() {
    return CrlfLines(ReadFileBytes(kLog));
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

struct FoundFacts {
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    FILETIME created{}, accessed{}, written{};
};

FoundFacts FactsOf(const std::string& path) {
    FoundFacts facts;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return facts;
    FindClose(search);
    facts.attributes = found.dwFileAttributes;
    facts.created = found.ftCreationTime;
    facts.accessed = found.ftLastAccessTime;
    facts.written = found.ftLastWriteTime;
    return facts;
}

FILETIME Time(std::uint64_t value) {
    return {static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

std::uint64_t Value(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// A removed file comes back as it was: its attributes (read-only, hidden,
// system, archive) and its three times, though removal cleared its
// attributes first.
TEST_F(WineQuarantine, ARestoredFileHasItsAttributesAndTimesBack) {
    struct Case {
        const char* name;
        DWORD attributes;
    };
    const Case cases[] = {
        {"hidden-readonly.exe", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY},
        {"system-archive.exe", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE},
        {"all-four.exe", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM |
                             FILE_ATTRIBUTE_ARCHIVE},
        {"normal.exe", FILE_ATTRIBUTE_NORMAL},
    };
    const char* folder = "C:\\qxq\\facts";
    CreateDirectoryA(folder, nullptr);
    const SampleBytes exe = DetectionSamples()[0].bytes;
    // 2004-02-29 12:00:00, 2010-01-01 and 2015-07-01 UTC, with odd 100 ns steps.
    const std::uint64_t created = 127222992000000001ull;
    const std::uint64_t written = 129067776000000003ull;
    const std::uint64_t accessed = 130802400000000007ull;
    std::vector<FoundFacts> before;
    for (const Case& c : cases) {
        const std::string path = std::string(folder) + "\\" + c.name;
        WriteFileBytes(path, Bytes(exe));
        HANDLE file =
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        const FILETIME times[3] = {Time(created), Time(accessed), Time(written)};
        ASSERT_TRUE(SetFileTime(file, &times[0], &times[1], &times[2]));
        CloseHandle(file);
        ASSERT_TRUE(SetFileAttributesA(path.c_str(), c.attributes));
        before.push_back(FactsOf(path));
        // Wine reports every file as archive; the other three it keeps as set.
        const DWORD threeOfThem =
            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM;
        ASSERT_EQ(before.back().attributes & threeOfThem, c.attributes & threeOfThem) << c.name;
    }

    // The removal sequence itself, called directly: in a scan, the scanners'
    // read of the file moves its last access time before removal sees it.
    for (const Case& c : cases) {
        Remediate((std::string(folder) + "\\" + c.name).c_str(),
                  DetectionSamples()[0].detectionName.c_str());
    }

    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        const std::string path = std::string(folder) + "\\" + c.name;
        const std::string line = path + "     " + DetectionSamples()[0].detectionName + " removed";
        ASSERT_FALSE(FileExists(path)) << c.name;
        const std::string note = NoteAfter(line);
        ASSERT_EQ(note.rfind("    Quarantine: ", 0), 0u) << line << " / " << note;
        EXPECT_EQ(RestoreTool({"restore", note.substr(16)}), kRestoreDone) << c.name;
        const FoundFacts after = FactsOf(path);  // before a read moves the access time
        EXPECT_EQ(ReadFileBytes(path), Bytes(exe)) << c.name;
        EXPECT_EQ(after.attributes & platform::kKeptAttributes,
                  before[i].attributes & platform::kKeptAttributes)
            << c.name;
        // Wine on a Linux file system has no creation time of its own: it
        // reports the last write time there, so that is what must match.
        EXPECT_EQ(Value(after.created), Value(before[i].created)) << c.name;
        EXPECT_EQ(Value(after.written), written) << c.name;
        EXPECT_EQ(Value(after.accessed), accessed) << c.name;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
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

// The start of a backup on the NT family: the byte order mark and the
// "Windows Registry Editor Version 5.00" line in UTF-16LE.
const std::string kReg5Start = [] {
    std::string start = "\xFF\xFE";
    for (char c : std::string("Windows Registry Editor Version 5.00\r\n")) {
        start += c;
        start += '\0';
    }
    return start;
}();

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

    const std::vector<std::string> backups =
        FileNames(std::string(kQuarantine) + "\\*-registry.reg");
    ASSERT_FALSE(backups.empty());
    const std::string file = std::string(kQuarantine) + "\\" + backups.back();
    const std::string text = ReadFileBytes(file);
    EXPECT_EQ(text.rfind(kReg5Start, 0), 0u);
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

struct WideValue {
    const char* what;
    std::wstring key;  // under HKEY_CURRENT_USER
    std::wstring name;
    DWORD type;
    std::string data;
    // What reg.exe gives back when it is not data itself: it ends text that
    // lacks its closing zero with one, and a .reg file cannot say otherwise.
    // (Text of odd length is not in the table: Wine's reg.exe then adds a
    // zero and one byte of whatever follows in its buffer.)
    std::string back = {};
};

std::string Utf16(const std::wstring& text, bool withZero = true) {
    std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * 2);
    if (withZero) bytes.append(2, '\0');
    return bytes;
}

bool SetWide(const WideValue& v) {
    HKEY k;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, v.key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const LONG set =
        RegSetValueExW(k, v.name.c_str(), 0, v.type, reinterpret_cast<const BYTE*>(v.data.data()),
                       static_cast<DWORD>(v.data.size()));
    RegCloseKey(k);
    return set == ERROR_SUCCESS;
}

// The value's raw bytes through the wide calls; "<no ...>" when it is not there.
std::string ReadWide(const WideValue& v, DWORD& type) {
    HKEY k;
    type = 0;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, v.key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) {
        return "<no key>";
    }
    DWORD size = 0;
    std::string data = "<no value>";
    if (RegQueryValueExW(k, v.name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        data.assign(size, '\0');
        if (RegQueryValueExW(k, v.name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data[0]),
                             &size) != ERROR_SUCCESS) {
            data = "<unreadable>";
        }
        data.resize(size);
    }
    RegCloseKey(k);
    return data;
}

// Names and data in any script and of every type, written and read back with
// the wide calls, go through the backup and Wine's own reg.exe unchanged.
TEST_F(WineQuarantine, BackupsOfAnyScriptAndTypeComeBackByteForByte) {
    const std::wstring key = L"Software\\QxqUnicode";
    const std::wstring cyrillic = L"\u0417\u0430\u043f\u0443\u0441\u043a";  // "Zapusk"
    const std::wstring greek = L"\u0395\u03ba\u03ba\u03af\u03bd\u03b7\u03c3\u03b7";
    const std::wstring cjk = L"\u542f\u52a8\u9879";
    const std::wstring emoji = L"\U0001F600\U0001F680";
    const std::string qword("\x01\x02\x03\x04\x05\x06\x07\x88", 8);
    const std::vector<WideValue> values = {
        {"Cyrillic name and text", key, cyrillic, REG_SZ,
         Utf16(L"\u041f\u0440\u0438\u0432\u0435\u0442")},
        {"Greek name, expandable", key, greek, REG_EXPAND_SZ,
         Utf16(L"%SystemRoot%\\\u03b1\u03b2\u03b3.exe")},
        {"CJK name, multi", key, cjk, REG_MULTI_SZ,
         Utf16(std::wstring(L"\u4e2d\u6587\0\u65e5\u672c\u8a9e\0", 7))},
        {"emoji name, binary", key, emoji, REG_BINARY, std::string("\x00\xff\x0d\x0a\x22\x5c", 6)},
        {"emoji text", key, L"e", REG_SZ, Utf16(emoji)},
        {"number", key, L"\u03a9", REG_DWORD, std::string("\x0a\x00\x01\x80", 4)},
        {"qword", key, L"\u043a\u043b\u044e\u0447", REG_QWORD, qword},
        {"no type, with data", key, L"none", REG_NONE, std::string("\x07\x00", 2)},
        {"no type, empty", key, L"none0", REG_NONE, ""},
        {"empty text without its zero", key, L"sz0", REG_SZ, ""},
        {"text without its zero", key, L"sz-open", REG_SZ, Utf16(L"ab", false), Utf16(L"ab")},
        {"expandable without its zero", key, L"x-open", REG_EXPAND_SZ, Utf16(L"%a%", false),
         Utf16(L"%a%")},
        {"empty binary", key, L"bin0", REG_BINARY, ""},
        {"ASCII text", key, L"plain", REG_SZ, Utf16(L"C:\\a b\\\"q\".exe")},
        {"quotes, backslash and bracket in a name", key, L"a\"b\\c]\u0416", REG_SZ, Utf16(L"x")},
        {"the default value", key, L"", REG_SZ, Utf16(L"\u00e9\u4e2d")},
        {"Cyrillic subkey", key + L"\\" + cyrillic, L"v", REG_SZ, Utf16(L"1")},
        {"CJK subkey, its default", key + L"\\" + cjk, L"", REG_EXPAND_SZ, Utf16(cjk)},
        {"emoji subkey below Greek", key + L"\\" + greek + L"\\" + emoji, emoji, REG_MULTI_SZ,
         Utf16(std::wstring(L"\U0001F511\0", 3))},
    };
    for (const WideValue& v : values) ASSERT_TRUE(SetWide(v)) << v.what;
    // One value on its own too: the default value of a key and an ASCII-named
    // one whose data is not ASCII.
    const std::wstring single = L"Software\\QxqUnicodeOne";
    const std::vector<WideValue> singles = {
        {"single default value", single, L"", REG_SZ, Utf16(L"\u0416\U0001F600")},
        {"single value", single, L"qxq", REG_MULTI_SZ, Utf16(std::wstring(L"\u03b1\0", 2))},
    };
    for (const WideValue& v : singles) ASSERT_TRUE(SetWide(v)) << v.what;

    BackUpRegistryKey(HKEY_CURRENT_USER, "Software\\QxqUnicode");
    BackUpRegistryValue(HKEY_CURRENT_USER, "Software\\QxqUnicodeOne", "");
    BackUpRegistryValue(HKEY_CURRENT_USER, "Software\\QxqUnicodeOne", "qxq");
    EXPECT_EQ(RunReg("delete HKCU\\Software\\QxqUnicode /f"), 0u);
    EXPECT_EQ(RunReg("delete HKCU\\Software\\QxqUnicodeOne /f"), 0u);
    for (const WideValue& v : values) {
        DWORD type;
        ASSERT_EQ(ReadWide(v, type), "<no key>") << v.what;
    }

    const std::vector<std::string> backups =
        FileNames(std::string(kQuarantine) + "\\*-registry.reg");
    ASSERT_FALSE(backups.empty());
    const std::string file = std::string(kQuarantine) + "\\" + backups.back();
    EXPECT_EQ(ReadFileBytes(file).rfind(kReg5Start, 0), 0u);
    EXPECT_EQ(RunReg("import \"" + file + "\""), 0u);
    std::vector<WideValue> all = values;
    all.insert(all.end(), singles.begin(), singles.end());
    for (const WideValue& v : all) {
        DWORD type = 0;
        EXPECT_EQ(ReadWide(v, type), v.back.empty() ? v.data : v.back) << v.what;
        EXPECT_EQ(type, v.type) << v.what;
    }
    RunReg("delete HKCU\\Software\\QxqUnicode /f");
    RunReg("delete HKCU\\Software\\QxqUnicodeOne /f");
}

}  // namespace
