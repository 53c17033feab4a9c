// The first per-file scanner: a PE file against the executable signatures,
// any other file against the archive verifiers and the archive signatures;
// a detected file is deleted and reported as one result line.
#pragma once

#include <cstdint>

#include "detect/signature_match.h"
#include "scan/scanned_file.h"
#include "state/program_state.h"

// The shipped tables. 1 when a signature table matched (whatever the removal
// did, and in memory mode); 0 otherwise, after a verifier detection included.
// A removed file is closed first; an unmatched one is left open for the next
// scanner.
int ScanExecutableFile(const char* defaultName, ScannedFile& file);

// The same scan against tables of the caller's own.
struct SignatureTables {
    const ExecutableTableIndex* executable;
    const SignatureRecord* archive;
};
int ScanFileWithTables(const SignatureTables& tables, const char* defaultName, ScannedFile& file);

// Clears the file's attributes and deletes it (ending its process and trying
// once more if need be; failing that, schedules deletion at the next start
// of Windows) and writes the outcome line. judgedLength (-1: unknown) is
// the length the file was judged at, which its quarantine copy must reach.
// Changes nothing when the path no longer reaches the file that was scanned
// (platform::WhyPathIsNotTheScannedFile): "Unable to remove", and the log
// says why.
void Remediate(const char* path, const char* detectionName, std::int64_t judgedLength = -1);

// Tests only: called with the path between a detection and its removal (by
// this scanner and the script cleaner), where a test swaps what it reaches.
using RemovalTestHook = void (*)(const char* path);
void SetRemovalTestHook(RemovalTestHook hook);
// Runs the hook, if set, then says why the path is not the scanned file (the
// result line is then "Unable to remove" and the log tells it); nullptr when
// it is.
const char* CheckBeforeRemoval(const char* path);
// The log's note when a removal was refused so.
void NoteRemovalRefused(const char* why);
