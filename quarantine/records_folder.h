// Where the program keeps its records: <system drive>\Quellix (the log) and
// <system drive>\Quellix\Quarantine (the neutralised copies and the registry
// backups), and the time that names this scan's registry backup.
#pragma once

#include "quarantine/quarantine_record.h"
#include "state/program_state.h"

inline constexpr char kRecordsFolderName[] = "\\Quellix";
inline constexpr char kQuarantineFolderName[] = "\\Quellix\\Quarantine";
inline constexpr char kLogFileName[] = "\\Quellix\\Quellix.log";

// The folder or file on the records drive; false when records are not kept.
bool RecordsPath(const char* name, char (&out)[kPathCapacity]);
// Makes <drive>\Quellix and its Quarantine folder; false when either fails.
bool MakeQuarantineFolder(char (&folder)[kPathCapacity]);

// The files among the records that this scan made: the walk passes them by,
// so that the scan counts what it would count without records. A record made
// by an earlier scan is a file like any other.
void NoteRecordMade(const char* path);
bool IsRecordMadeThisScan(const char* path);

// The start of this scan: set by BeginScanRecords (which also forgets the
// records made before), else at the first use.
const QuarantineTime& ScanStartTime();
void BeginScanRecords();
QuarantineTime ToQuarantineTime();
