// The first per-file scanner: a PE file against the executable signatures,
// any other file against the archive verifiers and the archive signatures;
// a detected file is deleted and reported as one result line.
#pragma once

#include <cstdint>

#include "detect/signature_match.h"
#include "scan/removal_sequence.h"
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

// The removal sequence of this scanner's detections (and the memory
// phase's): RemoveDetectedFile's executable way.
void Remediate(const char* path, const char* detectionName, std::int64_t judgedLength = -1);
