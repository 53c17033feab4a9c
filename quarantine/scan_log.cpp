#include "quarantine/scan_log.h"

#include <cstring>
#include <string>

#include "base/bounded_text.h"
#include "base/escape_controls.h"
#include "platform/file_io.h"
#include "platform/quarantine_io.h"
#include "quarantine/log_text.h"
#include "quarantine/records_folder.h"

namespace {

bool logOpen = false;
char logPath[kPathCapacity];

void Append(const char* data, std::size_t length) {
    if (logOpen) platform::AppendToFile(logPath, data, length);
}

// The log: continued from earlier scans only as the checked plain file in the
// checked folder (RecordsFolderReady checked it); else made new.
bool OpenLog() {
    for (int round = 0; round < 2; ++round) {
        if (!RecordsPath(kLogFileName, logPath)) return false;
        if (platform::CheckRecordsLocation(logPath, false, nullptr) ==
            platform::RecordsCheck::Safe) {
            return true;
        }
        platform::NewFile file;
        switch (file.Create(logPath)) {
            case platform::NewFile::Made::Ok:
                if (!file.Keep()) return false;
                NoteRecordMade(logPath);
                return true;
            case platform::NewFile::Made::Exists:
                // Something no check sees (a link that leads nowhere).
                if (!UseNewRecordsFolder(logPath, "there, though it cannot be seen")) {
                    return false;
                }
                continue;
            case platform::NewFile::Made::Failed:
                return false;
        }
    }
    return false;
}

}  // namespace

void BeginScanLog() {
    BeginScanRecords();
    logOpen = false;
    if (!RecordsFolderReady() || !OpenLog()) return;
    char system[200];
    platform::DescribeSystem(system, sizeof system);
    logOpen = true;
    LogText(LogHeaderText(ScanStartTime(), system, sizeof(void*) == 8));
    LogText(TakeRecordsNotes());
}

void EndScanLog() {
    logOpen = false;
}

bool ScanLogOpen() {
    return logOpen;
}

void LogResultLine(const char* line) {
    if (!logOpen) return;
    // A file's name may hold anything a POSIX disk allows: no line of the
    // log is made or changed by one.
    std::string text = EscapeControls(line, true);
    text += "\r\n";
    Append(text.data(), text.size());
}

void LogText(const std::string& text) {
    Append(text.data(), text.size());
}

void LogFinalStatus(const char* status) {
    LogText(FinalStatusText(status));
}

void LogRestartAnswer(const char* answer) {
    LogText(RestartAnswerText(answer));
}
