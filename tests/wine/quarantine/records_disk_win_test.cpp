// The records' disk full, for real: C: is a small tmpfs of its own with the
// prefix's folders bound into it (records_disk.sh, in a mount namespace), full
// from the start, freed in the middle of the removals, or with room for the
// log alone. Each file goes as a scan removes it (its Run values swept, then
// the removal sequence); afterwards every claim of the log is checked against
// the disk and the registry: each item named as kept is there and restores
// byte for byte, each backup named as saved holds its value and brings it
// back through reg import, each removal without its record says so, no record
// is left unnamed and no piece of the log is glued to another.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "clean/system_cleaning.h"
#include "detect/executable_scanner.h"
#include "quarantine/scan_log.h"
#include "state/program_state.h"
#include "tests/wine/clean/clean_test_support.h"
#include "tests/wine/support/log_lines.h"
#include "tests/wine/support/unix_link.h"
#include "tools/quellix_restore/restore_tool.h"

namespace {

constexpr char kQuarantine[] = "C:\\Quellix\\Quarantine";
constexpr char kLog[] = "C:\\Quellix\\Quellix.log";
constexpr char kFiller[] = "C:\\qxfiller";  // beside the records, on their disk
constexpr char kFolder[] = "C:\\qxdisk";
constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kDetection[] = "W32/Bagle.H.Worm";
constexpr char kRule[] =
    "==============================================================================";
constexpr std::size_t kFileSize = 40 * 1024;  // more than the room left for the log
constexpr char kDiskFull[] = "(the records disk is full)";

// What a host script said: its done file's text.
std::string HostScript(const std::string& script) {
    const std::string done = std::string(kFolder) + "\\host-done";
    DeleteFileA(done.c_str());
    const std::string hostDone = HostNameOf(done);
    if (!RunHostScript("( " + script + " ) >'" + hostDone + ".tmp' 2>&1; echo status $? >>'" +
                           hostDone + ".tmp'; mv '" + hostDone + ".tmp' '" + hostDone + "'",
                       done)) {
        return "the host script did not run";
    }
    std::string said = ReadWholeFile(done);
    DeleteFileA(done.c_str());
    return said;
}

bool Succeeded(const std::string& said) {
    return said.size() >= 9 && said.compare(said.size() - 9, 9, "status 0\n") == 0;
}

// Fills what is left of the disk, then frees `room` bytes of it again.
std::string FillLeaving(std::size_t room) {
    const std::string filler = "'" + HostNameOf(kFiller) + "'";
    return HostScript("rm -f " + filler + "; dd if=/dev/zero of=" + filler +
                      " bs=4096 2>/dev/null; truncate -s -" + std::to_string(room) + " " + filler +
                      " && df -k " + filler);
}

int freeAtRemoval = 0;  // the removal (1, 2...) at which the filler goes; 0: never
int removalsSeen = 0;

void FreeTheDisk() {
    const std::string said = HostScript("rm -f '" + HostNameOf(kFiller) + "'");
    EXPECT_TRUE(Succeeded(said)) << said;
}

void CountRemoval(const char*) {
    if (++removalsSeen == freeAtRemoval) FreeTheDisk();
}

std::string FileBytes(int seed) {
    std::string bytes(kFileSize, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>((i * 131 + static_cast<std::size_t>(seed) * 7) ^ (i >> 9));
    }
    return bytes;
}

int RestoreTool(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    return RunRestoreTool(static_cast<int>(argv.size()), argv.data(), stdout, stderr);
}

bool StartsWith(const std::string& text, const std::string& start) {
    return text.compare(0, start.size(), start) == 0;
}

// The starts of every line the log writes; a line that starts otherwise is
// a result line of this test's files or of the Run sweep.
const char* const kLineStarts[] = {
    "Scan started ",        "Program: ",         "System: ",
    "    Quarantine: ",     "    Log: ",         "    Registry backup: ",
    "    Damaged record: ", "    Not removed: ", "Final status: ",
    "Restart question: ",
};

struct Case {
    const char* what;
    std::size_t room;  // bytes left on the disk when the removals begin
    int freeAt;        // the removal at which the disk is freed; 0: never
    int files;         // files removed
    int runValues;     // the first files each have a Run value that starts them
    int longNameFrom;  // the Run values of this file on have a long name, which
                       // makes a large backup (and a note half its size)
    int longNameLength;
    int itemsKept;       // items the log names as kept
    int copiesNotKept;   // "no copy kept" notes
    int backupsNotKept;  // "no backup kept" notes
    bool piecesMissing;  // a "Log: N pieces ..." note
    bool freshLog;       // the log of the case before goes first (its last
                         // page would leave room for this case's lines)
};

// Checks every claim of the log; the original bytes of each removed file by path.
void CheckTheLogsClaims(const std::map<std::string, std::string>& originals,
                        const std::map<std::string, std::string>& runData, const Case& c) {
    const std::string text = ReadWholeFile(kLog);
    const std::vector<std::string> log = CrlfLines(text);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(text.compare(text.size() - 2, 2, "\r\n"), 0) << "the log ends inside a line";
    EXPECT_EQ(log.front(), kRule) << text.substr(0, 2000);

    // No piece glued to another: every line is one piece's line from its start.
    for (std::size_t i = 0; i < log.size(); ++i) {
        const std::string& line = log[i];
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
        if (line == kRule) continue;
        EXPECT_EQ(line.find("=========="), std::string::npos) << line;
        for (const char* start : kLineStarts) {
            const std::size_t at = line.find(start);
            EXPECT_TRUE(at == std::string::npos || at == 0) << "glued: " << line;
        }
        // Each entry starts with its whole header.
        if (StartsWith(line, "Scan started ")) {
            ASSERT_GT(i, 0u);
            EXPECT_EQ(log[i - 1], kRule) << line;
        }
    }

    // This case's entry: from its last header on (five lines, the last a rule).
    auto lastRule = std::find(log.rbegin(), log.rend(), kRule);
    ASSERT_NE(lastRule, log.rend());
    const std::ptrdiff_t headerEnd = log.rend() - lastRule - 1;
    ASSERT_GE(headerEnd, 4);
    const std::vector<std::string> entry(log.begin() + (headerEnd - 4), log.end());
    ASSERT_TRUE(StartsWith(entry[1], "Scan started ")) << entry[1];

    int itemsNamed = 0, copiesNotKept = 0, backupsNotKept = 0, missingNotes = 0;
    std::vector<std::string> itemsInLog, backupsInLog, notSaved;
    for (std::size_t i = 0; i < entry.size(); ++i) {
        const std::string& line = entry[i];
        const std::string removed = std::string("     ") + kDetection + " removed";
        if (line.size() > removed.size() &&
            line.compare(line.size() - removed.size(), removed.size(), removed) == 0) {
            // A removal's note follows it, or the note of what the log is missing.
            ASSERT_LT(i + 1, entry.size());
            const std::string& note = entry[i + 1];
            EXPECT_TRUE(StartsWith(note, "    Quarantine: ") || StartsWith(note, "    Log: "))
                << line << " / " << note;
            if (!StartsWith(note, "    Quarantine: ")) continue;
            const std::string path = line.substr(0, line.size() - removed.size());
            if (StartsWith(note, "    Quarantine: no copy kept: ")) {
                ++copiesNotKept;
                EXPECT_NE(note.find(kDiskFull), std::string::npos) << note;
                continue;
            }
            // Named as kept: there, whole, and it brings the file back.
            ++itemsNamed;
            const std::string id = note.substr(16);
            itemsInLog.push_back(id + ".qrn");
            ASSERT_EQ(originals.count(path), 1u) << path;
            // On the small disk: the restore tool writes through no mount point.
            const std::string to = "C:\\qxrestored-" + id;
            EXPECT_EQ(RestoreTool({"restore", id, "--to", to}), kRestoreDone) << id;
            EXPECT_TRUE(ReadFileBytes(to) == originals.at(path)) << id;
            DeleteFileA(to.c_str());
        } else if (StartsWith(line, "    Registry backup: ")) {
            const std::string saved = " saved in ";
            const std::size_t at = line.rfind(saved);
            if (line.find(" not saved, no backup kept: ") != std::string::npos) {
                ++backupsNotKept;
                const std::size_t nameAt = line.find(", value \"");
                const std::size_t nameEnd = line.find("\" not saved, ");
                ASSERT_TRUE(nameAt != std::string::npos && nameEnd > nameAt) << line;
                notSaved.push_back(line.substr(nameAt + 9, nameEnd - nameAt - 9));
                EXPECT_NE(line.find(kDiskFull), std::string::npos) << line;
                continue;
            }
            ASSERT_NE(at, std::string::npos) << line;
            const std::string file = line.substr(at + saved.size());
            backupsInLog.push_back(file);
            // Whole lines only (UTF-16LE): nothing of a value cut off is left in it.
            const std::string bytes = ReadWholeFile(std::string(kQuarantine) + "\\" + file);
            EXPECT_TRUE(bytes.size() >= 4 &&
                        bytes.compare(bytes.size() - 4, 4, std::string("\r\0\n\0", 4)) == 0)
                << file << " ends inside a line";
            // The value named is in that file, and reg import brings it back.
            const std::size_t nameAt = line.find(", value \"");
            ASSERT_NE(nameAt, std::string::npos) << line;
            const std::string name = line.substr(nameAt + 9, at - nameAt - 10);
            ASSERT_EQ(runData.count(name), 1u) << name;
            EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunKey, name.c_str()));
            EXPECT_EQ(RunReg("import \"" + std::string(kQuarantine) + "\\" + file + "\""), 0u)
                << file;
            EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kRunKey, name.c_str())) << name;
            DeleteValue(HKEY_CURRENT_USER, kRunKey, name.c_str());
        } else if (StartsWith(line, "    Damaged record: ")) {
            ADD_FAILURE() << "here every unfinished record can be removed: " << line;
        } else if (StartsWith(line, "    Log: ")) {
            ++missingNotes;
            EXPECT_NE(
                line.find(" of this entry could not be written here " + std::string(kDiskFull)),
                std::string::npos)
                << line;
        }
    }
    // What the log says was not saved is in no backup: every import is done.
    for (const std::string& name : notSaved) {
        ASSERT_EQ(runData.count(name), 1u) << name;
        EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunKey, name.c_str())) << name;
    }
    EXPECT_EQ(itemsNamed, c.itemsKept);
    EXPECT_EQ(copiesNotKept, c.copiesNotKept);
    EXPECT_EQ(backupsNotKept, c.backupsNotKept);
    EXPECT_EQ(missingNotes > 0, c.piecesMissing);

    // No record is left that the log does not name: no empty or unfinished file.
    for (const std::string& item : FileNames(std::string(kQuarantine) + "\\*.qrn")) {
        EXPECT_TRUE(std::find(itemsInLog.begin(), itemsInLog.end(), item) != itemsInLog.end())
            << "an item the log does not name as kept: " << item;
    }
    for (const std::string& reg : FileNames(std::string(kQuarantine) + "\\*.reg")) {
        EXPECT_TRUE(std::find(backupsInLog.begin(), backupsInLog.end(), reg) != backupsInLog.end())
            << "a backup the log does not name as saved: " << reg;
    }
}

TEST(RecordsDisk, EveryClaimOfTheLogIsTrue) {
    ASSERT_TRUE(FileExists("C:\\qx-small-disk"))
        << "C: is not the small disk: run by records_disk.sh";
    CreateDirectoryA(kFolder, nullptr);
    const Case cases[] = {
        // No record fits; the disk is freed after the removals, before the
        // final status, which comes with the header and what is missing.
        {"full from the start", 0, 0, 2, 2, 3, 0, 0, 0, 0, true, true},
        // Freed at the second removal: the second file's backup was due
        // before (not kept), its copy after (kept), the third's both kept.
        {"freed midway", 0, 2, 3, 3, 4, 0, 2, 0, 0, true, true},
        // Room (three pages) for the log alone: neither the copies nor the
        // backup of the long-named value (four pages) fit, its note does.
        {"room for the log only", 3 * 4096, 0, 2, 1, 1, 7000, 0, 2, 1, false, false},
        // Room for the first value's backup file, not for the second
        // value's part of it (four more pages, three left): that part is cut
        // off again and the file still brings the first value back.
        {"a backup cut part way", 5 * 4096, 0, 2, 2, 2, 9000, 0, 2, 1, false, true},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ++round;
        // The earlier case's records go: each case's claims stand alone.
        HostScript("rm -rf '" + HostNameOf(kQuarantine) + "'" +
                   (c.freshLog ? " '" + HostNameOf(kLog) + "'" : std::string()));
        const std::string filled = FillLeaving(c.room);
        ASSERT_NE(filled.find("status 0"), std::string::npos) << filled;

        std::map<std::string, std::string> originals, runData;
        std::vector<std::string> paths;
        for (int f = 1; f <= c.files; ++f) {
            const std::string path = std::string(kFolder) + "\\r" + std::to_string(round) + "f" +
                                     std::to_string(f) + ".exe";
            originals[path] = FileBytes(round * 10 + f);
            WriteFileBytes(path, originals[path]);
            paths.push_back(path);
            if (f > c.runValues) continue;
            std::string name = "qxdisk " + std::to_string(round) + "-" + std::to_string(f) + " ";
            name.append(f >= c.longNameFrom ? static_cast<std::size_t>(c.longNameLength) : 12, 'n');
            runData[name] = path;
            ASSERT_TRUE(SetText(HKEY_CURRENT_USER, kRunKey, name.c_str(), path));
        }

        BeginTestScan();
        ScanState.MemoryScanMode = 0;
        BeginScanLog();
        removalsSeen = 0;
        freeAtRemoval = c.freeAt;
        SetRemovalTestHook(CountRemoval);
        for (const std::string& path : paths) {
            // As the executable scanner goes on a match: the Run values that
            // start the file, then the file.
            std::strcpy(CurrentFilePath, path.c_str());
            SweepKnownStartupEntries();
            Remediate(path.c_str(), kDetection, static_cast<std::int64_t>(kFileSize));
            CurrentFilePath[0] = '\0';
        }
        SetRemovalTestHook(nullptr);
        if (c.freeAt == 0 && c.room == 0) FreeTheDisk();
        LogFinalStatus("Scanning completed");
        EndScanLog();
        EndTestScan();

        // Every file went, and every Run value, backed up or not.
        for (const std::string& path : paths) EXPECT_FALSE(FileExists(path)) << path;
        for (const auto& value : runData) {
            EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunKey, value.first.c_str()));
        }
        CheckTheLogsClaims(originals, runData, c);
        for (const auto& value : runData) {
            DeleteValue(HKEY_CURRENT_USER, kRunKey, value.first.c_str());
        }
        HostScript("rm -f '" + HostNameOf(kFiller) + "'");
    }
}

}  // namespace
