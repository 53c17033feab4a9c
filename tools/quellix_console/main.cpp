// quellix-scan.exe: the one scan of Quellix Ver 7.0 from a console, for
// management systems: options in, result lines out, the outcome in the exit
// status, and nothing that waits for a person.
#include <windows.h>

#include <cstdio>
#include <string>

#include "clean/win32/system_cleaning_win.h"
#include "platform/report_only.h"
#include "platform/win32/machine_scan_lock_win.h"
#include "quarantine/scan_log.h"
#include "scan/report_texts.h"
#include "scan/scan_driver.h"
#include "scan/scan_observer.h"
#include "tools/quellix_console/console_answers.h"
#include "tools/quellix_console/console_options.h"
#include "tools/quellix_console/console_report.h"

namespace {

DWORD scanThread = 0;
ConsoleReport* report = nullptr;
const char* logCopyPath = nullptr;
bool logCopyFailed = false;
bool restartTaken = false;

// Ctrl-C and Ctrl-Break reach the scan as a quit message: it stops at the
// next entry, as CANCEL does, and the statistics follow. The handler runs on
// a thread of its own; the message queue is the scan thread's.
BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    PostThreadMessageA(scanThread, WM_QUIT, 0, 0);
    return TRUE;
}

// The log entry's copy, appended whole at the end of the file.
void AppendLogCopy(const std::string& entry) {
    if (!logCopyPath) return;
    HANDLE file = CreateFileA(logCopyPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    bool ok = file != INVALID_HANDLE_VALUE;
    if (ok) {
        DWORD written = 0;
        ok = SetFilePointer(file, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER &&
             WriteFile(file, entry.data(), static_cast<DWORD>(entry.size()), &written, nullptr) &&
             written == entry.size();
        ok = CloseHandle(file) && ok;
    }
    if (!ok) {
        logCopyFailed = true;
        std::fprintf(stderr, "quellix-scan: cannot append the log copy to %s (error %lu)\n",
                     logCopyPath, GetLastError());
    }
}

// The restart is asked for only after the question was answered Yes; this
// notes whether Windows took it.
BOOL(WINAPI* systemExitWindows)(UINT, DWORD) = nullptr;
BOOL WINAPI NotedExitWindows(UINT flags, DWORD reason) {
    const BOOL taken = systemExitWindows(flags, reason);
    if (taken) restartTaken = true;
    return taken;
}

int FinalStatus() {
    int status = report->ExitStatus();
    if (logCopyFailed) status |= kExitLogCopyFailed;
    return status;
}

// The memory phase ends the program when a worm service could not be
// stopped: the window closes; here the report and its status end it.
void WINAPI EndAfterMemoryPhase(UINT) {
    EndScanLog();
    report->EndedAfterMemoryPhase(restartTaken);
    std::fflush(stdout);
    ExitProcess(static_cast<UINT>(FinalStatus()));
}

}  // namespace

int main(int argc, char** argv) {
    ConsoleOptions options;
    std::string error;
    switch (ParseConsoleOptions(argc, argv, options, error)) {
        case ParseResult::Help:
            std::fputs(kConsoleUsage, stdout);
            return kExitClean;
        case ParseResult::Version:
            std::fputs(kConsoleVersion, stdout);
            return kExitClean;
        case ParseResult::Bad:
            std::fprintf(stderr, "quellix-scan: %s\n\n%s", error.c_str(), kConsoleUsage);
            return kExitUsage;
        case ParseResult::Scan:
            break;
    }

    // One scan per machine: the window's title, and the lock both programs take.
    platform::MachineScanLock lock;
    if (FindWindowA(nullptr, texts::kProgramTitle) || !lock.Take()) {
        std::fputs(
            "quellix-scan: another Quellix scan runs on this computer; nothing was scanned\n",
            stderr);
        return kExitAnotherScan;
    }

    platform::SetReportOnly(options.reportOnly);
    AllowRestart(options.restart);
    ConsoleReport console(options.quiet ? nullptr : stdout, stderr, options.reportOnly);
    report = &console;
    SetScanObserver(&console);
    if (!options.logCopy.empty()) {
        logCopyPath = options.logCopy.c_str();
        SetScanLogCopy(AppendLogCopy);
    }
    systemExitWindows = RestartSystemCalls.exitWindows;
    RestartSystemCalls.exitWindows = NotedExitWindows;
    EndProgram = EndAfterMemoryPhase;

    // The thread's message queue exists before a stop can be posted to it.
    MSG peeked;
    PeekMessageA(&peeked, nullptr, 0, 0, PM_NOREMOVE);
    scanThread = GetCurrentThreadId();
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);

    RunScan();

    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    SetScanObserver(nullptr);
    if (restartTaken) console.Restarted();
    return FinalStatus();
}
