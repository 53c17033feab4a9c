// The console scanner's command line and its exit status.
#pragma once

#include <string>

struct ConsoleOptions {
    bool reportOnly = false;
    bool restart = false;
    bool quiet = false;
    std::string logCopy;  // empty: no copy
};

// Exit status: the sum of what applies (1, 2, 4, 8, 32), or one of 16 and
// 64 alone, when nothing was scanned.
enum ConsoleExit {
    kExitClean = 0,           // nothing found, everything read
    kExitFound = 1,           // something found: removed, or reported with --report-only
    kExitNotAllRemoved = 2,   // a detected file is still there
    kExitIncomplete = 4,      // stopped, an entry not read, or ended after the memory phase
    kExitRestartNeeded = 8,   // a deletion waits for the next start, and no restart was made
    kExitAnotherScan = 16,    // another scan (console or window) runs: nothing scanned
    kExitLogCopyFailed = 32,  // the --log-copy file could not be written
    kExitUsage = 64,          // bad arguments: nothing scanned
};

enum class ParseResult { Scan, Help, Version, Bad };

// Reads argv[1..]; on Bad, error names what was wrong.
ParseResult ParseConsoleOptions(int argc, const char* const* argv, ConsoleOptions& options,
                                std::string& error);

extern const char kConsoleUsage[];
extern const char kConsoleVersion[];
