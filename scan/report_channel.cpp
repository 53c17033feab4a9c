#include "scan/report_channel.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "base/bounded_text.h"
#include "quarantine/scan_log.h"
#include "scan/report_texts.h"

namespace {

void TellFinding(const char* path, const char* detectionName, FindingOutcome outcome) {
    if (ScanObserver* observer = CurrentScanObserver()) {
        observer->OnFinding({path, detectionName, outcome});
    }
}

}  // namespace

void ReportLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(LineBuffer, sizeof LineBuffer, format, args);
    va_end(args);
    // The log takes the line after the list, so that what the list's owner
    // adds while taking it (the rescue scanner's registry lines) comes first
    // there too.
    char line[kLineBufferSize];
    CopyText(line, LineBuffer);
    platform::SendWindowMessage(ReportWindow, MSG_ADD_RESULT);
    LogResultLine(line);
    if (ScanObserver* observer = CurrentScanObserver()) observer->OnResultLine(line);
}

void ReportStatus(const char* text) {
    CopyText(StatusBuffer, text);
    platform::SendWindowMessage(ReportWindow, MSG_SET_STATUS);
}

void ReportFileRemoved(const char* path, const char* detectionName) {
    ReportLine(texts::kRemovedFormat, path, detectionName);
    TellFinding(path, detectionName, FindingOutcome::Removed);
}

void ReportScriptRemoved(const char* path, const char* detectionName) {
    ReportLine(texts::kVirusRemovedFormat, path, detectionName);
    TellFinding(path, detectionName, FindingOutcome::Removed);
}

void ReportFileNotRemoved(const char* path, const char* detectionName) {
    ReportLine(texts::kUnableToRemoveFormat, path, detectionName);
    TellFinding(path, detectionName, FindingOutcome::NotRemoved);
}

void ReportMemoryRemoval() {
    ReportLine("%s", texts::kMemoryRemovedLine);
    TellFinding(nullptr, texts::kDefaultDetectionName, FindingOutcome::EndedInMemory);
}

void ReportRegistryRemoval(const char* detectionName) {
    ScanObserver* observer = CurrentScanObserver();
    if (!ReportWindow && !observer) return;
    ReportLine(texts::kRegistryRemovedFormat, detectionName);
    if (observer) observer->OnRegistryRemoval(detectionName);
}

void ReportWalkProblem(const std::string& path, const char* why) {
    LogText("Not readable: " + path + " (" + why + ")\r\n");
    if (ScanObserver* observer = CurrentScanObserver()) observer->OnWalkProblem(path.c_str(), why);
}
