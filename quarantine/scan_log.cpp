#include "quarantine/scan_log.h"

#include <cstring>

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

}  // namespace

void BeginScanLog() {
    BeginScanRecords();
    logOpen = false;
    char folder[kPathCapacity];
    if (!RecordsPath(kRecordsFolderName, folder) || !platform::MakeFolder(folder) ||
        !RecordsPath(kLogFileName, logPath)) {
        return;
    }
    logOpen = true;
    if (!platform::PathExists(logPath)) NoteRecordMade(logPath);
    char system[200];
    platform::DescribeSystem(system, sizeof system);
    LogText(LogHeaderText(ScanStartTime(), system, sizeof(void*) == 8));
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
