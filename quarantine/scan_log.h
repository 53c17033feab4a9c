// The scan log, <system drive>\Quellix\Quellix.log: one entry appended per
// scan with a header, every result line as the list shows it (the list's
// 150-line rule does not apply), the notes of the quarantine, the final
// status and the restart answer. Each piece is appended at once, so a scan
// that ends abruptly still leaves what came before; a write that fails is
// dropped and changes nothing else. The log is continued only when it is the
// plain file it names in a records folder that passed its check (where only
// administrators can make anything); otherwise it is made new, and where its
// name is taken by anything else the scan's records go to a new folder.
#pragma once

#include <string>

// Opens this scan's entry with its header; until then, and when the program
// keeps no records, the calls below write nothing.
void BeginScanLog();
void EndScanLog();
// The log file is being written.
bool ScanLogOpen();

// Hands this scan's whole entry, as written to the log, to a front end at
// EndScanLog (also when no records are kept, as in report-only mode, or the
// log cannot be written). Null: no copy.
using ScanLogCopy = void (*)(const std::string& entry);
void SetScanLogCopy(ScanLogCopy copy);

// A result line: written as it stands, with CRLF.
void LogResultLine(const char* line);
// Text of the log's own that ends in its line end already.
void LogText(const std::string& text);
void LogFinalStatus(const char* status);
// "Yes", "No", or nullptr when the question was not asked.
void LogRestartAnswer(const char* answer);
