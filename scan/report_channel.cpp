#include "scan/report_channel.h"

#include <cstdarg>
#include <cstdio>

#include "base/bounded_text.h"
#include "quarantine/scan_log.h"

void ReportLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(LineBuffer, sizeof LineBuffer, format, args);
    va_end(args);
    // The log takes the line after the list, so that what the list's owner
    // adds while taking it (the rescue scanner's registry lines) comes first
    // there too.
    char line[kLineBufferSize];
    CopyText(line, LineBuffer);
    platform::SendWindowMessage(ReportWindow, MSG_ADD_RESULT);
    LogResultLine(line);
}

void ReportStatus(const char* text) {
    CopyText(StatusBuffer, text);
    platform::SendWindowMessage(ReportWindow, MSG_SET_STATUS);
}
