// wininit.ini of the 95 family: the "[rename]" entry that deletes a file at
// the next start of Windows, as a text transformation, and the update of the
// file that keeps its former content whatever write fails.
#pragma once

#include <string>

// A wininit.ini that holds only the rename section with the one entry.
std::string NewWininitText(const char* destination, const char* source);

// existing: the file's bytes. Its lines come back as a text-mode read gives
// them (CR LF becomes LF), with the entry at the end of the first "[rename]"
// section, or with a new section at the end when there is none.
std::string RewriteWininitText(const std::string& existing, const char* destination,
                               const char* source);

// The file operations the update needs; Windows and the tests supply them.
class WininitFiles {
public:
    virtual ~WininitFiles() = default;
    virtual bool Exists(const char* path) = 0;
    // Copies, replacing an older copy.
    virtual bool Copy(const char* from, const char* to) = 0;
    virtual bool ReadAll(const char* path, std::string& bytes) = 0;
    // Creates or truncates path and writes all of bytes; false on any short write.
    virtual bool WriteAll(const char* path, const std::string& bytes) = 0;
    // Moves from onto to, replacing to.
    virtual bool Replace(const char* from, const char* to) = 0;
    virtual void Remove(const char* path) = 0;
};

// Adds destination=source to the rename section of iniPath. The new content
// is written to sidePath first and moves onto iniPath only when every write
// succeeded; workPath keeps a copy of the former file, from which it is put
// back should the move lose it. True when the entry is in the file.
bool UpdateWininit(WininitFiles& files, const char* iniPath, const char* workPath,
                   const char* sidePath, const char* destination, const char* source);
