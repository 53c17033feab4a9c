// The one channel from scanning code to the front end: fill a buffer, then
// send a private message (the dialog has taken the text when the send
// returns), write the log, and tell the scan's observer.
#pragma once

#include <string>

#include "scan/scan_observer.h"
#include "state/program_state.h"

constexpr unsigned MSG_SET_STATUS = 10;
constexpr unsigned MSG_ADD_RESULT = 11;

// Formats into LineBuffer (cut at 511 characters) and sends MSG_ADD_RESULT.
void ReportLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Copies into StatusBuffer (cut at 259 characters) and sends MSG_SET_STATUS.
void ReportStatus(const char* text);

// The findings, each one result line and one observer call.
void ReportFileRemoved(const char* path, const char* detectionName);     // "... removed"
void ReportScriptRemoved(const char* path, const char* detectionName);   // "... Virus removed"
void ReportFileNotRemoved(const char* path, const char* detectionName);  // "... Unable to remove"
void ReportMemoryRemoval();  // "System Memory    W32/Bagle.Worm removed"
// "System Registry     NAME removed"; only where someone hears it (a window
// or an observer): the cleaning calls of the tests run without either.
void ReportRegistryRemoval(const char* detectionName);
// A directory entry the walk could not read, to the log and the observer.
void ReportWalkProblem(const std::string& path, const char* why);
