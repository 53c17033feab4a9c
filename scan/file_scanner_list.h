// The per-file scanners, in the order the walker calls them; a scanner that
// returns non-zero has dealt with the file and the later ones are skipped.
#pragma once

class ScannedFile;

using FileScanner = int (*)(const char* defaultName, ScannedFile& file);

struct FileScannerEntry {
    const char* defaultName;
    FileScanner scanner;  // null ends the list
};

extern const FileScannerEntry FileScannerList[];

// Runs the list over path with one shared open of the file: the walker's
// scan of one file.
void RunFileScanners(const char* path);
