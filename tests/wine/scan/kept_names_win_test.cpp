// Names Windows' path rules would change (a trailing dot or blank, a device
// name in a folder) and paths too long for the narrow buffers (Cyrillic and
// CJK, 2 and 3 bytes a letter in UTF-8, and plain letters), planted from the
// host's side of the Wine drive so that Wine lists them exactly as named,
// beside clean files, one of which has the name the rules would make of an
// infected one. Each infected file is removed under its own name and logged,
// or logged as not readable and not counted; no clean file is touched. Run
// with Wine set to 98, XP and 10.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "clean/system_cleaning.h"
#include "quarantine/quarantine_reader.h"
#include "quarantine/scan_log.h"
#include "scan/walker.h"
#include "state/program_state.h"
#include "tests/wine/clean/clean_test_support.h"
#include "tests/wine/support/log_lines.h"
#include "tests/wine/support/unix_link.h"
#include "tools/quellix_restore/restore_tool.h"
#include "tools/samples/detection_samples.h"

namespace {

constexpr char kLog[] = "C:\\Quellix\\Quellix.log";
constexpr char kRoot[] = "C:\\qxkept";

bool NtFamily() {
    return (GetVersion() & 0x80000000u) == 0;
}

std::wstring Wide(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &out[0], n);
    out.resize(static_cast<std::size_t>(n - 1));
    return out;
}

std::string Repeat(const char* letter, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += letter;
    return out;
}

// The file's bytes through the form that takes every name as it is, or
// "<missing>" ("\\?\" works on Wine whatever version it is set to).
std::string KeptBytes(const std::string& utf8Path) {
    HANDLE h = CreateFileW((L"\\\\?\\" + Wide(utf8Path)).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(h);
    return bytes;
}

// A UTF-8 path as the 95 family's narrow listing spells it: through the code
// page, a letter it has not as '?'.
std::string AsTheCodePageSpellsIt(const std::string& utf8) {
    const std::wstring wide = Wide(utf8);
    std::string narrow(wide.size() * 2 + 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &narrow[0], static_cast<int>(narrow.size()),
                        nullptr, nullptr);
    std::wstring back(narrow.size(), L'\0');
    MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), -1, &back[0], static_cast<int>(back.size()));
    std::string out(back.size() * 3 + 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, back.c_str(), -1, &out[0], static_cast<int>(out.size()),
                        nullptr, nullptr);
    return out.c_str();
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// What a planted file is, and what the scan must make of it.
enum class Outcome {
    Clean,           // read, untouched
    RemovedAsNamed,  // removed; the result line names it as it is
    RemovedShort,    // removed; the result line names a path of short names, the log its own
    NotReadable,     // left; logged as not readable, not counted
};

struct Planted {
    std::string path;  // UTF-8, under kRoot
    bool infected;
    Outcome nt;    // on the NT family
    Outcome nine;  // on the 95 family
};

std::string Cyrillic(int letters) {
    return Repeat("\xD0\xB6", letters);  // ж
}
std::string Cjk(int letters) {
    return Repeat("\xE6\x96\x87", letters);  // 文
}

// The table: every form the issue names, and the clean neighbours.
std::vector<Planted> Table() {
    const std::string root = std::string(kRoot) + "\\";
    // 200 Cyrillic letters on the way (400 bytes in UTF-8), 120 CJK (360).
    const std::string cyrillic =
        root + Cyrillic(80) + "\\" + Cyrillic(80) + "\\" + Cyrillic(40) + ".exe";
    const std::string cjk = root + Cjk(50) + "\\" + Cjk(50) + "\\" + Cjk(20) + ".exe";
    // Past 259 characters in any code page.
    const std::string plain = root + Repeat("a", 130) + "\\" + Repeat("b", 130) + "\\" + "deep.exe";
    using O = Outcome;
    return {
        {root + "pair.exe", false, O::Clean, O::Clean},
        // The name the rules make of "trail.exe.": a clean file of its own.
        {root + "trail.exe", false, O::Clean, O::Clean},
        {root + "trail.exe.", true, O::RemovedAsNamed, O::RemovedShort},
        {root + "space.exe ", true, O::RemovedAsNamed, O::RemovedShort},
        {root + "dev\\con.exe", true, O::RemovedAsNamed, O::NotReadable},
        {root + "dev\\nul.txt", true, O::RemovedAsNamed, O::NotReadable},
        {root + "dev\\aux", true, O::RemovedAsNamed, O::NotReadable},
        {root + "dev\\com1.exe", true, O::RemovedAsNamed, O::NotReadable},
        {root + "dev\\lpt1", true, O::RemovedAsNamed, O::NotReadable},
        {root + "dev\\pair.exe", false, O::Clean, O::Clean},
        {cyrillic, true, O::RemovedShort, O::RemovedShort},
        {cjk, true, O::RemovedShort, O::RemovedShort},
        {plain, true, O::RemovedShort, O::RemovedShort},
    };
}

// Writes each file under an ASCII name, then moves it to its own name on the
// host's side.
void Plant(const std::vector<Planted>& table, const SampleBytes& infected) {
    std::string script;
    int n = 0;
    for (const Planted& p : table) {
        const std::string source = "src" + std::to_string(n++) + ".bin";
        WriteFileBytes(std::string(kRoot) + "\\" + source,
                       p.infected ? std::string(infected.begin(), infected.end())
                                  : std::string("a clean file named ") + p.path);
        std::string relative = p.path.substr(std::string(kRoot).size() + 1);
        std::replace(relative.begin(), relative.end(), '\\', '/');
        const std::size_t slash = relative.rfind('/');
        if (slash != std::string::npos) script += "mkdir -p '" + relative.substr(0, slash) + "'\n";
        script += "mv " + source + " '" + relative + "'\n";
    }
    ASSERT_TRUE(RunScriptOnHostSide(kRoot, script));
}

class KeptNames : public ::testing::Test {
protected:
    void SetUp() override {
        SetEnvironmentVariableA("QX_TEST_NARROW_NAMES", nullptr);
        RemoveOnHostSide(kRoot);
        ASSERT_TRUE(CreateDirectoryA(kRoot, nullptr));
        BeginTestScan();
        ScanState.MemoryScanMode = 0;
        BeginScanLog();
    }
    void TearDown() override {
        EndScanLog();
        EndTestScan();
        SetEnvironmentVariableA("QX_TEST_NARROW_NAMES", nullptr);
        RemoveOnHostSide(kRoot);
    }
};

TEST_F(KeptNames, EachInfectedFileIsRemovedUnderItsOwnNameOrToldAsNotReadable) {
    const DetectionSample sample = DetectionSamples().front();
    ASSERT_EQ(sample.kind, "exe");
    const std::vector<Planted> table = Table();
    Plant(table, sample.bytes);
    std::printf("Wine as %s family, code page %u\n", NtFamily() ? "NT" : "95", GetACP());

    WalkDirectory("C:\\qxkept\\*.*");

    const std::vector<std::string> log = CrlfLines(ReadFileBytes(kLog));
    const std::vector<std::string>& lines = SentLines();
    std::vector<QuarantineProblem> problems;
    const std::vector<QuarantineItem> items = ListQuarantineItems(problems);
    int read = 0;
    int removed = 0;
    for (const Planted& p : table) {
        SCOPED_TRACE(p.path);
        const Outcome outcome = NtFamily() ? p.nt : p.nine;
        const std::string found = KeptBytes(p.path);
        // What is there now, in a word.
        const std::string bytes =
            found == std::string(sample.bytes.begin(), sample.bytes.end()) ? "<the sample>" : found;
        const std::string suffix = "     " + sample.detectionName + " removed";
        switch (outcome) {
            case Outcome::Clean:
                ++read;
                EXPECT_EQ(bytes, "a clean file named " + p.path);
                break;
            case Outcome::RemovedAsNamed: {
                ++read;
                ++removed;
                EXPECT_EQ(bytes, "<missing>");
                const std::string line = p.path + suffix;
                EXPECT_TRUE(Has(lines, line)) << line;
                auto at = std::find(log.begin(), log.end(), line);
                ASSERT_NE(at, log.end()) << line;
                ASSERT_NE(at + 1, log.end());
                EXPECT_EQ(at[1].rfind("    Quarantine: ", 0), 0u) << at[1];
                // The item keeps the name, so that restore gives it back.
                EXPECT_TRUE(std::any_of(items.begin(), items.end(), [&](const QuarantineItem& i) {
                    return p.path == i.header.originalPath;
                }));
                break;
            }
            case Outcome::RemovedShort: {
                ++read;
                ++removed;
                EXPECT_EQ(bytes, "<missing>");
                // The long name follows the result line and its quarantine note;
                // the 95 family knows it only as its code page spells it.
                const std::string longName = NtFamily() ? p.path : AsTheCodePageSpellsIt(p.path);
                auto at = std::find(log.begin(), log.end(), "    Long name: " + longName);
                ASSERT_NE(at, log.end());
                ASSERT_GE(at - log.begin(), 2);
                const std::string& line = at[-2];
                ASSERT_GT(line.size(), suffix.size());
                EXPECT_EQ(line.compare(line.size() - suffix.size(), suffix.size(), suffix), 0)
                    << line;
                EXPECT_LT(line.size() - suffix.size(), 260u) << line;
                EXPECT_TRUE(Has(lines, line)) << line;
                break;
            }
            case Outcome::NotReadable:
                EXPECT_EQ(bytes, "<the sample>");
                EXPECT_TRUE(std::any_of(log.begin(), log.end(), [&](const std::string& l) {
                    return l.rfind("Not readable: " + p.path + " (", 0) == 0;
                })) << "no Not readable line";
                break;
        }
    }
    EXPECT_EQ(ScanState.FilesScanned, read);
    EXPECT_EQ(ScanState.FilesRemoved, removed);
    EXPECT_EQ(static_cast<int>(lines.size()), removed);

    // Restore gives each file back under its own name, beside the clean
    // file of the name the rules would make of it.
    if (!NtFamily()) return;
    for (const Planted& p : table) {
        if (p.nt != Outcome::RemovedAsNamed) continue;
        SCOPED_TRACE(p.path);
        auto item = std::find_if(items.begin(), items.end(), [&](const QuarantineItem& i) {
            return p.path == i.header.originalPath;
        });
        ASSERT_NE(item, items.end());
        std::string restore = "restore";
        std::string id = item->id;
        char* argv[] = {&restore[0], &id[0]};
        EXPECT_EQ(RunRestoreTool(2, argv, stdout, stderr), kRestoreDone);
        EXPECT_EQ(KeptBytes(p.path), std::string(sample.bytes.begin(), sample.bytes.end()));
    }
    EXPECT_EQ(KeptBytes(std::string(kRoot) + "\\trail.exe"),
              "a clean file named " + std::string(kRoot) + "\\trail.exe");
}

// With no short names (the seam's test hook: Wine always makes them) a path
// too long for the buffers is reached by no form: told, not counted.
TEST_F(KeptNames, APathTooLongWithNoShortNamesIsToldAndNotCounted) {
    if (!NtFamily()) GTEST_SKIP() << "the hook acts on the NT family's wide listing";
    const DetectionSample sample = DetectionSamples().front();
    const std::string root = std::string(kRoot) + "\\";
    const std::string folder = root + Repeat("a", 130) + "\\" + Repeat("b", 130);
    std::vector<Planted> table = {
        {root + "pair.exe", false, Outcome::Clean, Outcome::Clean},
        {folder + "\\deep.exe", true, Outcome::NotReadable, Outcome::NotReadable},
    };
    Plant(table, sample.bytes);
    SetEnvironmentVariableA("QX_TEST_NARROW_NAMES", "ascii-no-short");

    WalkDirectory("C:\\qxkept\\*.*");

    EXPECT_EQ(ScanState.FilesScanned, 1);
    EXPECT_TRUE(SentLines().empty());
    EXPECT_EQ(KeptBytes(folder + "\\deep.exe"),
              std::string(sample.bytes.begin(), sample.bytes.end()));
    const std::vector<std::string> log = CrlfLines(ReadFileBytes(kLog));
    EXPECT_TRUE(Has(log, "Not readable: " + folder +
                             "\\ (its path is longer than 259 bytes in the system's code page, "
                             "and short names do not bring it within)"));
}

// A deletion at the next start goes on the NT pending list under the name
// itself, not under the name of the clean file the rules would make of it.
TEST_F(KeptNames, ABootDeletionNamesTheFileAsItIs) {
    if (!NtFamily()) GTEST_SKIP() << "the 95 family's wininit.ini takes short names";
    const std::string root = std::string(kRoot) + "\\";
    const std::vector<Planted> table = {
        {root + "trail.exe", false, Outcome::Clean, Outcome::Clean},
        {root + "trail.exe.", false, Outcome::Clean, Outcome::Clean},
    };
    Plant(table, {});
    ASSERT_EQ(ScheduleBootDelete("C:\\qxkept\\trail.exe."), 1);

    HKEY key = nullptr;
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_READ | KEY_SET_VALUE | KEY_WOW64_64KEY, &key),
        ERROR_SUCCESS);
    std::vector<wchar_t> data(65536, L'\0');
    DWORD size = static_cast<DWORD>((data.size() - 2) * sizeof(wchar_t));
    ASSERT_EQ(RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(data.data()), &size),
              ERROR_SUCCESS);
    std::vector<std::wstring> entries;
    for (const wchar_t* p = data.data(); p < data.data() + size / sizeof(wchar_t);
         p += std::wcslen(p) + 1) {
        if (std::wcsstr(p, L"qxkept")) entries.emplace_back(p);
    }
    RegDeleteValueW(key, L"PendingFileRenameOperations");
    RegCloseKey(key);
    EXPECT_EQ(entries, std::vector<std::wstring>{L"\\??\\C:\\qxkept\\trail.exe."});
}

}  // namespace
