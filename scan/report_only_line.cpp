#include "scan/report_only_line.h"

#include <cstring>

#include "scan/report_texts.h"

namespace {

bool EndsWith(const std::string& s, const char* tail) {
    std::size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

}  // namespace

std::string ReportOnlyLine(const std::string& line) {
    // Result lines end in " removed" (or " Virus removed"); the statistics line
    // of removed files counts nothing in this mode.
    if (line.rfind("Total files removed\t\t:  ", 0) == 0) return "Total files removed\t\t:  0";
    // The memory phase's line has four spaces where the others have five.
    if (line == texts::kMemoryRemovedLine) return "System Memory    W32/Bagle.Worm found";
    if (line.find("     ") != std::string::npos && EndsWith(line, " removed")) {
        return line.substr(0, line.size() - std::strlen("removed")) + "found";
    }
    return line;
}
