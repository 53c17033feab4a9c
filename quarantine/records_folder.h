// Where the program keeps its records: <system drive>\Quellix (the log) and
// <system drive>\Quellix\Quarantine (the neutralised copies and the registry
// backups), and the time that names this scan's registry backup.
#pragma once

#include "quarantine/quarantine_record.h"
#include "scan/scan_state.h"

inline constexpr char kRecordsFolderName[] = "\\Quellix";
inline constexpr char kQuarantineFolderName[] = "\\Quellix\\Quarantine";
inline constexpr char kLogFileName[] = "\\Quellix\\Quellix.log";

// The folder or file on the records drive; false when records are not kept.
bool RecordsPath(const char* name, char (&out)[kPathCapacity]);
// Makes <drive>\Quellix and its Quarantine folder; false when either fails.
bool MakeQuarantineFolder(char (&folder)[kPathCapacity]);

// The start of this scan: set by BeginScanRecords, else at the first use.
const QuarantineTime& ScanStartTime();
void BeginScanRecords();
QuarantineTime ToQuarantineTime();
