// The C runtime's low-level file calls and the Windows file calls.
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <windows.h>

#include "platform/file_io.h"

namespace platform {

int OpenReadBinary(const char* path) {
    int fd = _open(path, _O_RDONLY | _O_BINARY);
    return fd < 0 ? kNoFile : fd;
}

int CloseFile(int fd) {
    return _close(fd);
}

std::int64_t SeekSet(int fd, std::int64_t offset) {
    if (offset < 0) return -1;
    __int64 result = _lseeki64(fd, offset, SEEK_SET);
    return result < 0 ? -1 : static_cast<std::int64_t>(result);
}

int ReadFile(int fd, void* buffer, unsigned count) {
    return _read(fd, buffer, count);
}

std::int64_t FileLength(int fd) {
    __int64 length = _filelengthi64(fd);
    return length < 0 ? -1 : static_cast<std::int64_t>(length);
}

bool PathExists(const char* path) {
    return _access(path, 0) == 0;
}
bool PathReadable(const char* path) {
    return _access(path, 4) == 0;
}

bool SetArchiveAttributeOnly(const char* path) {
    return SetFileAttributesA(path, FILE_ATTRIBUTE_ARCHIVE) != 0;
}

bool DeleteFilePath(const char* path) {
    return DeleteFileA(path) != 0;
}

void SleepMilliseconds(unsigned milliseconds) {
    Sleep(milliseconds);
}

}  // namespace platform
