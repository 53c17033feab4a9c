// The per-file scanners, in the order the walker calls them; a scanner that
// returns non-zero has dealt with the file and the later ones are skipped.
#pragma once

using FileScanner = int (*)(const char* defaultName, const char* path);

struct FileScannerEntry {
    const char* defaultName;
    FileScanner scanner;  // null ends the list
};

extern const FileScannerEntry FileScannerList[];
