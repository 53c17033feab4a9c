// The Windows file calls for a path whose names Windows' path rules would
// change (platform/kept_name.h): on the NT family the wide call with the
// "\\?\" form, converted with the code page the narrow calls use (CP_ACP,
// which is UTF-8 where the manifest makes it so), so that the file of that
// very name is reached; every other path goes to the narrow call as before.
// The 95 family has no such form, and no such names of its own: there the
// call fails rather than reach the object the rules would make of the name.
#pragma once

#include <windows.h>

#include "platform/kept_name.h"

namespace platform {

class KeptPath {
public:
    explicit KeptPath(const char* path);
    KeptPath(const KeptPath&) = delete;
    KeptPath& operator=(const KeptPath&) = delete;

    enum class Form { Narrow, Wide, None };
    // Narrow: the path as it is; Wide: Wide() reaches it; None: nothing can.
    Form form() const { return form_; }
    const wchar_t* Wide() const { return wide_; }

private:
    Form form_ = Form::Narrow;
    wchar_t wide_[kKeptFormCapacity] = {};
};

HANDLE CreateFileKeepingName(const char* path, DWORD access, DWORD share, DWORD disposition,
                             DWORD flags);
DWORD GetFileAttributesKeepingName(const char* path);
bool SetFileAttributesKeepingName(const char* path, DWORD attributes);
bool DeleteFileKeepingName(const char* path);
bool MoveFileExKeepingName(const char* path, DWORD flags);  // path to nowhere (a deletion)
// The directory entry of path, as FindFirstFileA gives it (the name fields
// empty when the wide call found it); false when there is none.
bool FindEntryKeepingName(const char* path, WIN32_FIND_DATAA& found);
// path with each name in its short (8.3) form where it has one, in the code
// page; false when it cannot be told or does not fit out.
bool ShortPathKeepingName(const char* path, char* out, DWORD capacity);
// path in its long form (GetLongPathName, where the system has it; else the
// path itself).
bool LongPathKeepingName(const char* path, char* out, DWORD capacity);

}  // namespace platform
