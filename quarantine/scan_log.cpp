#include "quarantine/scan_log.h"

#include <cstring>

#include "base/bounded_text.h"
#include "platform/file_io.h"
#include "platform/quarantine_io.h"
#include "platform/report_only.h"
#include "quarantine/log_text.h"
#include "quarantine/records_folder.h"
#include "scan/report_only_line.h"

namespace {

bool entryOpen = false;  // between BeginScanLog and EndScanLog
bool logOpen = false;    // and the log file is kept
char logPath[kPathCapacity];
std::string entryText;  // this scan's entry, for the copy
ScanLogCopy entryCopy = nullptr;

void Append(const char* data, std::size_t length) {
    if (!entryOpen) return;
    if (entryCopy) entryText.append(data, length);
    if (logOpen) platform::AppendToFile(logPath, data, length);
}

}  // namespace

void BeginScanLog() {
    BeginScanRecords();
    entryText.clear();
    entryOpen = true;
    char folder[kPathCapacity];
    logOpen = RecordsPath(kRecordsFolderName, folder) && platform::MakeFolder(folder) &&
              RecordsPath(kLogFileName, logPath);
    if (logOpen && !platform::PathExists(logPath)) NoteRecordMade(logPath);
    // Without records only a copy wants the entry.
    if (!logOpen && !entryCopy) entryOpen = false;
    char system[200];
    platform::DescribeSystem(system, sizeof system);
    LogText(LogHeaderText(ScanStartTime(), system, sizeof(void*) == 8));
}

void EndScanLog() {
    const bool ended = entryOpen;
    entryOpen = false;
    logOpen = false;
    if (ended && entryCopy) entryCopy(entryText);
    entryText.clear();
}

void SetScanLogCopy(ScanLogCopy copy) {
    entryCopy = copy;
}

bool ScanLogOpen() {
    return logOpen;
}

void LogResultLine(const char* line) {
    if (!entryOpen) return;
    // What happened: in report-only mode nothing was removed.
    std::string text = platform::ReportOnly() ? ReportOnlyLine(line) : line;
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
