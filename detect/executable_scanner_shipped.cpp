// ScanExecutableFile over the tables compiled into the program; kept apart so
// that code walking tables of its own links without them.
#include "detect/executable_scanner.h"

int ScanExecutableFile(const char* defaultName, ScannedFile& file) {
    // Built at the first file and kept for the run: the table never changes.
    static const ExecutableTableIndex executableIndex(ExecutableSignatureTable);
    return ScanFileWithTables({&executableIndex, ArchiveSignatureTable}, defaultName, file);
}
