// ScanExecutableFile over the benchmark's large executable table, linked into
// quellix-scan-big in place of the shipped one (the core keeps the shipped
// version in a file of its own, so this definition wins at link time).
#include "detect/executable_scanner.h"

// The table file, embedded as it is: 108-byte records and the terminator.
asm(".section .rodata\n"
    ".globl qx_bench_big_table\n"
    "qx_bench_big_table:\n"
    ".incbin \"" QX_BIG_TABLE_FILE
    "\"\n"
    ".previous\n");
extern "C" const SignatureRecord qx_bench_big_table[];

int ScanExecutableFile(const char* defaultName, ScannedFile& file) {
    static const ExecutableTableIndex executableIndex(qx_bench_big_table);
    return ScanFileWithTables({&executableIndex, ArchiveSignatureTable}, defaultName, file);
}
