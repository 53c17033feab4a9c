#include "tools/quellix_scan/rescue_scan.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "base/escape_controls.h"
#include "base/text_ends.h"
#include "clean/offline/disk_folders.h"
#include "clean/offline/offline_registry.h"
#include "platform/host/host_control.h"
#include "platform/host/quarantine_io_control.h"
#include "platform/window_messages.h"
#include "quarantine/quarantine_store.h"
#include "quarantine/records_folder.h"
#include "quarantine/scan_log.h"
#include "scan/report_channel.h"
#include "scan/scan_driver.h"
#include "state/program_state.h"
#include "tools/quellix_scan/walk_problem_text.h"

using platform::host::Descriptor;

namespace {

constexpr int kFirstDrive = 2;   // C:
constexpr int kDriveCount = 24;  // C: to Z:

volatile sig_atomic_t stopSignal = 0;
int stopPipeWrite = -1;

void OnStopSignal(int signal) {
    stopSignal = signal;
    if (stopPipeWrite >= 0) {
        const int saved = errno;
        const char byte = 1;
        if (write(stopPipeWrite, &byte, 1) < 0) {
            // Full: a byte is there already.
        }
        errno = saved;
    }
}

// SIGINT and SIGTERM set the flag the message pump reads, and make StopFd
// readable for what waits rather than pumps (the registry's worker); a
// second one ends the program at once (the handler resets itself), and the
// worker with it. Calls under way go on (SA_RESTART): a line being written
// when the signal comes is not lost.
class StopSignals {
public:
    StopSignals() {
        stopSignal = 0;
        int fds[2];
        if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
            readFd_ = fds[0];
            stopPipeWrite = fds[1];
        }
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
        if (stopPipeWrite >= 0) close(stopPipeWrite);
        stopPipeWrite = -1;
        if (readFd_ >= 0) close(readFd_);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    // Readable once a stop signal came; -1 when no pipe could be made.
    int StopFd() const { return readFd_; }

private:
    int readFd_ = -1;
    struct sigaction oldInt_ = {};
    struct sigaction oldTerm_ = {};
};

enum class RecordsLock { Held, Busy, None };

// Locks the records folder DIR/Quellix for the whole scan, reached from the
// held folder without following a link: exclusively for a scan that writes
// (made when missing), shared for a report-only one (which makes nothing,
// and takes no lock when there is no such folder). Busy when another scan
// holds it; None with why when it cannot be had.
RecordsLock LockRecordsFolder(int rootFd, bool reportOnly, Descriptor& lock, std::string& why) {
    std::string name;
    if (!platform::host::FindName(rootFd, "Quellix", name)) {
        if (reportOnly) return RecordsLock::None;
        name = "Quellix";
        if (mkdirat(rootFd, name.c_str(), 0777) != 0 && errno != EEXIST) {
            why = std::strerror(errno);
            return RecordsLock::None;
        }
    }
    lock =
        Descriptor(openat(rootFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!lock) {
        why = errno == ELOOP || errno == ENOTDIR ? "not a folder (a file or a link)"
                                                 : std::strerror(errno);
        return RecordsLock::None;
    }
    if (flock(lock.Get(), (reportOnly ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) return RecordsLock::Busy;
        why = std::strerror(errno);
        return RecordsLock::None;
    }
    return RecordsLock::Held;
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
    int unkept = 0;   // removed without a quarantine copy
};

void WriteLine(std::FILE* out, const std::string& line) {
    std::fputs(line.c_str(), out);
    std::fputc('\n', out);
    // Each line as it happens: a scan stopped by force still leaves its report.
    std::fflush(out);
}

}  // namespace

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
    // Each folder is opened once; the walk, the records and the registry all
    // start from that descriptor.
    Descriptor systemFolderFd;  // C:, whose Windows' registry is cleaned
    std::string systemFolder;   // and its name in messages
    std::vector<std::pair<std::pair<dev_t, ino_t>, char>> seen;
    // A folder's drive letter is its place among the arguments, whatever fails.
    for (size_t i = 0; i < options.folders.size(); ++i) {
        const std::string& folder = options.folders[i];
        const char drive = static_cast<char>('A' + kFirstDrive + static_cast<int>(i));
        Descriptor fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat st;
        if (!fd || fstat(fd.Get(), &st) != 0) {
            WriteLine(err, "quellix-scan: " + std::string(1, drive) +
                               ": not scanned: " + EscapeControls(folder) +
                               ": cannot read folder: " + std::strerror(errno));
            ++tally.unread;
            continue;
        }
        char resolved[PATH_MAX];
        const std::string self = "/proc/self/fd/" + std::to_string(fd.Get());
        const ssize_t n = readlink(self.c_str(), resolved, sizeof resolved - 1);
        const std::string shown = n > 0 ? std::string(resolved, static_cast<size_t>(n)) : folder;
        bool twice = false;
        for (const auto& [identity, earlier] : seen) {
            if (identity.first != st.st_dev || identity.second != st.st_ino) continue;
            // The same folder by another name (or given twice): its files
            // are scanned, and counted, once.
            WriteLine(err, "quellix-scan: " + std::string(1, drive) + ": " + EscapeControls(shown) +
                               " is the folder of " + std::string(1, earlier) +
                               ": already scanned there, not scanned twice");
            twice = true;
            break;
        }
        if (twice) continue;
        seen.push_back({{st.st_dev, st.st_ino}, drive});
        host::MapDriveFolder(drive, fd.Get(), shown, platform::kDriveFixed);
        if (i == 0) {
            systemFolder = shown;
            systemFolderFd = std::move(fd);
        }
        WriteLine(err, "quellix-scan: " + std::string(1, drive) + ": is " + EscapeControls(shown));
        anyDrive = true;
    }
    if (!anyDrive) {
        WriteLine(err, "quellix-scan: no folder could be read; nothing was scanned");
        host::ResetHostControls();
        return kIncomplete;
    }
    // One scan of a disk at a time: two would undo each other's hive
    // replacement and records.
    Descriptor recordsLock;
    if (systemFolderFd) {
        std::string why;
        switch (LockRecordsFolder(systemFolderFd.Get(), options.reportOnly, recordsLock, why)) {
            case RecordsLock::Busy:
                WriteLine(err, "quellix-scan: " + EscapeControls(systemFolder) +
                                   ": another quellix-scan is scanning this folder (its records "
                                   "folder Quellix is locked); nothing was scanned");
                host::ResetHostControls();
                return kBusy;
            case RecordsLock::None:
                if (!why.empty()) {
                    WriteLine(err, "quellix-scan: " + EscapeControls(systemFolder) +
                                       "/Quellix: the records folder cannot be used (" + why +
                                       "): left as it is; this scan's records are kept in a "
                                       "new folder beside it (Quellix-...), and the disk is "
                                       "not locked against a second scan");
                }
                break;
            case RecordsLock::Held: {
                std::string log;
                struct stat st;
                if (!options.reportOnly &&
                    platform::host::FindName(recordsLock.Get(), "Quellix.log", log) &&
                    fstatat(recordsLock.Get(), log.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                    !S_ISREG(st.st_mode)) {
                    WriteLine(err, "quellix-scan: " + EscapeControls(systemFolder) + "/Quellix/" +
                                       EscapeControls(log) +
                                       ": not a regular file: no log is written");
                }
                break;
            }
        }
    }
    // Judge every file, change none.
    host::SetDryRun(options.reportOnly);
    // The quarantine and the log go to the first folder's Quellix folder, as on
    // Windows to the system drive's; a report-only run writes neither.
    host::SetRecordsDrive(!options.reportOnly && systemFolderFd ? 'C' : 0);

    // A file removed without its neutralised copy cannot be given back:
    // said here, not only in the log (which may be what failed).
    SetUnkeptRemovalNote([&](const char* path, const char* why) {
        ++tally.unkept;
        WriteLine(err, "quellix-scan: " + EscapeControls(path) +
                           ": removed without a quarantine copy: " + why);
    });

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

    StopSignals signals;
    // The registry's cleaning takes a stop as the walk does: the scan then
    // ends "terminated".
    auto CleanRegistry = [&] {
        registry.Clean(systemFolderFd ? systemFolderFd.Get() : -1, systemFolder, signals.StopFd());
        if (registry.Stopped()) ScanState.TerminateRequested = 1;
    };
    // What the scan tells, printed as the result list would hold it.
    class Printer : public ScanObserver {
    public:
        Printer(std::function<void(const std::string&)> print, std::function<void()> walksOver,
                OfflineRegistryCleaner& registry, Tally& tally)
            : print_(std::move(print)),
              walksOver_(std::move(walksOver)),
              registry_(registry),
              tally_(tally) {}
        void OnResultLine(const char* line) override {
            // A finding's path is a file's name, which may hold anything.
            print_(statistics_ ? std::string(line) : EscapeControls(line));
        }
        void OnFinding(const ScanFinding& finding) override {
            registry_.NoteFinding(finding);
            ++tally_.found;
            if (finding.outcome == FindingOutcome::NotRemoved) ++tally_.notRemoved;
        }
        // The walk is over: the registry's lines come before the statistics.
        void OnStatistics(const ScanStatistics&) override {
            statistics_ = true;
            walksOver_();
        }
        // Only the final status is worth printing; the walk's status is every entry.
        void OnFinalStatus(const ScanEnd& end) override { print_(end.status); }

    private:
        std::function<void(const std::string&)> print_;
        std::function<void()> walksOver_;
        OfflineRegistryCleaner& registry_;
        Tally& tally_;
        bool statistics_ = false;
    };
    Printer printer(
        [&](const std::string& line) {
            WriteLine(out, options.reportOnly ? ReportOnlyLine(line) : line);
        },
        CleanRegistry, registry, tally);
    SetScanObserver(&printer);

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
    SetScanObserver(nullptr);
    SetUnkeptRemovalNote({});
    host::ResetHostControls();
    host::SetRecordsDrive(0);

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
    if (tally.unkept > 0) {
        WriteLine(err, "quellix-scan: " + std::to_string(tally.unkept) +
                           " removed without a quarantine copy (listed above)");
    }
    int status = kClean;
    if (tally.found > 0) status |= kFound;
    if (tally.unkept > 0) status |= kRemovedWithoutCopy;
    if (tally.notRemoved > 0) status |= kNotAllRemoved;
    if (interrupted || tally.unread > 0 || registry.Incomplete()) status |= kIncomplete;
    return status;
}
