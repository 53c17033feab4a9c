// The one way a detected file goes, for both file scanners and the memory
// phase: the file checked to be the one scanned, its quarantine copy, the
// deletion, the result line, the copy settled and the log's note.
#pragma once

#include <cstdint>

enum class RemovalWay {
    // The executable scanner's (and the memory phase's): the attributes are
    // cleared first (the copy keeps those the file had); a file in use is
    // freed by ending its process, else deleted at the next start of Windows.
    Executable,
    // The script cleaner's: deleted as it is, nothing else tried; its line
    // reads "Virus removed".
    Script,
};

// Deletes the file at path and writes the outcome line and the log's notes.
// judgedLength (-1: unknown) is the length the file was judged at, which its
// quarantine copy must reach. Changes nothing when the path no longer
// reaches the file that was scanned (platform::WhyPathIsNotTheScannedFile):
// "Unable to remove", and the log says why. A copy that cannot be made does
// not hold up the deletion: the log says that none was kept and why.
void RemoveDetectedFile(const char* path, const char* detectionName, RemovalWay way,
                        std::int64_t judgedLength = -1);

// Tests only: called with the path between a detection and its removal,
// where a test swaps what it reaches or changes the records' disk.
using RemovalTestHook = void (*)(const char* path);
void SetRemovalTestHook(RemovalTestHook hook);
