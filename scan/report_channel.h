// The one channel from scanning code to the main dialog: fill a buffer, then
// send a private message; the dialog has taken the text when the send returns.
#pragma once

#include "state/program_state.h"

constexpr unsigned MSG_SET_STATUS = 10;
constexpr unsigned MSG_ADD_RESULT = 11;

// Formats into LineBuffer (cut at 511 characters) and sends MSG_ADD_RESULT.
void ReportLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Copies into StatusBuffer (cut at 259 characters) and sends MSG_SET_STATUS.
void ReportStatus(const char* text);
