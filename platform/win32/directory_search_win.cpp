#include <windows.h>

#include <cstring>

#include "platform/directory_search.h"

namespace platform {
namespace {

void CopyEntry(const WIN32_FIND_DATAA& data, FoundEntry& entry) {
    std::memcpy(entry.name, data.cFileName, sizeof entry.name);
    entry.name[sizeof entry.name - 1] = '\0';
    entry.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

static_assert(sizeof(WIN32_FIND_DATAA::cFileName) == sizeof(FoundEntry::name));

bool DirectorySearch::First(const char* pattern, FoundEntry& entry) {
    Close();
    WIN32_FIND_DATAA data;
    HANDLE handle = FindFirstFileA(pattern, &data);
    if (handle == INVALID_HANDLE_VALUE) return false;
    state_ = handle;
    CopyEntry(data, entry);
    return true;
}

bool DirectorySearch::Next(FoundEntry& entry) {
    if (!state_) return false;
    WIN32_FIND_DATAA data;
    if (!FindNextFileA(static_cast<HANDLE>(state_), &data)) return false;
    CopyEntry(data, entry);
    return true;
}

void DirectorySearch::Close() {
    if (state_) FindClose(static_cast<HANDLE>(state_));
    state_ = nullptr;
}

// Windows walks every folder it lists, as the program always has.
bool BeginFolderWalk(const char*, bool) {
    return true;
}
void NoteEntryTooLong(const char*, const char*) {}

}  // namespace platform
