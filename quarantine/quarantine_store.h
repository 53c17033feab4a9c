// The quarantine: before a detected file is removed, a neutralised copy goes
// to <system drive>\Quellix\Quarantine; before registry data is deleted, it
// is written to this scan's .reg file there. A copy that cannot be made never
// holds up the removal: the log says why there is none.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/file_facts.h"
#include "quarantine/log_text.h"
#include "quarantine/quarantine_record.h"
#include "state/program_state.h"

struct QuarantineCopy {
    bool recordsKept = false;  // false: this run keeps no records at all
    bool kept = false;
    char id[kQuarantineIdSize] = {};
    char file[kPathCapacity] = {};
    char original[kPathCapacity] = {};  // the file copied
    const char* whyNone = nullptr;
};

// Copies the file, neutralised, behind its header, with its attributes and
// times: factsBefore when the caller read them before changing the file's
// attributes for the removal, else as they are now. judgedLength (-1:
// unknown) is the length the file had when it was judged: a copy that comes
// out shorter (the file shrank in between) is no copy of what was judged,
// and is not kept.
QuarantineCopy KeepQuarantineCopy(const char* path, const char* detectionName,
                                  std::int64_t judgedLength = -1,
                                  const platform::FileFacts* factsBefore = nullptr);

// After the removal: writes the copy's note to the log; the copy of a file
// that was not removed (nor scheduled for removal) is deleted again, since the
// file itself is still there. A file removed without its copy is also told
// to the note below.
void SettleQuarantineCopy(QuarantineCopy& copy, RemovalEnd end);

// Told of each file removed (or to be removed at the next start) while the
// program keeps records but no copy of it could be kept, with the reason;
// an empty function stops the notes.
using UnkeptRemovalNote = std::function<void(const char* path, const char* whyNone)>;
void SetUnkeptRemovalNote(UnkeptRemovalNote note);

// The log's note for a detected file that was left where it is (its
// attributes could not be changed): no copy was made.
void NoteFileNotRemoved();

// The backup file's format: REGEDIT4 text, or "Windows Registry Editor
// Version 5.00" in UTF-16LE (reg_text.h's Reg5 lines as Reg5FileBytes).
enum class RegFileFormat { Regedit4, Reg5Utf16 };

// Appends the bytes of lines of that format to this scan's backup file (made,
// with the format's start, on first use) and notes it in the log; false when
// it could not be written.
bool KeepRegistryBackup(const std::string& what, const std::string& regText,
                        RegFileFormat format = RegFileFormat::Regedit4);

// The log's note for registry data deleted without a backup, and why.
void NoteNoRegistryBackup(const std::string& what, const char* why);

// The backup file's name (without folder) for this scan.
std::string RegistryBackupFileName();
