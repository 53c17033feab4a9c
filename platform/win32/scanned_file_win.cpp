// The file a scan read, by its identity (volume serial number and file
// index), and the changes made to it: each goes through a handle opened
// without following a reparse point, on the file of that identity only, so
// that a path that has come to reach another file (a folder swapped for a
// junction after the scan) changes nothing. The 9x family has no links and
// no stable file index: there the path is used as it always was.
#include <windows.h>

#include <io.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "base/ascii_case.h"
#include "base/bounded_text.h"
#include "platform/file_io.h"
#include "platform/report_only.h"
#include "platform/win32/kept_path_win.h"
#include "platform/win32/named_file_win.h"
#include "platform/win32/scanned_file_win.h"
#include "platform/win32/scoped_handle_win.h"

namespace platform {
namespace {

struct Identity {
    DWORD volume = 0;
    DWORD high = 0;
    DWORD low = 0;
};

struct Scanned {
    char path[MAX_PATH + 1] = {};
    Identity identity;
};
Scanned lastScanned;
bool inFileScan = false;

// The file a scan has open and whose identity is not read yet. Under Wine
// the identity is a round trip to the mount manager's device (the volume's
// serial number), the largest cost of a file with nothing to remove, so it
// is read only when something may compare with it: before the file closes
// for its removal, or at the next open or check during its scan. The open
// handle reaches the same file then as at its open.
struct Pending {
    char path[MAX_PATH + 1] = {};
    int fd = -1;
};
Pending pending;

bool NtFamily() {
    return (GetVersion() & 0x80000000u) == 0;
}

bool IdentityOf(HANDLE file, Identity& out, DWORD* attributes = nullptr) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info)) return false;
    out = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    if (attributes) *attributes = info.dwFileAttributes;
    return true;
}

bool SameIdentity(const Identity& a, const Identity& b) {
    return a.volume == b.volume && a.high == b.high && a.low == b.low;
}

// Records the pending open as the scanned file of its path, as reading its
// identity at the open would have; a failed read records nothing.
void RecordPending() {
    if (pending.fd < 0) return;
    Identity identity;
    if (IdentityOf(reinterpret_cast<HANDLE>(_get_osfhandle(pending.fd)), identity)) {
        if (!CopyText(lastScanned.path, sizeof lastScanned.path, pending.path)) {
            lastScanned.path[0] = '\0';
        }
        lastScanned.identity = identity;
    }
    pending.fd = -1;
}

// The path's long form, where Windows can tell it (98, 2000 and later).
bool LongForm(const char* path, char (&out)[MAX_PATH + 1]) {
    return LongPathKeepingName(path, out, sizeof out);
}

// Texts equal but for ASCII case.
bool WideEqualsIgnoringCase(const wchar_t* a, const wchar_t* b) {
    for (;; ++a, ++b) {
        const wchar_t x = (*a >= L'A' && *a <= L'Z') ? *a - L'A' + L'a' : *a;
        const wchar_t y = (*b >= L'A' && *b <= L'Z') ? *b - L'A' + L'a' : *b;
        if (x != y) return false;
        if (x == L'\0') return true;
    }
}

const wchar_t* WithoutPrefix(const wchar_t* path) {
    return std::wcsncmp(path, L"\\\\?\\", 4) == 0 ? path + 4 : path;
}

// No folder on the way is a reparse point, asked folder by folder: for when
// Windows cannot tell the final path (Wine cannot past MAX_PATH).
bool NoLinkOnTheWay(const char* path) {
    char folder[MAX_PATH + 1];
    if (!CopyText(folder, path) || std::strlen(folder) < 3) return false;
    for (char* slash = std::strchr(folder + 3, '\\'); slash; slash = std::strchr(slash + 1, '\\')) {
        *slash = '\0';
        const DWORD attributes = GetFileAttributesKeepingName(folder);
        *slash = '\\';
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
            !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            return false;
        }
    }
    return true;
}

// As ReachedByItsName, in UTF-16, where a long form has no length limit: for
// a name the path rules would change, and for a long form past MAX_PATH (a
// path opened through short names).
bool ReachedByItsWideName(HANDLE file, const char* path) {
    using FinalPathW = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
    using LongPathW = DWORD(WINAPI*)(LPCWSTR, LPWSTR, DWORD);
    static const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    static const auto finalPath = reinterpret_cast<FinalPathW>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "GetFinalPathNameByHandleW")));
    static const auto longPath = reinterpret_cast<LongPathW>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "GetLongPathNameW")));
    if (!finalPath || !longPath) return false;
    const KeptPath kept(path);
    wchar_t wide[kKeptFormCapacity];
    if (kept.form() == KeptPath::Form::Wide) {
        std::wcscpy(wide, kept.Wide());
    } else if (kept.form() == KeptPath::Form::None ||
               MultiByteToWideChar(CP_ACP, 0, path, -1, wide, kKeptFormCapacity) <= 0) {
        return false;
    }
    constexpr DWORD kWideChars = 32768;
    std::vector<wchar_t> expected(kWideChars), reached(kWideChars);
    DWORD n = longPath(wide, expected.data(), kWideChars);
    if (n == 0 || n >= kWideChars) return false;
    n = finalPath(file, reached.data(), kWideChars, 0);
    if (n == 0 || n >= kWideChars) return NoLinkOnTheWay(path);
    const wchar_t* want = WithoutPrefix(expected.data());
    const wchar_t* got = WithoutPrefix(reached.data());
    if (WideEqualsIgnoringCase(want, got)) return true;
    // Wine tells the final path of a name with a trailing dot or blank
    // without them. The file's own name was opened without following a
    // link, so it is compared without them too; the folders on the way are
    // compared as they are.
    std::wstring trimmed = want;
    const std::size_t lastName = trimmed.rfind(L'\\') + 1;
    while (trimmed.size() > lastName && (trimmed.back() == L'.' || trimmed.back() == L' '))
        trimmed.pop_back();
    return trimmed.size() > lastName && trimmed.size() < std::wcslen(want) &&
           WideEqualsIgnoringCase(trimmed.c_str(), got);
}

// Where Windows tells the path an open file was reached by (Vista and
// later), it must be the path itself: a link anywhere on the way shows.
bool ReachedByItsName(HANDLE file, const char* path) {
    if (!FinalPathKnown()) return true;
    char longPath[MAX_PATH + 1];
    if (KeptPath(path).form() == KeptPath::Form::Narrow && LongForm(path, longPath))
        return FinalPathIs(file, longPath);
    return ReachedByItsWideName(file, path);
}

// A handle on what path names now, never through a link at its end, when it
// is the file last read under that path; an empty one (why set) otherwise.
KernelHandle OpenScanned(const char* path, DWORD access, const char** why) {
    *why = "it could not be opened";
    KernelHandle file(CreateFileKeepingName(
        path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS));
    if (!file) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            *why = "it is no longer there";
        }
        return KernelHandle();
    }
    Identity now;
    DWORD attributes = 0;
    if (!IdentityOf(file.Get(), now, &attributes)) return KernelHandle();
    RecordPending();
    const bool scannedHere = EqualsIgnoringCase(lastScanned.path, path);
    if ((attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
        (scannedHere && !SameIdentity(now, lastScanned.identity)) ||
        !ReachedByItsName(file.Get(), path)) {
        *why = "the path now reaches another file than the one scanned (a link or a swap)";
        return KernelHandle();
    }
    *why = "";
    return file;
}

// NtSetInformationFile of ntdll (NT 3.1 and later), looked up at run time.
struct IoStatus {
    union {
        LONG status;
        PVOID pointer;
    };
    ULONG_PTR information;
};
using SetInformationFile = LONG(NTAPI*)(HANDLE, IoStatus*, PVOID, ULONG, ULONG);
constexpr ULONG kFileBasicInformation = 4;
constexpr ULONG kFileDispositionInformation = 13;
struct BasicInformation {
    LARGE_INTEGER creationTime, lastAccessTime, lastWriteTime, changeTime;  // 0: unchanged
    ULONG fileAttributes;
};
struct DispositionInformation {
    BOOLEAN deleteFile;
};

bool SetInformation(HANDLE file, void* information, ULONG size, ULONG kind) {
    static const SetInformationFile call =
        reinterpret_cast<SetInformationFile>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtSetInformationFile")));
    if (!call) return false;
    IoStatus status = {};
    return call(file, &status, information, size, kind) >= 0;
}

const char* lastRefusal = "";

}  // namespace

bool NoteOpenedForScan(const char* path, int fd) {
    if (!NtFamily() || !inFileScan) return true;
    RecordPending();
    // The same path opened again (to copy it, by the next scanner) must
    // reach the same file.
    if (EqualsIgnoringCase(lastScanned.path, path)) {
        Identity identity;
        if (!IdentityOf(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), identity)) return true;
        return SameIdentity(identity, lastScanned.identity);
    }
    // A path too long to keep is recorded without its path.
    if (!CopyText(pending.path, sizeof pending.path, path)) pending.path[0] = '\0';
    pending.fd = fd;
    return true;
}

void NoteClosingForScan(int fd) {
    if (fd < 0 || fd != pending.fd) return;
    // Closed for its removal: what follows compares with it. Closed after
    // its scan ended: nothing will.
    if (inFileScan) {
        RecordPending();
    } else {
        pending.fd = -1;
    }
}

void BeginFileScan() {
    lastScanned = Scanned{};
    pending.fd = -1;
    inFileScan = true;
}

void EndFileScan() {
    inFileScan = false;
}

const char* WhyPathIsNotTheScannedFile(const char* path) {
    if (!NtFamily()) return nullptr;
    const char* why = "";
    KernelHandle file = OpenScanned(path, FILE_READ_ATTRIBUTES, &why);
    return file ? nullptr : why;
}

// Report-only: the call succeeds where it would have the scanned file to act on.
bool ReportOnlyFileThere(const char* path) {
    const DWORD attributes = GetFileAttributesKeepingName(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           WhyPathIsNotTheScannedFile(path) == nullptr;
}

bool SetArchiveAttributeOnly(const char* path) {
    if (ReportOnly()) return ReportOnlyFileThere(path);
    if (!NtFamily()) return SetFileAttributesKeepingName(path, FILE_ATTRIBUTE_ARCHIVE);
    KernelHandle file =
        OpenScanned(path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, &lastRefusal);
    if (!file) return false;
    BasicInformation basic = {};
    basic.fileAttributes = FILE_ATTRIBUTE_ARCHIVE;
    return SetInformation(file.Get(), &basic, sizeof basic, kFileBasicInformation);
}

bool DeleteFilePath(const char* path) {
    if (ReportOnly()) return ReportOnlyFileThere(path);
    if (!NtFamily()) return DeleteFileKeepingName(path);
    KernelHandle file = OpenScanned(path, DELETE | FILE_READ_ATTRIBUTES, &lastRefusal);
    if (!file) return false;
    DispositionInformation disposition = {TRUE};
    // The file goes when this last handle to it closes.
    return SetInformation(file.Get(), &disposition, sizeof disposition,
                          kFileDispositionInformation);
}

}  // namespace platform
