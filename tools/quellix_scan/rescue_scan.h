// The rescue scan of mounted Windows volumes: each folder stands for one fixed
// drive's root (C:, D:, ... by its place among the arguments) and the one scan
// of the Windows program runs over them; result lines, statistics and the
// final status go to the output as the result list would hold them, and what
// the walk leaves out or cannot read goes to the error output.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "base/escape_controls.h"
#include "scan/report_only_line.h"  // report-only outcomes read "found"

struct RescueOptions {
    bool reportOnly = false;
    std::vector<std::string> folders;
};

// Exit status: the sum of what applies, so that a detection always shows
// (an odd status) whatever else went wrong.
enum RescueExit {
    kClean = 0,               // nothing found, everything read
    kFound = 1,               // something found, and removed (or reported with --report-only)
    kNotAllRemoved = 2,       // with kFound: a detected file is still there ("Unable to remove")
    kIncomplete = 4,          // something was not read: a folder, a file, a DIR, or interrupted
    kRemovedWithoutCopy = 8,  // a detected file was removed without its quarantine copy
    kUsage = 64,              // bad arguments: nothing scanned
    kBusy = 75,               // another scan holds the first DIR: nothing scanned
};

// Runs the scan. SIGINT and SIGTERM stop it at the next entry, as CANCEL
// does; the statistics and "Scanning terminated" follow.
int RunRescueScan(const RescueOptions& options, std::FILE* out, std::FILE* err);
