// The rescue scan of mounted Windows volumes: each folder stands for one fixed
// drive's root (C:, D:, ... in the order given) and the one scan of the
// Windows program runs over them; result lines, statistics and the final
// status go to the output as the result list would hold them.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

struct RescueOptions {
    bool reportOnly = false;
    std::vector<std::string> folders;
};

enum RescueExit { kNothingFound = 0, kSomethingFound = 1, kError = 2 };

// Runs the scan; messages about folders that cannot be scanned go to err.
int RunRescueScan(const RescueOptions& options, std::FILE* out, std::FILE* err);

// In report-only mode an outcome "removed" reads "found".
std::string ReportOnlyLine(const std::string& line);
