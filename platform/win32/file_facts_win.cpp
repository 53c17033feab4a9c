#include "platform/file_facts.h"

#include <windows.h>

#include <cstring>

#include "platform/win32/kept_path_win.h"

namespace platform {

namespace {

std::uint64_t FromFileTime(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME ToFileTime(std::uint64_t time) {
    FILETIME out;
    out.dwLowDateTime = static_cast<DWORD>(time);
    out.dwHighDateTime = static_cast<DWORD>(time >> 32);
    return out;
}

}  // namespace

FileFacts ReadFileFacts(const char* path) {
    FileFacts facts;
    // The directory entry holds all four without an open of the file, which
    // a running program's file or a share mode could refuse; a path with
    // wildcards would name another entry.
    if (std::strchr(path, '*') != nullptr || std::strchr(path, '?') != nullptr) return facts;
    WIN32_FIND_DATAA found;
    if (!FindEntryKeepingName(path, found)) return facts;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return facts;
    facts.known = kAllFileFacts;
    facts.attributes = found.dwFileAttributes & kKeptAttributes;
    facts.creationTime = FromFileTime(found.ftCreationTime);
    facts.lastWriteTime = FromFileTime(found.ftLastWriteTime);
    facts.lastAccessTime = FromFileTime(found.ftLastAccessTime);
    return facts;
}

bool ApplyFileFacts(const char* path, const FileFacts& facts) {
    bool ok = true;
    if (facts.known & (kFactCreationTime | kFactLastWriteTime | kFactLastAccessTime)) {
        HANDLE file = CreateFileKeepingName(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL);
        if (file == INVALID_HANDLE_VALUE) return false;
        const FILETIME created = ToFileTime(facts.creationTime);
        const FILETIME accessed = ToFileTime(facts.lastAccessTime);
        const FILETIME written = ToFileTime(facts.lastWriteTime);
        ok = SetFileTime(file, (facts.known & kFactCreationTime) ? &created : nullptr,
                         (facts.known & kFactLastAccessTime) ? &accessed : nullptr,
                         (facts.known & kFactLastWriteTime) ? &written : nullptr) != 0;
        CloseHandle(file);
    }
    if (facts.known & kFactAttributes) {
        // Zero means "normal" only as FILE_ATTRIBUTE_NORMAL.
        const DWORD attributes = facts.attributes & kKeptAttributes;
        ok = SetFileAttributesKeepingName(path,
                                          attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL) &&
             ok;
    }
    return ok;
}

}  // namespace platform
