// What the quarantine, the registry backup and the scan log need of the
// system: the local time, the drive that holds Windows, folders, files made
// new or appended to, and a description of the system for the log. Paths are
// Windows paths; on the host a drive letter maps to a directory (see
// host/quarantine_io_control.h).
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

struct LocalTime {
    std::uint16_t year, month, day, hour, minute, second;
};
LocalTime CurrentLocalTime();

// "C:": the drive Windows lives on, where the program keeps its records. On
// the host only a drive set through the host controls; false when none is.
bool RecordsDrive(char (&drive)[3]);

// The check of a records location before any use: not a link (reparse
// point), of the kind asked for, a folder owned by SYSTEM, Administrators or
// the account the program runs as, a file the one its path names (one name,
// no link on the way), and no write rights for anyone else. The 9x
// family and volumes that keep no security (FAT) have neither links nor
// rights: there only the kind is checked. The host checks link and kind.
enum class RecordsCheck { Safe, Missing, Unsafe, Unreadable };
// why: a short reason for the log when not Safe.
RecordsCheck CheckRecordsLocation(const char* path, bool isFolder, const char** why);
// Makes the folder new (false when the name exists) with an access list of
// its own, inherited by what is made in it: SYSTEM and Administrators full
// control, nothing inherited from the parent, nobody else.
bool MakeRecordsFolder(const char* path);
// Bits that no one else can foresee, for names that must not be guessed.
std::uint32_t UnforeseeableBits();

// What made the last record operation fail, as far as the system says.
enum class RecordProblem { Unknown, DiskFull, AccessRefused };
RecordProblem LastRecordProblem();

// A file made new (never one that exists), written from the start; removed
// again unless Keep is called before it goes out of scope.
class NewFile {
public:
    NewFile() = default;
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    ~NewFile();

    enum class Made { Ok, Exists, Failed };
    Made Create(const char* path);
    bool Write(const void* data, std::size_t length);
    // Writes over bytes already written (the header once the hash is known).
    bool WriteAt(std::uint64_t offset, const void* data, std::size_t length);
    // Flushes, closes and keeps the file; false when that failed, and the
    // file is then removed as by Discard.
    bool Keep();
    // Closes and removes an unfinished file; false when it stays (then
    // LeftDamaged). True when there was nothing to remove.
    bool Discard();
    // A file written in part that could not be removed: the caller names it.
    bool LeftDamaged() const { return damaged_; }

private:
    void* handle_ = nullptr;
    bool damaged_ = false;
    char path_[1024] = {};  // Windows: the path; host: the name in folder_
    int folder_ = -1;       // host: the folder's descriptor
};

// Appends to a record file that is there already, never through a link, all
// of the bytes or none: a write that fails part way is cut back to where the
// file ended. Cut: it could not be cut back, the file ends in part of them.
// throughToDisk: flushed before Whole is told (a record the log names as
// kept). Made files come from NewFile.
enum class Appended { Whole, Nothing, Cut };
Appended AppendToFile(const char* path, const void* data, std::size_t length,
                      bool throughToDisk = false);
// The file ends inside a line (its last byte is no line feed); false for an
// empty file or one that cannot be read.
bool RecordFileEndsMidLine(const char* path);

// DeleteFileA for the program's own record files.
bool RemoveRecordFile(const char* path);

// One line for the log: the Windows version and family and whether Windows
// is 32- or 64-bit ("Windows 6.1 build 7601 Service Pack 1, NT family, 64-bit").
void DescribeSystem(char* out, std::size_t size);

}  // namespace platform
