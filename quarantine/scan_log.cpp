#include "quarantine/scan_log.h"

#include <cstring>
#include <string>

#include "base/bounded_text.h"
#include "base/escape_controls.h"
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

// The log takes whole pieces only. What could not go in is told where the
// writing goes on, an entry whose header could not go in gets it there, and
// a piece the file kept in part (it could not be cut back) is ended first,
// so that the next piece starts its own line.
std::string headerText;
bool headerWritten = false;
bool lineOpen = false;
int piecesMissing = 0;
platform::RecordProblem missingWhy = platform::RecordProblem::Unknown;

void WriteToLog(const char* data, std::size_t length) {
    std::string piece;
    if (lineOpen) piece = "\r\n";
    if (!headerWritten) piece += headerText;
    if (piecesMissing > 0) piece += LogPiecesMissingText(piecesMissing, missingWhy);
    if (length > 0) piece.append(data, length);
    if (piece.empty()) return;
    switch (platform::AppendToFile(logPath, piece.data(), piece.size())) {
        case platform::Appended::Whole:
            headerWritten = true;
            lineOpen = false;
            piecesMissing = 0;
            return;
        case platform::Appended::Cut:
            lineOpen = true;
            break;
        case platform::Appended::Nothing:
            break;
    }
    // The header and the note of what is missing are written again with the next piece.
    if (length > 0) ++piecesMissing;
    missingWhy = platform::LastRecordProblem();
}

void Append(const char* data, std::size_t length) {
    if (!entryOpen) return;
    if (entryCopy) entryText.append(data, length);
    if (logOpen && length > 0) WriteToLog(data, length);
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
    entryText.clear();
    logOpen = RecordsFolderReady() && OpenLog();
    // Without records only a copy wants the entry.
    entryOpen = logOpen || entryCopy != nullptr;
    char system[200];
    platform::DescribeSystem(system, sizeof system);
    headerText = LogHeaderText(ScanStartTime(), system, sizeof(void*) == 8);
    headerWritten = false;
    piecesMissing = 0;
    // An earlier scan's last piece that the file kept in part.
    lineOpen = logOpen && platform::RecordFileEndsMidLine(logPath);
    if (entryOpen && entryCopy) entryText += headerText;
    if (logOpen) WriteToLog(nullptr, 0);
    if (logOpen) LogText(TakeRecordsNotes());
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
    // What happened: in report-only mode nothing was removed. A file's name
    // may hold anything a POSIX disk allows: no line of the log is made or
    // changed by one.
    std::string text = EscapeControls(platform::ReportOnly() ? ReportOnlyLine(line) : line, true);
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
