// The records against a user who plants things where they go, before the
// scan: links made on the host's side of the drive as Wine sees them, a
// folder others may write to, a file in a folder's place, backups named for
// the coming seconds. Whatever is planted, nothing outside the records
// changes, the removal keeps its restorable copy and the log says what it met.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/quarantine_io.h"
#include "quarantine/quarantine_record.h"
#include "quarantine/quarantine_store.h"
#include "quarantine/scan_log.h"
#include "scan/walker.h"
#include "state/program_state.h"
#include "tests/wine/clean/clean_test_support.h"
#include "tests/wine/support/unix_link.h"
#include "tools/quellix_restore/restore_tool.h"
#include "tools/samples/detection_samples.h"

namespace {

constexpr char kRecords[] = "C:\\Quellix";
constexpr char kQuarantine[] = "C:\\Quellix\\Quarantine";
constexpr char kLog[] = "C:\\Quellix\\Quellix.log";
constexpr char kOutside[] = "C:\\qxoutside";  // what a user wants the program to change
constexpr char kScanned[] = "C:\\qxattack";

// Every entry under a folder with its bytes ("name/" for a folder), sorted.
void Snapshot(const std::string& folder, std::vector<std::string>& out) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        std::string path = folder + "\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out.push_back(path + "\\");
            Snapshot(path, out);
        } else {
            out.push_back(path + "=" + ReadWholeFile(path));
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

std::vector<std::string> Snapshot(const std::string& folder) {
    std::vector<std::string> out;
    Snapshot(folder, out);
    std::sort(out.begin(), out.end());
    return out;
}

std::string BackupName(const SYSTEMTIME& t) {
    char name[64];
    std::snprintf(name, sizeof name, "%04u%02u%02u-%02u%02u%02u-registry.reg", t.wYear, t.wMonth,
                  t.wDay, t.wHour, t.wMinute, t.wSecond);
    return name;
}

// Backups named for this second and the next few, as the planter guesses them.
void PlantBackups() {
    CreateDirectoryA(kRecords, nullptr);
    CreateDirectoryA(kQuarantine, nullptr);
    SYSTEMTIME now;
    GetLocalTime(&now);
    FILETIME at;
    SystemTimeToFileTime(&now, &at);
    for (int s = 0; s < 10; ++s) {
        ULARGE_INTEGER t = {{at.dwLowDateTime, at.dwHighDateTime}};
        t.QuadPart += static_cast<ULONGLONG>(s) * 10000000ull;
        FILETIME ft = {t.LowPart, t.HighPart};
        SYSTEMTIME st;
        FileTimeToSystemTime(&ft, &st);
        WriteFileBytes(std::string(kQuarantine) + "\\" + BackupName(st),
                       "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Planted]\r\n");
    }
}

struct Layout {
    const char* what;
    std::function<bool()> plant;
    // A note of the log's start that tells what was met; "" when none is due.
    const char* note;
};

int RestoreTool(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    return RunRestoreTool(static_cast<int>(argv.size()), argv.data(), stdout, stderr);
}

TEST(RecordsAttack, PlantedLayoutsLeaveTheOutsideUntouched) {
    const std::string victim = std::string(kOutside) + "\\victim.txt";
    const std::string outsideFolder = std::string(kOutside) + "\\system32";
    const std::vector<Layout> layouts = {
        {"log linked to a file outside",
         [&] { return CreateDirectoryA(kRecords, nullptr) && MakeUnixLink(kLog, victim); },
         "Records: C:\\Quellix\\Quellix.log failed the check (a link to another file): left as "
         "it is; this scan's records are in C:\\Quellix-"},
        {"log linked to a file not there yet",
         [&] {
             return CreateDirectoryA(kRecords, nullptr) &&
                    MakeUnixLink(kLog, outsideFolder + "\\planted.cmd");
         },
         "Records: C:\\Quellix\\Quellix.log failed the check (there, though it cannot be seen): "
         "left as it is; this scan's records are in C:\\Quellix-"},
        {"quarantine folder linked to a folder outside",
         [&] {
             return CreateDirectoryA(kRecords, nullptr) && MakeUnixLink(kQuarantine, outsideFolder);
         },
         "Records: C:\\Quellix\\Quarantine failed the check (a junction, symbolic link or mount "
         "point): left as it is; this scan's records are in C:\\Quellix-"},
        {"records folder linked to a folder outside",
         [&] { return MakeUnixLink(kRecords, outsideFolder); },
         "Records: C:\\Quellix failed the check (a junction, symbolic link or mount point): "
         "left as it is; this scan's records are in C:\\Quellix-"},
        {"records folder others may write to", [&] { return MakeFolderOpenToAll(kRecords); },
         "Records: C:\\Quellix failed the check (others may write to it): left as it is; this "
         "scan's records are in C:\\Quellix-"},
        {"a file where the quarantine folder belongs",
         [&] {
             CreateDirectoryA(kRecords, nullptr);
             WriteFileBytes(kQuarantine, "in the way");
             return FileExists(kQuarantine);
         },
         "Records: C:\\Quellix\\Quarantine failed the check (not a folder): left as it is; this "
         "scan's records are in C:\\Quellix-"},
        {"backups planted for the coming seconds",
         [&] {
             PlantBackups();
             return true;
         },
         ""},
    };
    const DetectionSample sample = DetectionSamples()[2];  // the ZIP worm
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.what);
        // A drive with no records yet, and the outside as a user left it.
        WIN32_FIND_DATAA found;
        HANDLE old = FindFirstFileA("C:\\Quellix*", &found);
        if (old != INVALID_HANDLE_VALUE) {
            do ASSERT_TRUE(RemoveOnHostSide(std::string("C:\\") + found.cFileName));
            while (FindNextFileA(old, &found));
            FindClose(old);
        }
        ASSERT_TRUE(RemoveOnHostSide(kOutside));
        CreateDirectoryA(kOutside, nullptr);
        CreateDirectoryA(outsideFolder.c_str(), nullptr);
        WriteFileBytes(victim, "the victim's own text");
        WriteFileBytes(outsideFolder + "\\notepad.exe", "a system file");
        ASSERT_TRUE(layout.plant());
        const std::vector<std::string> planted = Snapshot(kOutside);
        const std::vector<std::string> plantedQuarantine = Snapshot(kQuarantine);
        CreateDirectoryA(kScanned, nullptr);
        const std::string path = std::string(kScanned) + "\\zip-sample";
        WriteFileBytes(path, std::string(sample.bytes.begin(), sample.bytes.end()));

        BeginTestScan();
        ScanState.MemoryScanMode = 0;
        BeginScanLog();
        WalkDirectory("C:\\qxattack\\*.*");
        const bool backedUp =
            KeepRegistryBackup("a value", "[HKEY_CURRENT_USER\\Software\\Qx]\r\n");
        EndScanLog();
        EndTestScan();

        EXPECT_EQ(Snapshot(kOutside), planted);
        const std::string line = path + "     " + sample.detectionName + " removed";
        EXPECT_EQ(SentLines(), std::vector<std::string>{line});
        EXPECT_FALSE(FileExists(path));
        // This scan's log: in the folder made beside the unfit one, if any.
        std::string log = ReadWholeFile(kLog);
        HANDLE made = FindFirstFileA("C:\\Quellix-*", &found);
        if (made != INVALID_HANDLE_VALUE) {
            log = ReadWholeFile(std::string("C:\\") + found.cFileName + "\\Quellix.log");
            EXPECT_FALSE(FindNextFileA(made, &found));  // one only
            FindClose(made);
        }
        EXPECT_NE(log.find(layout.note), std::string::npos) << log;
        // The removal can be undone from the records made now.
        const std::string::size_type at = log.find(line + "\r\n    Quarantine: ");
        ASSERT_NE(at, std::string::npos) << log;
        const std::string id = log.substr(at + line.size() + 18, 18);
        EXPECT_EQ(RestoreTool({"restore", id}), kRestoreDone) << id;
        EXPECT_EQ(ReadWholeFile(path), std::string(sample.bytes.begin(), sample.bytes.end()));
        // The backup went into a file of its own; what was planted is as it was.
        EXPECT_TRUE(backedUp);
        for (const std::string& entry : plantedQuarantine) {
            const std::string name = entry.substr(0, entry.find('='));
            EXPECT_EQ(name + "=" + ReadWholeFile(name), entry);
        }
        DeleteFileA(path.c_str());

        // The next scan keeps its records in the same folder made beside.
        BeginTestScan();
        BeginScanLog();
        EndScanLog();
        EndTestScan();
        int besides = 0;
        HANDLE next = FindFirstFileA("C:\\Quellix-*", &found);
        if (next != INVALID_HANDLE_VALUE) {
            do ++besides;
            while (FindNextFileA(next, &found));
            FindClose(next);
        }
        EXPECT_EQ(besides, layout.note[0] ? 1 : 0);
        EXPECT_EQ(Snapshot(kOutside), planted);
    }
}

// What the program makes its records folder with, read back: under Wine,
// which keeps rights as the host's file modes, SYSTEM and the owner with full
// control and nobody else; a folder made the ordinary way lets everyone read.
TEST(RecordsAttack, TheRecordsFolderIsMadeForAdministratorsAlone) {
    ASSERT_TRUE(RemoveOnHostSide(kRecords));
    ASSERT_TRUE(platform::MakeRecordsFolder(kRecords));
    EXPECT_FALSE(platform::MakeRecordsFolder(kRecords));  // made new, never taken as found
    EXPECT_EQ(platform::CheckRecordsLocation(kRecords, true, nullptr),
              platform::RecordsCheck::Safe);
    CreateDirectoryA("C:\\qxordinary", nullptr);

    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    ASSERT_TRUE(
        AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
    // Whether anyone but SYSTEM and the owner has an entry.
    auto everyoneHasAnEntry = [&](const char* path) {
        std::vector<char> sd(4096);
        DWORD need = 0;
        EXPECT_TRUE(GetFileSecurityA(path, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                     sd.data(), static_cast<DWORD>(sd.size()), &need));
        BOOL present = FALSE, defaulted = FALSE;
        PACL dacl = nullptr;
        EXPECT_TRUE(GetSecurityDescriptorDacl(sd.data(), &present, &dacl, &defaulted));
        EXPECT_TRUE(present && dacl);
        if (!present || !dacl) return true;
        bool found = false;
        for (DWORD i = 0; i < dacl->AceCount; ++i) {
            void* ace = nullptr;
            EXPECT_TRUE(GetAce(dacl, i, &ace));
            auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
            if (EqualSid(&allowed->SidStart, everyone)) found = true;
        }
        return found;
    };
    EXPECT_FALSE(everyoneHasAnEntry(kRecords));
    EXPECT_TRUE(everyoneHasAnEntry("C:\\qxordinary"));
    FreeSid(everyone);
    RemoveOnHostSide(kRecords);
}

// quellix-restore against items someone else wrote or replaced: an original
// path that climbs out with "..", one whose folder is a link, and an item
// that is itself a link to a file outside. Each is refused with status 2 and
// nothing outside changes.
TEST(RecordsAttack, RestoreRefusesCraftedItemsAndLinks) {
    ASSERT_TRUE(RemoveOnHostSide(kRecords));
    ASSERT_TRUE(RemoveOnHostSide(kOutside));
    CreateDirectoryA(kOutside, nullptr);
    CreateDirectoryA((std::string(kOutside) + "\\system32").c_str(), nullptr);
    const std::string victim = std::string(kOutside) + "\\victim.txt";
    WriteFileBytes(victim, "the victim's own text");
    CreateDirectoryA(kScanned, nullptr);
    ASSERT_TRUE(RemoveOnHostSide("C:\\qxjunction"));
    ASSERT_TRUE(MakeUnixLink("C:\\qxjunction", std::string(kOutside) + "\\system32"));

    const DetectionSample sample = DetectionSamples()[2];
    const std::string bytes(sample.bytes.begin(), sample.bytes.end());
    // A real item, then its header's original path rewritten as a planter would.
    auto item = [&](const std::string& originalPath) {
        const std::string path = std::string(kScanned) + "\\crafted-sample";
        WriteFileBytes(path, bytes);
        BeginTestScan();
        BeginScanLog();
        QuarantineCopy copy = KeepQuarantineCopy(path.c_str(), sample.detectionName.c_str());
        EndScanLog();
        EndTestScan();
        DeleteFileA(path.c_str());
        EXPECT_TRUE(copy.kept);
        std::string file = ReadWholeFile(copy.file);
        QuarantineHeader header;
        EXPECT_EQ(DecodeQuarantineHeader(reinterpret_cast<const std::uint8_t*>(file.data()),
                                         file.size(), header),
                  HeaderCheck::Ok);
        std::memset(header.originalPath, 0, sizeof header.originalPath);
        std::memcpy(header.originalPath, originalPath.data(), originalPath.size());
        std::uint8_t encoded[kQuarantineHeaderSize];
        EncodeQuarantineHeader(header, encoded);
        file.replace(0, kQuarantineHeaderSize, reinterpret_cast<const char*>(encoded),
                     kQuarantineHeaderSize);
        WriteFileBytes(copy.file, file);
        return std::string(copy.id);
    };
    const std::vector<std::string> before = Snapshot(kOutside);
    EXPECT_EQ(RestoreTool({"restore", item("C:\\qxattack\\..\\qxoutside\\evil.dll")}),
              kRestoreError);
    EXPECT_EQ(RestoreTool({"restore", item("C:\\qxjunction\\evil.dll")}), kRestoreError);
    const std::string good = item("C:\\qxattack\\fine-sample");
    EXPECT_EQ(RestoreTool({"restore", good, "--to", "C:\\qxjunction\\evil2.dll"}), kRestoreError);
    EXPECT_EQ(RestoreTool({"restore", good, "--to", "C:\\Quellix\\Quarantine\\x.qrn"}),
              kRestoreError);

    // The item replaced by a link to a file outside: neither read nor deleted.
    const std::string linked = item("C:\\qxattack\\linked-sample");
    const std::string itemFile = std::string(kQuarantine) + "\\" + linked + ".qrn";
    ASSERT_TRUE(RemoveOnHostSide(itemFile));
    ASSERT_TRUE(MakeUnixLink(itemFile, victim));
    EXPECT_EQ(RestoreTool({"delete", linked}), kRestoreError);
    EXPECT_EQ(RestoreTool({"restore", linked}), kRestoreError);
    EXPECT_EQ(Snapshot(kOutside), before);

    // The sound item comes back where it belongs.
    EXPECT_EQ(RestoreTool({"restore", good}), kRestoreDone);
    EXPECT_EQ(ReadWholeFile("C:\\qxattack\\fine-sample"), bytes);
}

}  // namespace
