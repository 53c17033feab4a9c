// Windows side of the record files.
#include <windows.h>

#include <cstdio>

#include "base/bounded_text.h"
#include "platform/quarantine_io.h"
#include "platform/report_only.h"
#include "platform/win32/kept_path_win.h"
#include "platform/win32/named_file_win.h"
#include "platform/win32/scoped_handle_win.h"
#include "platform/win32/wow64_win.h"

namespace platform {

namespace {

RecordProblem lastProblem = RecordProblem::Unknown;

// Keeps what the system said of a failure; false, for the caller to return.
bool NoteFailure() {
    switch (GetLastError()) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            lastProblem = RecordProblem::DiskFull;
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
            lastProblem = RecordProblem::AccessRefused;
            break;
        default:
            lastProblem = RecordProblem::Unknown;
    }
    return false;
}

HANDLE AsHandle(void* handle) {
    return static_cast<HANDLE>(handle);
}

bool WriteAll(HANDLE file, const void* data, std::size_t length) {
    const auto* bytes = static_cast<const char*>(data);
    while (length > 0) {
        DWORD chunk = length > 0x10000000u ? 0x10000000u : static_cast<DWORD>(length);
        DWORD written = 0;
        if (!::WriteFile(file, bytes, chunk, &written, nullptr)) return NoteFailure();
        if (written == 0) {
            // Nothing went and nothing was said: no reason is made up.
            lastProblem = RecordProblem::Unknown;
            return false;
        }
        bytes += written;
        length -= written;
    }
    return true;
}

bool SeekTo(HANDLE file, std::uint64_t offset, DWORD method) {
    LONG high = static_cast<LONG>(offset >> 32);
    SetLastError(NO_ERROR);
    DWORD low = SetFilePointer(file, static_cast<LONG>(offset & 0xFFFFFFFFu), &high, method);
    return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

}  // namespace

RecordProblem LastRecordProblem() {
    return lastProblem;
}

LocalTime CurrentLocalTime() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

bool RecordsDrive(char (&drive)[3]) {
    if (ReportOnly()) return false;  // no records are kept
    char windowsDir[MAX_PATH];
    UINT n = GetWindowsDirectoryA(windowsDir, sizeof windowsDir);
    if (n < 2 || n >= sizeof windowsDir || windowsDir[1] != ':') return false;
    drive[0] = windowsDir[0];
    drive[1] = ':';
    drive[2] = '\0';
    return true;
}

std::uint32_t UnforeseeableBits() {
    // RtlGenRandom (XP and later); else what the moment gives, mixed.
    using GenRandom = BOOLEAN(WINAPI*)(PVOID, ULONG);
    static const GenRandom generate = [] {
        HMODULE advapi = LoadLibraryA("advapi32.dll");
        return advapi ? reinterpret_cast<GenRandom>(
                            reinterpret_cast<void*>(GetProcAddress(advapi, "SystemFunction036")))
                      : nullptr;
    }();
    std::uint32_t bits = 0;
    if (generate && generate(&bits, sizeof bits)) return bits;
    static std::uint32_t counter = 0;
    LARGE_INTEGER now = {};
    QueryPerformanceCounter(&now);
    std::uint64_t x = static_cast<std::uint64_t>(now.QuadPart) ^
                      (static_cast<std::uint64_t>(GetTickCount()) << 32) ^
                      (static_cast<std::uint64_t>(GetCurrentProcessId()) << 16) ^
                      GetCurrentThreadId() ^ reinterpret_cast<std::uintptr_t>(&now) ^ ++counter;
    // splitmix64's finaliser.
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return static_cast<std::uint32_t>(x ^ (x >> 31));
}

namespace {

// Not through a link; the 9x family knows no such flag.
DWORD NoLinkFlag() {
    return (GetVersion() & 0x80000000u) ? 0 : FILE_FLAG_OPEN_REPARSE_POINT;
}

}  // namespace

NewFile::~NewFile() {
    Discard();
}

bool NewFile::Discard() {
    if (!handle_) return true;
    CloseHandle(AsHandle(handle_));
    handle_ = nullptr;
    if (DeleteFileKeepingName(path_)) return true;
    damaged_ = true;
    return false;
}

NewFile::Made NewFile::Create(const char* path) {
    if (handle_ || !CopyText(path_, sizeof path_, path)) return Made::Failed;
    // A restored file gets back a name the path rules would change.
    HANDLE file = CreateFileKeepingName(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL | NoLinkFlag());
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return Made::Exists;
        NoteFailure();
        return Made::Failed;
    }
    handle_ = file;
    return Made::Ok;
}

bool NewFile::Write(const void* data, std::size_t length) {
    return handle_ && WriteAll(AsHandle(handle_), data, length);
}

bool NewFile::WriteAt(std::uint64_t offset, const void* data, std::size_t length) {
    if (!handle_) return false;
    HANDLE file = AsHandle(handle_);
    if (!SeekTo(file, offset, FILE_BEGIN)) return false;
    bool ok = WriteAll(file, data, length);
    return SeekTo(file, 0, FILE_END) && ok;
}

bool NewFile::Keep() {
    if (!handle_) return false;
    HANDLE file = AsHandle(handle_);
    handle_ = nullptr;
    // Written through to the disk: the original is deleted right after.
    bool ok = FlushFileBuffers(file) != FALSE || NoteFailure();
    ok = (CloseHandle(file) != FALSE || NoteFailure()) && ok;
    if (!ok && !DeleteFileKeepingName(path_)) damaged_ = true;
    return ok;
}

Appended AppendToFile(const char* path, const void* data, std::size_t length, bool throughToDisk) {
    platform::KernelHandle file(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | NoLinkFlag(),
                                            nullptr));
    if (!file) {
        NoteFailure();
        return Appended::Nothing;
    }
    if (!IsTheNamedFile(file.Get(), path)) return Appended::Nothing;
    LONG endHigh = 0;
    SetLastError(NO_ERROR);
    const DWORD endLow = SetFilePointer(file.Get(), 0, &endHigh, FILE_END);
    if (endLow == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
        NoteFailure();
        return Appended::Nothing;
    }
    const std::uint64_t end =
        (static_cast<std::uint64_t>(static_cast<DWORD>(endHigh)) << 32) | endLow;
    bool ok = WriteAll(file.Get(), data, length) &&
              (!throughToDisk || FlushFileBuffers(file.Get()) || NoteFailure());
    if (ok) return Appended::Whole;
    // Whole pieces only: what went in of this one is taken out again. Only
    // then: Wine extends a file by writing a byte, which a full disk refuses.
    const RecordProblem problem = lastProblem;
    DWORD sizeHigh = 0;
    const DWORD sizeLow = GetFileSize(file.Get(), &sizeHigh);
    const bool nothingWent = sizeLow != INVALID_FILE_SIZE && sizeLow == endLow &&
                             sizeHigh == static_cast<DWORD>(endHigh);
    const bool cutBack =
        nothingWent || (SeekTo(file.Get(), end, FILE_BEGIN) && SetEndOfFile(file.Get()));
    lastProblem = problem;
    return cutBack ? Appended::Nothing : Appended::Cut;
}

bool RecordFileEndsMidLine(const char* path) {
    platform::KernelHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | NoLinkFlag(),
                                            nullptr));
    if (!file || !IsTheNamedFile(file.Get(), path)) return false;
    LONG high = -1;
    SetLastError(NO_ERROR);
    const DWORD low = SetFilePointer(file.Get(), -1, &high, FILE_END);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return false;
    char last = '\n';
    DWORD got = 0;
    return ::ReadFile(file.Get(), &last, 1, &got, nullptr) && got == 1 && last != '\n';
}

bool RemoveRecordFile(const char* path) {
    return DeleteFileA(path) != FALSE;
}

void DescribeSystem(char* out, std::size_t size) {
    if (size == 0) return;
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) {
        std::snprintf(out, size, "Windows (version unknown), %s",
                      WindowsIs64Bit() ? "64-bit" : "32-bit");
        return;
    }
    const char* family = version.dwPlatformId == VER_PLATFORM_WIN32_NT        ? "NT family"
                         : version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ? "95 family"
                                                                              : "other family";
    // The 95 family keeps the build number in the low word only.
    DWORD build = version.dwPlatformId == VER_PLATFORM_WIN32_NT ? version.dwBuildNumber
                                                                : version.dwBuildNumber & 0xFFFF;
    char servicePack[sizeof version.szCSDVersion + 2] = {};
    if (version.szCSDVersion[0] != '\0') {
        servicePack[0] = ' ';
        CopyText(servicePack + 1, sizeof servicePack - 1, version.szCSDVersion);
    }
    std::snprintf(out, size, "Windows %lu.%lu build %lu%s, %s, %s",
                  static_cast<unsigned long>(version.dwMajorVersion),
                  static_cast<unsigned long>(version.dwMinorVersion),
                  static_cast<unsigned long>(build), servicePack, family,
                  WindowsIs64Bit() ? "64-bit" : "32-bit");
}

}  // namespace platform
