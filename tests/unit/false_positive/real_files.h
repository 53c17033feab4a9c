// Files made by others: collecting real PE files, running real archive tools,
// and scanning a copy of a real file on the test drive.
#pragma once

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/support/host_fixture.h"

namespace fs = std::filesystem;

// Every regular .exe and .dll under the roots (case-insensitive ending), in a
// fixed order; symbolic links are not followed, missing roots are skipped.
std::vector<fs::path> FindPeFiles(const std::vector<fs::path>& roots);

// Runs program with args in dir, its output discarded; the exit status, or
// -1 when it could not be started or did not exit normally.
int RunTool(const fs::path& dir, const std::vector<std::string>& args);
// True when the command is on PATH.
bool HaveTool(const std::string& name);

// The lengths that select at least one record of the executable table.
std::set<std::int64_t> ExecutableRecordSizes();

// The smallest length of at least `length` that selects an executable record,
// or -1 when every record is shorter.
std::int64_t NextExecutableRecordSize(std::int64_t length);

// What the executable scanner made of one file.
struct ScanOutcome {
    int result = -1;
    std::vector<std::string> lines;  // the lines this scan added
    bool stillThere = false;
};

class RealFileDrive : public HostDriveTest {
protected:
    // Scans C:\<name> with ScanExecutableFile and the default name.
    ScanOutcome Scan(const std::string& name);
    // Copies source to C:\<name> first.
    ScanOutcome ScanCopy(const fs::path& source, const std::string& name);
};

// What a sweep over many real PE files found, for the test's record.
struct PeSweep {
    int files = 0;
    int peFiles = 0;      // ReadPeSignature accepted
    int tableWalked = 0;  // ReadPeSections too: the executable walk ran
    int sizeHits = 0;     // the length selects records: patterns were compared
    int paddedToRecordSize = 0;
    std::vector<std::string> failures;  // "<source>: <what happened>"
};

// Copies each file to the drive and scans it; then lengthens the same copy
// with zeros to the next length that selects executable records (when one
// exists) and scans it again, so the records' patterns are compared against
// the real file's own bytes. Each outcome must be 0, no line, file kept.
class RealPeSweep : public RealFileDrive {
protected:
    PeSweep Sweep(const std::vector<fs::path>& files);
    static void Describe(const char* what, const PeSweep& sweep);
};
