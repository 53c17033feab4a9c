// The C runtime's low-level file calls and the Windows file calls.
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <windows.h>

#include "platform/file_io.h"
#include "platform/win32/file_io_win.h"
#include "platform/win32/kept_path_win.h"
#include "platform/win32/scanned_file_win.h"

namespace platform {

namespace {

// The 64-bit seek and length of the C runtime are looked up at run time: the
// msvcrt.dll of the oldest systems the program is for is older than the one
// they first shipped with. Without them, seeks stay below 2 GB and the length
// comes from the file's handle.
using SeekI64 = __int64(__cdecl*)(int, __int64, int);
using LengthI64 = __int64(__cdecl*)(int);

struct WideFileCalls {
    SeekI64 seek = nullptr;
    LengthI64 length = nullptr;
};

WideFileCalls& Calls() {
    static WideFileCalls calls = [] {
        WideFileCalls found;
        if (HMODULE crt = GetModuleHandleA("msvcrt.dll")) {
            found.seek = reinterpret_cast<SeekI64>(
                reinterpret_cast<void*>(GetProcAddress(crt, "_lseeki64")));
            found.length = reinterpret_cast<LengthI64>(
                reinterpret_cast<void*>(GetProcAddress(crt, "_filelengthi64")));
        }
        return found;
    }();
    return calls;
}

}  // namespace

void UseOldRuntimeFileCallsForTests() {
    Calls() = WideFileCalls{};
}

namespace {

// _open with its share mode, for a name only the wide "\\?\" form reaches.
int OpenKeptName(const KeptPath& kept) {
    if (kept.form() != KeptPath::Form::Wide) return -1;
    HANDLE file = CreateFileW(kept.Wide(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
    if (fd < 0) CloseHandle(file);
    return fd;
}

}  // namespace

int OpenReadBinary(const char* path) {
    KeptPath kept(path);
    int fd = kept.form() == KeptPath::Form::Narrow ? _open(path, _O_RDONLY | _O_BINARY)
                                                   : OpenKeptName(kept);
    if (fd < 0) return kNoFile;
    if (!NoteOpenedForScan(path, fd)) {
        _close(fd);
        return kNoFile;
    }
    return fd;
}

int CloseFile(int fd) {
    NoteClosingForScan(fd);
    return _close(fd);
}

std::int64_t SeekSet(int fd, std::int64_t offset) {
    if (offset < 0) return -1;
    if (Calls().seek) {
        __int64 result = Calls().seek(fd, offset, SEEK_SET);
        return result < 0 ? -1 : static_cast<std::int64_t>(result);
    }
    if (offset > 0x7FFFFFFF) return -1;
    long result = _lseek(fd, static_cast<long>(offset), SEEK_SET);
    return result < 0 ? -1 : static_cast<std::int64_t>(result);
}

int ReadFile(int fd, void* buffer, unsigned count) {
    return _read(fd, buffer, count);
}

std::int64_t FileLength(int fd) {
    if (Calls().length) {
        __int64 length = Calls().length(fd);
        return length < 0 ? -1 : static_cast<std::int64_t>(length);
    }
    HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (file == INVALID_HANDLE_VALUE) return -1;
    DWORD high = 0;
    SetLastError(NO_ERROR);
    DWORD low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return -1;
    return (static_cast<std::int64_t>(high) << 32) | low;
}
bool PathExists(const char* path) {
    if (KeptPath(path).form() != KeptPath::Form::Narrow)
        return GetFileAttributesKeepingName(path) != INVALID_FILE_ATTRIBUTES;
    return _access(path, 0) == 0;
}
bool PathReadable(const char* path) {
    // Every file is readable to _access on Windows: it asks for existence.
    if (KeptPath(path).form() != KeptPath::Form::Narrow) return PathExists(path);
    return _access(path, 4) == 0;
}

void SleepMilliseconds(unsigned milliseconds) {
    Sleep(milliseconds);
}

}  // namespace platform
