// Low-level file operations with the C runtime's meaning (_open, _read,
// _lseek, _filelength, _close, _access) and the few Windows file calls the
// scanners use. Paths are Windows paths ("C:\Dir\file.exe"); on the host a
// drive letter maps to a directory and names match without regard to case.
#pragma once

#include <cstdint>

namespace platform {

constexpr int kNoFile = -1;

// _open(path, _O_RDONLY | _O_BINARY); kNoFile on failure.
int OpenReadBinary(const char* path);
// _close; 0 on success.
int CloseFile(int fd);
// _lseek(fd, offset, SEEK_SET): the new position, or -1 (negative offsets fail).
std::int64_t SeekSet(int fd, std::int64_t offset);
// _read: bytes read, 0 at the end, -1 on error.
int ReadFile(int fd, void* buffer, unsigned count);
// _filelength: the length in bytes, or -1.
std::int64_t FileLength(int fd);
// _access(path, 0) == 0 and _access(path, 4) == 0.
bool PathExists(const char* path);
bool PathReadable(const char* path);
// The file a scan read is known by its identity (volume serial number and
// file index on Windows, device and inode on the host) from its first open
// under a path; within a file's scan an open of that path that reaches
// another file is refused,
// and the two changes below act on that file only, never through a link
// (on Windows through a handle opened without following a reparse point).
// nullptr when path still reaches the file last read under it (or none was,
// or nothing can tell: the 9x family); else why not, for the log.
const char* WhyPathIsNotTheScannedFile(const char* path);
// The scan of one file (ScannedFile's life): the file read before is
// forgotten at its start, since its path may name a new file now, and only
// within it is a second open of the path held to the first one's file.
void BeginFileScan();
void EndFileScan();
// SetFileAttributesA(path, FILE_ATTRIBUTE_ARCHIVE): clears read-only, hidden, system.
bool SetArchiveAttributeOnly(const char* path);
// DeleteFileA (on the NT family the deletion is set on the file's handle).
bool DeleteFilePath(const char* path);
// Sleep.
void SleepMilliseconds(unsigned milliseconds);

// Owns a descriptor from OpenReadBinary and closes it on every way out.
class ScopedFile {
public:
    explicit ScopedFile(int fd = kNoFile) : fd_(fd) {}
    ScopedFile(const ScopedFile&) = delete;
    ScopedFile& operator=(const ScopedFile&) = delete;
    ScopedFile(ScopedFile&& other) noexcept : fd_(other.Release()) {}
    ScopedFile& operator=(ScopedFile&& other) noexcept {
        if (this != &other) {
            Close();
            fd_ = other.Release();
        }
        return *this;
    }
    ~ScopedFile() { Close(); }

    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ != kNoFile; }
    int Release() {
        int fd = fd_;
        fd_ = kNoFile;
        return fd;
    }
    void Close() {
        if (fd_ != kNoFile) CloseFile(fd_);
        fd_ = kNoFile;
    }

private:
    int fd_;
};

}  // namespace platform
