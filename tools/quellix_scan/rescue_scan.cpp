#include "tools/quellix_scan/rescue_scan.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>

#include "platform/host/host_control.h"
#include "platform/host/quarantine_io_control.h"
#include "platform/window_messages.h"
#include "quarantine/records_folder.h"
#include "quarantine/scan_log.h"
#include "scan/report_channel.h"
#include "scan/scan_driver.h"
#include "state/program_state.h"
#include "tools/quellix_scan/offline/offline_registry.h"
#include "tools/quellix_scan/walk_problem_text.h"

namespace {

constexpr int kFirstDrive = 2;   // C:
constexpr int kDriveCount = 24;  // C: to Z:

volatile sig_atomic_t stopSignal = 0;

void OnStopSignal(int signal) {
    stopSignal = signal;
}

// SIGINT and SIGTERM set the flag the message pump reads; a second one ends
// the program at once (the handler resets itself). Calls under way go on
// (SA_RESTART): a line being written when the signal comes is not lost.
class StopSignals {
public:
    StopSignals() {
        stopSignal = 0;
        struct sigaction action = {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND | SA_RESTART;
        sigaction(SIGINT, &action, &oldInt_);
        sigaction(SIGTERM, &action, &oldTerm_);
    }
    ~StopSignals() {
        sigaction(SIGINT, &oldInt_, nullptr);
        sigaction(SIGTERM, &oldTerm_, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    struct sigaction oldInt_ = {};
    struct sigaction oldTerm_ = {};
};

bool EndsWith(const std::string& s, const char* tail) {
    size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// 0 when path is a folder this process can list, else the errno value.
int FolderError(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    close(fd);
    return 0;
}

// How far the read-ahead runs before the walk, and with how many threads:
// measured on a cold disk (bench/run.sh --cold). QX_SCAN_READ_AHEAD=FILES[,THREADS]
// sets them for a benchmark; 0 turns the read-ahead off.
struct ReadAheadSize {
    std::size_t files = 32;
    std::size_t threads = 4;
};

ReadAheadSize ChosenReadAhead() {
    ReadAheadSize size;
    const char* text = getenv("QX_SCAN_READ_AHEAD");
    if (!text || !*text) return size;
    char* end = nullptr;
    const unsigned long files = strtoul(text, &end, 10);
    size.files = files <= 1024 ? files : 1024;
    if (*end == ',') {
        const unsigned long threads = strtoul(end + 1, nullptr, 10);
        size.threads = threads >= 1 && threads <= 64 ? threads : size.threads;
    }
    return size;
}

struct Tally {
    int found = 0;
    int notRemoved = 0;
    int unread = 0;   // left unscanned: the scan is incomplete
    int skipped = 0;  // links and special files, passed over by design
};

void WriteLine(std::FILE* out, const std::string& line) {
    std::fputs(line.c_str(), out);
    std::fputc('\n', out);
    // Each line as it happens: a scan stopped by force still leaves its report.
    std::fflush(out);
}

}  // namespace

std::string ReportOnlyLine(const std::string& line) {
    // Result lines end in " removed" (or " Virus removed"); the statistics line
    // of removed files counts nothing in this mode.
    if (line.rfind("Total files removed\t\t:  ", 0) == 0) return "Total files removed\t\t:  0";
    if (line.find("     ") != std::string::npos && EndsWith(line, " removed")) {
        return line.substr(0, line.size() - std::strlen("removed")) + "found";
    }
    return line;
}

std::string EscapeControls(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            out += '<';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
            out += '>';
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int RunRescueScan(const RescueOptions& options, std::FILE* out, std::FILE* err) {
    namespace host = platform::host;
    // The other host controls stay as the caller left them (a test's fault
    // injector); all are reset at the end.
    host::UnmapAllDrives();
    if (options.folders.size() > static_cast<size_t>(kDriveCount)) {
        std::fprintf(err, "quellix-scan: at most %d folders (drives C: to Z:)\n", kDriveCount);
        return kUsage;
    }
    Tally tally;
    bool anyDrive = false;
    std::string systemFolder;  // C:, whose Windows' registry is cleaned
    // A folder's drive letter is its place among the arguments, whatever fails.
    for (size_t i = 0; i < options.folders.size(); ++i) {
        const std::string& folder = options.folders[i];
        const char drive = static_cast<char>('A' + kFirstDrive + static_cast<int>(i));
        char resolved[PATH_MAX];
        int error = realpath(folder.c_str(), resolved) ? FolderError(resolved) : errno;
        if (error != 0) {
            WriteLine(err, "quellix-scan: " + std::string(1, drive) +
                               ": not scanned: " + EscapeControls(folder) +
                               ": cannot read folder: " + std::strerror(error));
            ++tally.unread;
            continue;
        }
        host::MapDrive(drive, resolved, platform::kDriveFixed);
        if (i == 0) systemFolder = resolved;
        WriteLine(err,
                  "quellix-scan: " + std::string(1, drive) + ": is " + EscapeControls(resolved));
        anyDrive = true;
    }
    if (!anyDrive) {
        WriteLine(err, "quellix-scan: no folder could be read; nothing was scanned");
        host::ResetHostControls();
        return kIncomplete;
    }
    // Judge every file, change none.
    host::SetDryRun(options.reportOnly);
    // The quarantine and the log go to the first folder's Quellix folder, as on
    // Windows to the system drive's; a report-only run writes neither.
    host::SetRecordsDrive(!options.reportOnly && !systemFolder.empty() ? 'C' : 0);

    host::SetWalkProblemReporter(
        [&](host::WalkProblem problem, const std::string& hostPath, int error) {
            WriteLine(err, "quellix-scan: " + EscapeControls(hostPath) + ": " +
                               WalkProblemText(problem, error));
            if (host::LeavesScanIncomplete(problem)) {
                ++tally.unread;
            } else {
                ++tally.skipped;
            }
        });

    OfflineRegistryCleaner registry(
        options.reportOnly,
        [&](const std::string& line) {
            ++tally.found;
            LogResultLine(line.c_str());
            WriteLine(out, options.reportOnly ? ReportOnlyLine(line) : line);
        },
        [&](const std::string& message) { WriteLine(err, EscapeControls(message)); });

    static int sinkTag;
    ReportWindow = &sinkTag;
    host::SetMessageSink([&](platform::WindowRef, unsigned message) {
        if (message != MSG_ADD_RESULT) return;
        std::string line = LineBuffer;
        // The walk is over: the registry's lines come before the statistics.
        if (ScanState.StatisticsPhase != 0) registry.Clean(systemFolder);
        if (ScanState.StatisticsPhase == 0) {
            registry.NoteResultLine(line);
            // A finding; its path is a file's name, which may hold anything.
            ++tally.found;
            if (EndsWith(line, " Unable to remove")) ++tally.notRemoved;
            line = EscapeControls(line);
        }
        if (options.reportOnly) line = ReportOnlyLine(line);
        WriteLine(out, line);
    });

    StopSignals signals;
    // A stop signal reaches the scan as a quit message: the walk ends at its
    // next entry and the statistics and "Scanning terminated" follow.
    host::SetMessageSource([](platform::QueuedMessage& message) {
        if (stopSignal == 0) return false;
        message = {platform::kWmQuit, 0};
        return true;
    });

    // The next files of each folder are read into the page cache while the
    // scan judges the one before them (ResetHostControls stops it).
    const ReadAheadSize readAhead = ChosenReadAhead();
    host::SetReadAhead(readAhead.files, readAhead.threads, IsRecordMadeThisScan);
    RunScan();
    registry.Clean(systemFolder);
    // Only the final status is worth printing; the walk's status is every entry.
    WriteLine(out, StatusBuffer);
    host::ResetHostControls();
    host::SetRecordsDrive(0);
    ReportWindow = nullptr;

    const bool interrupted = ScanState.TerminateRequested != 0;
    if (interrupted) WriteLine(err, "quellix-scan: interrupted; the scan is incomplete");
    if (tally.unread > 0) {
        WriteLine(err, "quellix-scan: " + std::to_string(tally.unread) +
                           " not scanned (listed above); the scan is incomplete");
    }
    if (tally.skipped > 0) {
        WriteLine(err, "quellix-scan: " + std::to_string(tally.skipped) +
                           " links, special files or folders reached twice passed over "
                           "(listed above)");
    }
    int status = kClean;
    if (tally.found > 0) status |= kFound;
    if (tally.notRemoved > 0) status |= kNotAllRemoved;
    if (interrupted || tally.unread > 0 || registry.Incomplete()) status |= kIncomplete;
    return status;
}
