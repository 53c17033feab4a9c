#include "quarantine/records_folder.h"

#include <string>
#include <vector>

#include "base/ascii_case.h"
#include "base/bounded_text.h"
#include "platform/quarantine_io.h"

namespace {

bool startSet = false;
QuarantineTime start;
std::vector<std::string> madeThisScan;

}  // namespace

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
    return CopyText(out, drive) && AppendText(out, name);
}

bool MakeQuarantineFolder(char (&folder)[kPathCapacity]) {
    char records[kPathCapacity];
    return RecordsPath(kRecordsFolderName, records) && platform::MakeFolder(records) &&
           RecordsPath(kQuarantineFolderName, folder) && platform::MakeFolder(folder);
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
    start = ToQuarantineTime();
    startSet = true;
}

const QuarantineTime& ScanStartTime() {
    if (!startSet) BeginScanRecords();
    return start;
}
