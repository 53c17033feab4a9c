#include "quarantine/records_folder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/ascii_case.h"
#include "base/bounded_text.h"
#include "platform/directory_search.h"
#include "platform/quarantine_io.h"
#include "quarantine/scan_log.h"

namespace {

bool startSet = false;
QuarantineTime start;
std::vector<std::string> madeThisScan;
enum class Readiness { Unchecked, Ready, Refused } readiness = Readiness::Unchecked;
std::string pendingNotes;
// The records folder of this scan: "\Quellix", or one made new beside it.
char folderName[32] = "\\Quellix";

void Note(const std::string& text) {
    if (ScanLogOpen()) {
        LogText(text);
    } else {
        pendingNotes += text;
    }
}

std::string FullPath(const char* name) {
    char path[kPathCapacity];
    return RecordsPath(name, path) ? path : "";
}

// What in the records folder fails its check, with why; "" when all passes.
std::string FirstUnfit(const char*& why) {
    const struct {
        const char* name;
        bool isFolder;
    } parts[] = {{kRecordsFolderName, true}, {kQuarantineFolderName, true}, {kLogFileName, false}};
    for (const auto& part : parts) {
        const std::string path = FullPath(part.name);
        if (path.empty()) return "";
        switch (platform::CheckRecordsLocation(path.c_str(), part.isFolder, &why)) {
            case platform::RecordsCheck::Safe:
                break;
            case platform::RecordsCheck::Missing:
                if (part.isFolder && part.name == kRecordsFolderName) return "";
                break;
            case platform::RecordsCheck::Unsafe:
            case platform::RecordsCheck::Unreadable:
                return path;
        }
    }
    return "";
}

// The names of the folders made beside "\Quellix" ("Quellix-" and eight hex
// digits, as no one but this program names them), sorted.
std::vector<std::string> FoldersMadeBeside(const char* drive) {
    std::vector<std::string> names;
    platform::DirectorySearch search;
    platform::FoundEntry entry;
    const std::string pattern = std::string(drive) + kRecordsFolderName + "-*";
    if (search.First(pattern.c_str(), entry)) {
        do {
            const std::string name = entry.name;
            if (entry.isDirectory && name.size() == 16 &&
                name.find_first_not_of("0123456789abcdef", 8) == name.npos) {
                names.push_back(name);
            }
        } while (search.Next(entry));
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A folder made beside "\Quellix" by an earlier scan that passes every check,
// as this scan's records folder; false (folderName as before) when none does.
bool UseEarlierFolderMadeBeside() {
    char drive[3];
    if (!platform::RecordsDrive(drive)) return false;
    char before[sizeof folderName];
    CopyText(before, folderName);
    for (const std::string& name : FoldersMadeBeside(drive)) {
        std::snprintf(folderName, sizeof folderName, "\\%s", name.c_str());
        const char* why = "";
        if (FirstUnfit(why).empty() &&
            platform::CheckRecordsLocation(FullPath(kRecordsFolderName).c_str(), true, nullptr) ==
                platform::RecordsCheck::Safe) {
            return true;
        }
    }
    CopyText(folderName, before);
    return false;
}

// Makes the records folder of this scan, checked after it is made.
bool MakeFolderChecked() {
    const std::string path = FullPath(kRecordsFolderName);
    return !path.empty() && platform::MakeRecordsFolder(path.c_str()) &&
           platform::CheckRecordsLocation(path.c_str(), true, nullptr) ==
               platform::RecordsCheck::Safe;
}

}  // namespace

bool UseNewRecordsFolder(const std::string& unfit, const char* why) {
    if (UseEarlierFolderMadeBeside()) {
        Note("Records: " + unfit + " failed the check (" + why +
             "): left as it is; this scan's records are in " + FullPath(kRecordsFolderName) +
             ".\r\n");
        return true;
    }
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::snprintf(folderName, sizeof folderName, "%s-%08lx", kRecordsFolderName,
                      static_cast<unsigned long>(platform::UnforeseeableBits()));
        if (MakeFolderChecked()) {
            Note("Records: " + unfit + " failed the check (" + why +
                 "): left as it is; this scan's records are in " + FullPath(kRecordsFolderName) +
                 ".\r\n");
            return true;
        }
    }
    readiness = Readiness::Refused;
    return false;
}

bool RecordsFolderReady() {
    if (readiness != Readiness::Unchecked) return readiness == Readiness::Ready;
    readiness = Readiness::Refused;
    CopyText(folderName, kRecordsFolderName);
    const char* why = "";
    const std::string unfit = FirstUnfit(why);
    if (!unfit.empty()) {
        // Never moved, removed or written: on some systems (Wine) any of
        // these reaches through a link to its target.
        if (!UseNewRecordsFolder(unfit, why)) return false;
    } else if (platform::CheckRecordsLocation(FullPath(kRecordsFolderName).c_str(), true,
                                              nullptr) == platform::RecordsCheck::Missing &&
               !MakeFolderChecked()) {
        return false;
    }
    readiness = Readiness::Ready;
    return true;
}

std::vector<std::string> CheckedQuarantineFolders(std::vector<std::string>& refused) {
    std::vector<std::string> names;
    char drive[3];
    if (!platform::RecordsDrive(drive)) return names;
    names.push_back(kRecordsFolderName + 1);
    const std::vector<std::string> madeBeside = FoldersMadeBeside(drive);
    names.insert(names.end(), madeBeside.begin(), madeBeside.end());
    std::vector<std::string> folders;
    for (const std::string& name : names) {
        const std::string folder = std::string(drive) + "\\" + name;
        const std::string quarantine = folder + "\\Quarantine";
        const char* why = "";
        platform::RecordsCheck check = platform::CheckRecordsLocation(folder.c_str(), true, &why);
        if (check == platform::RecordsCheck::Safe) {
            check = platform::CheckRecordsLocation(quarantine.c_str(), true, &why);
            if (check == platform::RecordsCheck::Safe) folders.push_back(quarantine);
            if (check == platform::RecordsCheck::Missing) continue;
            if (check != platform::RecordsCheck::Safe) refused.push_back(quarantine + ": " + why);
        } else if (check != platform::RecordsCheck::Missing) {
            refused.push_back(folder + ": " + why);
        }
    }
    return folders;
}

std::string TakeRecordsNotes() {
    std::string notes;
    notes.swap(pendingNotes);
    return notes;
}

void NoteRecordMade(const char* path) {
    madeThisScan.emplace_back(path);
}

bool IsRecordMadeThisScan(const char* path) {
    for (const std::string& made : madeThisScan) {
        if (EqualsIgnoringCase(made.c_str(), path)) return true;
    }
    return false;
}

bool RecordsPath(const char* name, char (&out)[kPathCapacity]) {
    char drive[3];
    if (!platform::RecordsDrive(drive)) return false;
    // Names under "\Quellix" go to this scan's records folder.
    const std::size_t stem = sizeof kRecordsFolderName - 1;
    if (std::strncmp(name, kRecordsFolderName, stem) == 0 &&
        (name[stem] == '\\' || name[stem] == '\0')) {
        return CopyText(out, drive) && AppendText(out, folderName) && AppendText(out, name + stem);
    }
    return CopyText(out, drive) && AppendText(out, name);
}

bool MakeQuarantineFolder(char (&folder)[kPathCapacity]) {
    if (!RecordsFolderReady() || !RecordsPath(kQuarantineFolderName, folder)) return false;
    switch (platform::CheckRecordsLocation(folder, true, nullptr)) {
        case platform::RecordsCheck::Safe:
            return true;
        case platform::RecordsCheck::Missing:
            return platform::MakeRecordsFolder(folder) &&
                   platform::CheckRecordsLocation(folder, true, nullptr) ==
                       platform::RecordsCheck::Safe;
        default:
            return false;
    }
}

QuarantineTime ToQuarantineTime() {
    platform::LocalTime now = platform::CurrentLocalTime();
    QuarantineTime time;
    time.year = now.year;
    time.month = now.month;
    time.day = now.day;
    time.hour = now.hour;
    time.minute = now.minute;
    time.second = now.second;
    return time;
}

void BeginScanRecords() {
    madeThisScan.clear();
    CopyText(folderName, kRecordsFolderName);
    readiness = Readiness::Unchecked;
    pendingNotes.clear();
    start = ToQuarantineTime();
    startSet = true;
}

const QuarantineTime& ScanStartTime() {
    if (!startSet) BeginScanRecords();
    return start;
}
