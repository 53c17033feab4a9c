// Names the ANSI code page cannot spell, under Wine with its western code
// page: every kind of sample under Cyrillic, Greek, CJK and emoji names, in
// folders so named, is opened by its short name, removed, and named in the
// log by its long name; Run values naming the file by either name go too; an
// entry with no short name (the seam's test hook, since Wine always makes
// them) is left out of the count and listed in the log as not readable.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "quarantine/scan_log.h"
#include "scan/walker.h"
#include "state/program_state.h"
#include "tests/wine/clean/clean_test_support.h"
#include "tests/wine/support/log_lines.h"
#include "tools/samples/detection_samples.h"

namespace {

constexpr char kLog[] = "C:\\Quellix\\Quellix.log";
constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kRegistryLine[] = "System Registry     W32/Bagle.Worm removed";

std::wstring Wide(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &out[0], n);
    out.resize(static_cast<std::size_t>(n - 1));
    return out;
}

std::string Narrow(const std::wstring& wide, UINT codePage) {
    int n = WideCharToMultiByte(codePage, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, wide.c_str(), -1, &out[0], n, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(n - 1));
    return out;
}

// The path the program can open: each component's short name, in the code page.
std::string ShortPath(const std::string& utf8Path) {
    wchar_t buffer[MAX_PATH + 1];
    DWORD n = GetShortPathNameW(Wide(utf8Path).c_str(), buffer, MAX_PATH + 1);
    return n > 0 && n <= MAX_PATH ? Narrow(buffer, CP_ACP) : "";
}

void WriteWide(const std::string& utf8Path, const SampleBytes& bytes) {
    HANDLE h = CreateFileW(Wide(utf8Path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << utf8Path;
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

bool ExistsWide(const std::string& utf8Path) {
    return GetFileAttributesW(Wide(utf8Path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeFolders(const std::string& utf8Path) {
    for (std::size_t at = utf8Path.find('\\', 3);; at = utf8Path.find('\\', at + 1)) {
        CreateDirectoryW(Wide(utf8Path.substr(0, at)).c_str(), nullptr);
        if (at == std::string::npos) break;
    }
}

std::vector<std::string> LogLines() {
    return CrlfLines(ReadFileBytes(kLog));
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string ResultLine(const std::string& path, const DetectionSample& s) {
    return path + "     " + s.detectionName + (s.kind == "script" ? " Virus removed" : " removed");
}

bool SetWideRunValue(const char* name, const std::string& utf8Data) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    std::wstring data = Wide(utf8Data);
    LONG r = RegSetValueExW(key, Wide(name).c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(data.c_str()),
                            static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return r == ERROR_SUCCESS;
}

class UnspellableNames : public ::testing::Test {
protected:
    void SetUp() override {
        if (GetACP() == CP_UTF8) GTEST_SKIP() << "the code page is UTF-8: every name is spelled";
        SetEnvironmentVariableA("QX_TEST_NARROW_NAMES", nullptr);
        RemoveTree(L"C:\\qxnames");
        CreateDirectoryA("C:\\qxnames", nullptr);
        BeginTestScan();
        ScanState.MemoryScanMode = 0;
        BeginScanLog();
    }
    void TearDown() override {
        EndScanLog();
        EndTestScan();
        SetEnvironmentVariableA("QX_TEST_NARROW_NAMES", nullptr);
        RemoveTree(L"C:\\qxnames");
    }
};

struct Place {
    const char* folder;  // UTF-8
    const char* file;
};
constexpr Place kPlaces[] = {
    {"игра", "вирус"},
    {"παιχνίδι", "αρχείο"},
    {"游戏", "文件"},
    {"spiel \xF0\x9F\x8E\xAE", "\xF0\x9F\x98\x80 datei"},
    {"игра\\παιχνίδι", "游戏 \xF0\x9F\x98\x80"},
};

TEST_F(UnspellableNames, EveryKindIsOpenedByItsShortNameRemovedAndLoggedByItsLongName) {
    const std::vector<DetectionSample> samples = DetectionSamples();
    ASSERT_EQ(samples.size(), 5u);
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const std::string folder = std::string("C:\\qxnames\\") + kPlaces[i].folder;
        MakeFolders(folder);
        paths.push_back(folder + "\\" + kPlaces[i].file + "." + samples[i].kind);
        WriteWide(paths.back(), samples[i].bytes);
    }
    std::vector<std::string> shortPaths;
    for (const std::string& p : paths) {
        shortPaths.push_back(ShortPath(p));
        ASSERT_FALSE(shortPaths.back().empty()) << p;
        ASSERT_EQ(shortPaths.back().find('?'), std::string::npos) << shortPaths.back();
    }

    WalkDirectory("C:\\qxnames\\*.*");

    EXPECT_EQ(ScanState.FilesScanned, 5);
    EXPECT_EQ(ScanState.FilesRemoved, 5);
    const std::vector<std::string> log = LogLines();
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const std::string line = ResultLine(shortPaths[i], samples[i]);
        EXPECT_TRUE(Has(SentLines(), line)) << line;
        EXPECT_FALSE(ExistsWide(paths[i])) << paths[i];
        // After the result line and its quarantine note, the long name in UTF-8.
        auto at = std::find(log.begin(), log.end(), line);
        ASSERT_NE(at, log.end()) << line;
        ASSERT_LT(at + 2 - log.begin(), static_cast<long>(log.size()));
        EXPECT_EQ(at[1].rfind("    Quarantine: ", 0), 0u) << at[1];
        EXPECT_EQ(at[2], "    Long name: " + paths[i]);
    }
}

TEST_F(UnspellableNames, RunValuesNamingTheFileByItsLongOrShortNameAreBothRemoved) {
    const DetectionSample exe = DetectionSamples().front();
    ASSERT_EQ(exe.kind, "exe");
    // One name Windows-1252 cannot spell, and one it can that the test hook
    // declares unspellable, so that the narrow long form is compared too.
    struct Case {
        const char* hook;
        const char* folder;
    } cases[] = {{nullptr, "игра"}, {"ascii", "caf\xC3\xA9"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        BeginTestScan();
        ScanState.MemoryScanMode = 0;
        SetEnvironmentVariableA("QX_TEST_NARROW_NAMES", c.hook);
        const std::string folder = std::string("C:\\qxnames\\") + c.folder;
        const std::string path = folder + "\\" + "Spiel.exe";
        MakeFolders(folder);
        WriteWide(path, exe.bytes);
        const std::string shortPath = ShortPath(path);
        ASSERT_FALSE(shortPath.empty());
        ASSERT_TRUE(SetWideRunValue("QxLongName", "\"" + path + "\" /quiet"));
        ASSERT_TRUE(SetWideRunValue("QxShortName", shortPath));
        ASSERT_TRUE(SetWideRunValue("QxOther", "C:\\qxnames\\other.exe"));

        WalkDirectory("C:\\qxnames\\*.*");

        EXPECT_FALSE(ExistsWide(path));
        EXPECT_TRUE(Has(SentLines(), ResultLine(ShortPath(folder) + "\\Spiel.exe", exe)));
        EXPECT_EQ(std::count(SentLines().begin(), SentLines().end(), kRegistryLine), 2);
        EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunKey, "QxLongName"));
        EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunKey, "QxShortName"));
        EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kRunKey, "QxOther"));
        DeleteValue(HKEY_CURRENT_USER, kRunKey, "QxOther");
        RemoveTree(Wide(folder));
    }
}

TEST_F(UnspellableNames, AnEntryWithNoShortNameIsNotCountedAndTheLogSaysItIsNotReadable) {
    const DetectionSample exe = DetectionSamples().front();
    WriteWide("C:\\qxnames\\plain.exe", exe.bytes);
    WriteWide("C:\\qxnames\\вирус.exe", exe.bytes);
    MakeFolders("C:\\qxnames\\игра");
    WriteWide("C:\\qxnames\\игра\\inside.exe", exe.bytes);
    SetEnvironmentVariableA("QX_TEST_NARROW_NAMES", "ascii-no-short");

    WalkDirectory("C:\\qxnames\\*.*");

    EXPECT_EQ(ScanState.FilesScanned, 1);
    EXPECT_EQ(SentLines(), std::vector<std::string>{ResultLine("C:\\qxnames\\plain.exe", exe)});
    EXPECT_TRUE(ExistsWide("C:\\qxnames\\вирус.exe"));
    EXPECT_TRUE(ExistsWide("C:\\qxnames\\игра\\inside.exe"));
    const std::vector<std::string> log = LogLines();
    const char* why =
        " (its name cannot be spelled in the system's code page, and it has no short name)";
    EXPECT_TRUE(Has(log, std::string("Not readable: C:\\qxnames\\вирус.exe") + why));
    EXPECT_TRUE(Has(log, std::string("Not readable: C:\\qxnames\\игра\\") + why));
}

}  // namespace
