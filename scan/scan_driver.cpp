#include "scan/scan_driver.h"

#include "clean/system_cleaning.h"
#include "platform/drives.h"
#include "platform/message_box.h"
#include "platform/window_messages.h"
#include "quarantine/scan_log.h"
#include "scan/report_channel.h"
#include "scan/report_texts.h"
#include "scan/walker.h"
#include "state/program_state.h"

namespace {

constexpr unsigned kQuestionStyle = kMbYesNo | kMbIconQuestion;  // 0x24
constexpr unsigned kEscapeKey = 27;

void WalkFixedDrives() {
    char root[] = "C:\\";
    char rootPattern[] = "C:\\*.*";
    for (int i = 2; i <= 25; ++i) {
        root[0] = static_cast<char>('A' + i);
        rootPattern[0] = root[0];
        if (platform::DriveType(root) != platform::kDriveFixed) continue;
        WalkDirectory(rootPattern);
        if (ScanState.ProgramFilesFound == 1 && ScanState.ProgramFilesVisited == 0) {
            WalkDirectory(ScanState.ProgramFilesPattern);
            ScanState.ProgramFilesFound = 0;
        }
    }
}

void WriteStatistics() {
    ScanState.StatisticsPhase = 1;
    if (ScanObserver* observer = CurrentScanObserver()) {
        observer->OnStatistics(
            {ScanState.FilesScanned, ScanState.FilesInfected, ScanState.FilesRemoved});
    }
    if (ScanState.FilesInfected > 0) ReportLine("%s", texts::kSeparatorLine);
    ReportLine("%s", texts::kStatisticsTitle);
    ReportLine("%s", texts::kStatisticsRule);
    ReportLine(texts::kTotalScannedFormat, ScanState.FilesScanned);
    ReportLine(texts::kTotalInfectedFormat, ScanState.FilesInfected);
    ReportLine(texts::kTotalRemovedFormat, ScanState.FilesRemoved);
}

}  // namespace

bool AskTerminateScan(const char* caption) {
    return ShowMessage(texts::kTerminateQuestion, caption, kQuestionStyle) == kIdYes;
}

int RunScan() {
    BeginScanLog();
    BeginSystemFileView();
    ScanMemory();
    WalkFixedDrives();
    EndSystemFileView();
    WriteStatistics();
    const char* status =
        ScanState.TerminateRequested ? texts::kScanningTerminated : texts::kScanningCompleted;
    ReportStatus(status);
    LogFinalStatus(status);
    if (ScanObserver* observer = CurrentScanObserver()) {
        observer->OnFinalStatus(
            {status, ScanState.TerminateRequested != 0, ScanState.RestartNeeded != 0});
    }
    if (ScanState.RestartNeeded == 0) {
        LogRestartAnswer(nullptr);
    } else if (ShowMessage(texts::kRestartQuestion, texts::kProgramTitle, kQuestionStyle) ==
               kIdYes) {
        LogRestartAnswer("Yes");
        EndScanLog();
        RestartComputer();
    } else {
        LogRestartAnswer("No");
    }
    EndScanLog();
    return 1;
}

void PumpMessages() {
    SystemFileViewPause pause;
    platform::QueuedMessage message;
    if (!platform::TakeQueuedMessage(message)) return;
    if (message.message == platform::kWmKeyDown && (message.wParam & 0xFFFF) == kEscapeKey) {
        // Any answer but No stops the scan; the key itself goes no further.
        if (ShowMessage(texts::kTerminateQuestion, texts::kProgramTitle, kQuestionStyle) != kIdNo) {
            ScanState.TerminateRequested = 1;
        }
        return;
    }
    if (message.message == platform::kWmQuit || message.message == platform::kWmDestroy) {
        ScanState.TerminateRequested = 1;
        return;
    }
    platform::DispatchTakenMessage();
}
