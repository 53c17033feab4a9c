// The lines of the scan log (Quellix.log) that are the log's own: its header,
// the notes on quarantine copies and registry backups, the final status and
// the restart answer. Result lines are written exactly as the list shows them.
#pragma once

#include <string>

#include "platform/quarantine_io.h"
#include "quarantine/quarantine_record.h"

// The first lines of one scan's entry, each ending in CRLF.
std::string LogHeaderText(const QuarantineTime& start, const char* systemDescription,
                          bool program64Bit);

enum class RemovalEnd { Removed, AtNextStart, NotRemoved };
// The note after a removal's result line. id is empty when no copy was kept;
// whyNone then says why.
std::string QuarantineNoteText(RemovalEnd end, const char* id, const char* whyNone);

// The note before registry data is deleted. fileName is empty when the
// backup could not be written; whyNone then says why (null: it could not be
// written).
std::string RegistryNoteText(const std::string& what, const char* fileName,
                             const char* whyNone = nullptr);

// Why a record could not be kept, in words: "the records disk is full".
const char* RecordProblemText(platform::RecordProblem problem);

// Told where the log's writing goes on after count pieces of the entry
// (a result line, a note) could not be written.
std::string LogPiecesMissingText(int count, platform::RecordProblem why);

// A record written in part that could not be removed again.
std::string DamagedRecordText(const char* path);
// The whole copy of a file that was not removed, which could not be removed again.
std::string UnremovedCopyText(const char* id);

std::string FinalStatusText(const char* status);
// answer: "Yes", "No", or nullptr when the question was not asked.
std::string RestartAnswerText(const char* answer);
