// The script and HTML worm cleaner: the second scanner of FileScannerList.
// It matches a text-looking file's blank-stripped head and tail against the
// 13 script signatures and deletes a matched file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "detect/file_reads.h"
#include "detect/script/script_signature_record.h"  // IsBlank
#include "scan/scanned_file.h"
#include "state/program_state.h"  // ScriptCleaner, the cleaner's working state

// FileScannerList entry: 1 when the file matched a record (deleted or not),
// 0 otherwise. defaultName is not used: the result line names the record.
int CleanScriptFile(const char* defaultName, ScannedFile& file);

// Unscrambles the table unless that has already happened in this run.
void PrepareScriptTable();

// length is the file's length as taken once after opening it (-1 when it
// could not be taken); every read is still checked, so a file that shrank
// since then comes up short and is not matched.

// On a match: the record's name in ScriptCleaner.matchedName, FilesInfected + 1.
bool DetectScriptWorm(FileBytes file, std::int64_t length);

// A line feed before the first zero byte of the first or the last block
// (1024 bytes, or 512 for files of 1024 bytes or less, at most the file).
bool HasLineFeed(FileBytes file, std::int64_t length);

// "</BODY>", "</HTML>" or "</SCRIPT>", in any case, in the last 100 bytes.
bool EndsWithMarkupCloser(FileBytes file, std::int64_t length);

// Copies the count source bytes that are not blanks; destination must hold
// count bytes. Returns the number copied.
std::size_t StripBlanks(const std::uint8_t* source, std::uint8_t* destination, std::size_t count);

// True when the n pattern bytes occur wholly within the first windowLength bytes.
bool FindPattern(const std::uint8_t* window, std::size_t windowLength, const std::uint8_t* pattern,
                 std::size_t patternLength);
