// Where the program keeps its records: <system drive>\Quellix (the log) and
// <system drive>\Quellix\Quarantine (the neutralised copies and the registry
// backups), and the time that names this scan's registry backup.
#pragma once

#include <string>
#include <vector>

#include "quarantine/quarantine_record.h"
#include "state/program_state.h"

inline constexpr char kRecordsFolderName[] = "\\Quellix";
inline constexpr char kQuarantineFolderName[] = "\\Quellix\\Quarantine";
inline constexpr char kLogFileName[] = "\\Quellix\\Quellix.log";

// The folder or file on the records drive (names under \Quellix in this
// scan's records folder); false when records are not kept.
bool RecordsPath(const char* name, char (&out)[kPathCapacity]);

// The records folder of this scan, checked once per scan before any use
// (platform::CheckRecordsLocation): the folder, its Quarantine folder and the
// log. Missing, it is made with the records' own rights. When any of them
// fails the check, nothing there is moved, removed or written: this scan's
// records go to a folder beside it that an earlier scan made and that passes
// every check, else to one made new, "\Quellix-1a2b3c4d" (a name no one can
// foresee), to which RecordsPath then leads, and the log says why.
// False when records are not kept.
bool RecordsFolderReady();
// The same switch to a new folder at a later moment, when a record meets what
// no check saw
// (unfit: the path, why: the reason for the log).
bool UseNewRecordsFolder(const std::string& unfit, const char* why);
// The Quarantine folders of the records folders on the records drive that
// pass the check, "\Quellix" first, then those made beside it; what fails the
// check is never read and goes into refused ("C:\Quellix: why").
std::vector<std::string> CheckedQuarantineFolders(std::vector<std::string>& refused);
// Readies <drive>\Quellix and its Quarantine folder; false when either fails.
bool MakeQuarantineFolder(char (&folder)[kPathCapacity]);
// What the checks found before the log was open, for its start; taken once.
std::string TakeRecordsNotes();

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
