#include "tools/quellix_scan/rescue_scan.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstring>

#include "platform/host/host_control.h"
#include "scan/report_channel.h"
#include "scan/scan_driver.h"
#include "scan/scan_state.h"

namespace {

constexpr int kFirstDrive = 2;   // C:
constexpr int kDriveCount = 24;  // C: to Z:

bool EndsWith(const std::string& s, const char* tail) {
    size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

bool IsReadableDirectory(const std::string& path) {
    DIR* dir = opendir(path.c_str());
    if (!dir) return false;
    closedir(dir);
    return true;
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

int RunRescueScan(const RescueOptions& options, std::FILE* out, std::FILE* err) {
    namespace host = platform::host;
    host::ResetHostControls();
    bool failed = false;
    if (options.folders.size() > static_cast<size_t>(kDriveCount)) {
        std::fprintf(err, "quellix-scan: at most %d folders (drives C: to Z:)\n", kDriveCount);
        return kError;
    }
    int letter = kFirstDrive;
    for (const auto& folder : options.folders) {
        char resolved[PATH_MAX];
        if (!realpath(folder.c_str(), resolved) || !IsReadableDirectory(resolved)) {
            std::fprintf(err, "quellix-scan: %s: not a readable folder\n", folder.c_str());
            failed = true;
            continue;
        }
        char drive = static_cast<char>('A' + letter++);
        host::MapDrive(drive, resolved, platform::kDriveFixed);
        std::fprintf(err, "quellix-scan: %c: is %s\n", drive, resolved);
    }
    // Judge every file, change none.
    host::SetDryRun(options.reportOnly);

    static int sinkTag;
    ReportWindow = &sinkTag;
    host::SetMessageSink([&](platform::WindowRef, unsigned message) {
        if (message != MSG_ADD_RESULT) return;
        std::string line = LineBuffer;
        if (options.reportOnly) line = ReportOnlyLine(line);
        std::fprintf(out, "%s\n", line.c_str());
    });

    RunScan();
    // Only the final status is worth printing; the walk's status is every entry.
    std::fprintf(out, "%s\n", StatusBuffer);
    std::fflush(out);
    host::ResetHostControls();
    ReportWindow = nullptr;

    if (failed) return kError;
    return ScanState.FilesInfected > 0 ? kSomethingFound : kNothingFound;
}
