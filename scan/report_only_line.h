// A result line as a report-only scan shows it: the scan acts as if every
// removal succeeded, so its outcome "removed" reads "found" and the
// statistics count nothing as removed.
#pragma once

#include <string>

std::string ReportOnlyLine(const std::string& line);
