#include "scan/report_channel.h"

#include <cstdarg>
#include <cstdio>

#include "quarantine/scan_log.h"
#include "scan/bounded_text.h"

platform::WindowRef ReportWindow = nullptr;
char LineBuffer[kLineBufferSize];
char StatusBuffer[kStatusBufferSize];
char DetectionNameBuffer[kDetectionNameBufferSize];

void ReportLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(LineBuffer, sizeof LineBuffer, format, args);
    va_end(args);
    LogResultLine(LineBuffer);
    platform::SendWindowMessage(ReportWindow, MSG_ADD_RESULT);
}

void ReportStatus(const char* text) {
    CopyText(StatusBuffer, text);
    platform::SendWindowMessage(ReportWindow, MSG_SET_STATUS);
}
