#include "scan/walker.h"

#include <cstring>
#include <string>

#include "base/bounded_text.h"
#include "platform/directory_search.h"
#include "platform/file_io.h"
#include "platform/kept_name.h"
#include "quarantine/records_folder.h"
#include "quarantine/scan_log.h"
#include "scan/file_scanner_list.h"
#include "scan/report_channel.h"
#include "scan/scan_driver.h"
#include "scan/shorten_path.h"
#include "state/program_state.h"

namespace {

constexpr int kStatusWidth = 60;
constexpr int kRootPatternLength = 6;  // "C:\*.*"

// The pattern up to the character just before its last '.', followed by the
// pieces; false when there is no '.' (out is then untouched) or when the
// result would not fit a path buffer.
enum class Joined { Ok, NoDot, TooLong };

Joined JoinAtLastDot(const char* pattern, const char* name, const char* tail,
                     char (&out)[kPathCapacity]) {
    const char* dot = std::strrchr(pattern, '.');
    if (!dot) return Joined::NoDot;
    std::size_t prefix = dot > pattern ? static_cast<std::size_t>(dot - pattern - 1) : 0;
    std::size_t nameLen = std::strlen(name);
    std::size_t tailLen = std::strlen(tail);
    if (prefix + nameLen + tailLen >= kPathCapacity) return Joined::TooLong;
    std::memcpy(out, pattern, prefix);
    std::memcpy(out + prefix, name, nameLen);
    std::memcpy(out + prefix + nameLen, tail, tailLen + 1);
    return Joined::Ok;
}

// A path the long names make too long, through the short names of the
// folder and of the entry where the volume keeps them.
Joined JoinShort(const char* pattern, const platform::FoundEntry& entry, const char* tail,
                 char (&out)[kPathCapacity]) {
    char shortPattern[kPathCapacity];
    if (!platform::ShortFolderPattern(pattern, shortPattern)) return Joined::TooLong;
    const char* name = entry.shortName[0] ? entry.shortName : entry.name;
    const Joined joined = JoinAtLastDot(shortPattern, name, tail, out);
    return joined == Joined::NoDot ? Joined::TooLong : joined;
}

void CheckProgramFiles(const char* pattern) {
    char* pf = ScanState.ProgramFilesPattern;
    CopyText(pf, kPathCapacity, pattern);
    char* colon = std::strchr(pf, ':');
    if (!colon) return;
    colon[1] = '\0';
    AppendText(pf, kPathCapacity, "\\Program Files");
    if (platform::PathExists(pf)) {
        ScanState.ProgramFilesFound = 1;
        AppendText(pf, kPathCapacity, "\\*.*");
    }
}

bool StopRequested() {
    PumpMessages();
    return ScanState.TerminateRequested != 0;
}

void ScanFile(const char* path) {
    // The records this scan has just made are no part of the drive it scans.
    if (IsRecordMadeThisScan(path)) return;
    if (ScanState.MemoryScanMode == 0) ++ScanState.FilesScanned;
    RunFileScanners(path);
}

// The long (UTF-8) path of the folder being walked, with its final '\\', for
// the log: the walk's own path may go through short names.
std::string longFolder;

std::string LongPath(const platform::DirectorySearch& search, const platform::FoundEntry& entry) {
    return longFolder + (search.LongName()[0] ? search.LongName() : entry.name);
}

// The folder of a pattern with its final '\\' ("C:\Dir\*.*" gives "C:\Dir\").
std::string FolderOf(const char* pattern) {
    const char* slash = std::strrchr(pattern, '\\');
    return slash ? std::string(pattern, static_cast<std::size_t>(slash - pattern) + 1) : "";
}

// An entry that no narrow path reaches is not scanned, and the log says so.
void NoteUnreachable(const platform::DirectorySearch& search, const platform::FoundEntry& entry) {
    const std::string longPath = LongPath(search, entry);
    const std::size_t slash = longPath.rfind('\\');
    const bool ruleChanged = platform::NameNeedsKeptForm(
        longPath.c_str() + (slash == std::string::npos ? 0 : slash + 1));
    ReportWalkProblem(longPath + (entry.isDirectory ? "\\" : ""),
                      ruleChanged ? "its name is one this system's path rules change (a trailing "
                                    "dot or blank, a device name), and it has no short name"
                                  : "its name cannot be spelled in the system's code page, and it "
                                    "has no short name");
}

// An entry whose path does not fit the buffers in any form is not scanned.
void NoteTooLong(const platform::DirectorySearch& search, const platform::FoundEntry& entry,
                 const char* pattern) {
    if (platform::NoteEntryTooLong(pattern, entry.name)) return;
    ReportWalkProblem(LongPath(search, entry) + (entry.isDirectory ? "\\" : ""),
                      "its path is longer than 259 bytes in the system's code page, and short "
                      "names do not bring it within");
}

// A folder passed over so that the walk ends and stays where it walks.
void NoteNotEntered(const std::string& folder, const char* why) {
    LogText("Not walked: " + folder + "\\ (" + why + ")\r\n");
}

// How many walks are under way, the current one included: 1 for a walk the
// driver started, more for the subfolders it recurses into.
int walkDepth = 0;

struct WalkLevel {
    WalkLevel() { ++walkDepth; }
    ~WalkLevel() { --walkDepth; }
    WalkLevel(const WalkLevel&) = delete;
    WalkLevel& operator=(const WalkLevel&) = delete;
};

}  // namespace

int WalkDirectory(const char* pattern) {
    WalkLevel level;
    if (walkDepth == 1) longFolder = FolderOf(pattern);
    ScanState.MemoryHit = 0;
    std::size_t patternLength = strnlen(pattern, kPathCapacity);
    if (patternLength >= kPathCapacity) return ScanState.FilesScanned;

    if (patternLength <= kRootPatternLength) CheckProgramFiles(pattern);
    if (ScanState.MemoryScanMode == 0 && !platform::BeginFolderWalk(pattern, walkDepth == 1)) {
        std::string folder = longFolder;
        if (!folder.empty()) folder.pop_back();
        NoteNotEntered(folder, "walked already in this scan, reached again through a link");
        return ScanState.FilesScanned;
    }

    platform::DirectorySearch search;
    platform::FoundEntry entry;
    char entryPath[kPathCapacity];

    // First pass: every entry is shown, every file scanned.
    if (search.First(pattern, entry)) {
        do {
            if (StopRequested()) return 0;
            bool usable = true;
            if (ScanState.MemoryScanMode == 0 && entry.unreachable) {
                NoteUnreachable(search, entry);
                continue;
            }
            if (ScanState.MemoryScanMode == 0) {
                Joined joined = JoinAtLastDot(pattern, entry.name, "", entryPath);
                if (joined == Joined::NoDot) return -1;
                if (joined == Joined::TooLong) joined = JoinShort(pattern, entry, "", entryPath);
                // A path that does not fit the buffers is skipped, not cut.
                usable = joined == Joined::Ok;
                if (!usable && !entry.isDirectory) NoteTooLong(search, entry, pattern);
            } else {
                CopyText(entryPath, pattern);
            }
            if (usable) {
                char shortened[512] = {};
                ShortenPath(entryPath, shortened, sizeof shortened, kStatusWidth);
                ReportStatus(shortened);
                if (!entry.isDirectory) {
                    int infected = ScanState.FilesInfected;
                    ScanFile(entryPath);
                    // The result line names the path that opened the file;
                    // the log adds its long name when that differs.
                    if (ScanState.FilesInfected != infected) {
                        std::string longPath = LongPath(search, entry);
                        if (longPath != entryPath) LogText("    Long name: " + longPath + "\r\n");
                    }
                }
            }
            if (StopRequested()) return 0;
        } while (search.Next(entry));
    } else if (ScanState.MemoryScanMode == 0 && search.Unreadable()) {
        ReportWalkProblem(longFolder, "the folder cannot be read");
    }
    search.Close();

    // Second pass: the subdirectories, in the order the file system lists them.
    char secondPattern[kPathCapacity];
    CopyText(secondPattern, pattern);
    if (char* dot = std::strrchr(secondPattern, '.')) dot[1] = '\0';
    if (!AppendText(secondPattern, "*")) return ScanState.FilesScanned;
    if (!search.First(secondPattern, entry)) return ScanState.FilesScanned;

    char subPattern[kPathCapacity];
    do {
        if (StopRequested()) return 0;
        if (!entry.isDirectory || entry.unreachable || std::strcmp(entry.name, ".") == 0 ||
            std::strcmp(entry.name, "..") == 0) {
            continue;
        }
        Joined joined = JoinAtLastDot(pattern, entry.name, "\\*.*", subPattern);
        if (joined == Joined::NoDot) return -1;
        if (joined == Joined::TooLong) joined = JoinShort(pattern, entry, "\\*.*", subPattern);
        if (joined == Joined::TooLong) {  // deeper than a path can name
            NoteTooLong(search, entry, pattern);
            continue;
        }
        if (entry.isReparsePoint) {
            // Its target, where it is on a fixed drive, is walked where it lives.
            NoteNotEntered(LongPath(search, entry), "a junction, symbolic link or mount point");
            continue;
        }
        if (std::strstr(subPattern, "\\Program Files\\")) ScanState.ProgramFilesVisited = 1;
        std::size_t folderLength = longFolder.size();
        longFolder = LongPath(search, entry) + "\\";
        int walked = WalkDirectory(subPattern);
        longFolder.resize(folderLength);
        if (walked == -1) return -1;
    } while (search.Next(entry));
    return ScanState.FilesScanned;
}
