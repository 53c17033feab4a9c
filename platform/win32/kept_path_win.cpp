#include "platform/win32/kept_path_win.h"

#include <cstring>

#include "base/bounded_text.h"

namespace platform {
namespace {

bool NtFamily() {
    return (GetVersion() & 0x80000000u) == 0;
}

constexpr char kPrefix[] = "\\\\?\\";

}  // namespace

KeptPath::KeptPath(const char* path) {
    if (!PathNeedsKeptForm(path)) return;
    form_ = Form::None;
    if (!NtFamily()) return;
    char kept[kKeptFormCapacity];
    if (!MakeKeptForm(path, kept)) return;
    // A text the code page cannot turn back into UTF-16 names nothing here.
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, kept, -1, wide_, kKeptFormCapacity) <= 0)
        return;
    form_ = Form::Wide;
}

HANDLE CreateFileKeepingName(const char* path, DWORD access, DWORD share, DWORD disposition,
                             DWORD flags) {
    KeptPath kept(path);
    switch (kept.form()) {
        case KeptPath::Form::Narrow:
            return CreateFileA(path, access, share, nullptr, disposition, flags, nullptr);
        case KeptPath::Form::Wide:
            return CreateFileW(kept.Wide(), access, share, nullptr, disposition, flags, nullptr);
        case KeptPath::Form::None:
            break;
    }
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
}

DWORD GetFileAttributesKeepingName(const char* path) {
    KeptPath kept(path);
    switch (kept.form()) {
        case KeptPath::Form::Narrow:
            return GetFileAttributesA(path);
        case KeptPath::Form::Wide:
            return GetFileAttributesW(kept.Wide());
        case KeptPath::Form::None:
            break;
    }
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_FILE_ATTRIBUTES;
}

bool SetFileAttributesKeepingName(const char* path, DWORD attributes) {
    KeptPath kept(path);
    switch (kept.form()) {
        case KeptPath::Form::Narrow:
            return SetFileAttributesA(path, attributes) != FALSE;
        case KeptPath::Form::Wide:
            return SetFileAttributesW(kept.Wide(), attributes) != FALSE;
        case KeptPath::Form::None:
            break;
    }
    return false;
}

bool DeleteFileKeepingName(const char* path) {
    KeptPath kept(path);
    switch (kept.form()) {
        case KeptPath::Form::Narrow:
            return DeleteFileA(path) != FALSE;
        case KeptPath::Form::Wide:
            return DeleteFileW(kept.Wide()) != FALSE;
        case KeptPath::Form::None:
            break;
    }
    return false;
}

bool MoveFileExKeepingName(const char* path, DWORD flags) {
    KeptPath kept(path);
    switch (kept.form()) {
        case KeptPath::Form::Narrow:
            return MoveFileExA(path, nullptr, flags) != FALSE;
        case KeptPath::Form::Wide:
            return MoveFileExW(kept.Wide(), nullptr, flags) != FALSE;
        case KeptPath::Form::None:
            break;
    }
    return false;
}

bool FindEntryKeepingName(const char* path, WIN32_FIND_DATAA& found) {
    KeptPath kept(path);
    if (kept.form() == KeptPath::Form::None) return false;
    if (kept.form() == KeptPath::Form::Narrow) {
        HANDLE search = FindFirstFileA(path, &found);
        if (search == INVALID_HANDLE_VALUE) return false;
        FindClose(search);
        return true;
    }
    WIN32_FIND_DATAW wide;
    HANDLE search = FindFirstFileW(kept.Wide(), &wide);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    found = WIN32_FIND_DATAA{};
    found.dwFileAttributes = wide.dwFileAttributes;
    found.ftCreationTime = wide.ftCreationTime;
    found.ftLastAccessTime = wide.ftLastAccessTime;
    found.ftLastWriteTime = wide.ftLastWriteTime;
    found.nFileSizeHigh = wide.nFileSizeHigh;
    found.nFileSizeLow = wide.nFileSizeLow;
    return true;
}

namespace {

// The wide result of a path call, back in the code page without its
// "\\?\"; false when a letter of it has no spelling there.
bool BackToNarrow(const wchar_t* wide, char* out, DWORD capacity) {
    char narrow[kKeptFormCapacity];
    if (WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof narrow, nullptr, nullptr) <= 0)
        return false;
    const char* text = std::strncmp(narrow, kPrefix, 4) == 0 ? narrow + 4 : narrow;
    // '?' stands for a letter the code page cannot spell.
    if (std::strchr(text, '?')) return false;
    return CopyText(out, capacity, text);
}

}  // namespace

bool ShortPathKeepingName(const char* path, char* out, DWORD capacity) {
    KeptPath kept(path);
    if (kept.form() == KeptPath::Form::None) return false;
    if (kept.form() == KeptPath::Form::Narrow) {
        DWORD n = GetShortPathNameA(path, out, capacity);
        return n > 0 && n < capacity;
    }
    wchar_t wide[kKeptFormCapacity];
    DWORD n = GetShortPathNameW(kept.Wide(), wide, kKeptFormCapacity);
    return n > 0 && n < kKeptFormCapacity && BackToNarrow(wide, out, capacity);
}

bool LongPathKeepingName(const char* path, char* out, DWORD capacity) {
    using LongPathNameA = DWORD(WINAPI*)(LPCSTR, LPSTR, DWORD);
    using LongPathNameW = DWORD(WINAPI*)(LPCWSTR, LPWSTR, DWORD);
    // Windows 95 and NT 4.0 have neither: there the path is its long form.
    static const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    static const auto longA = reinterpret_cast<LongPathNameA>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "GetLongPathNameA")));
    static const auto longW = reinterpret_cast<LongPathNameW>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "GetLongPathNameW")));
    KeptPath kept(path);
    switch (kept.form()) {
        case KeptPath::Form::Narrow: {
            if (!longA) return CopyText(out, capacity, path);
            DWORD n = longA(path, out, capacity);
            return n > 0 && n < capacity;
        }
        case KeptPath::Form::Wide: {
            if (!longW) return CopyText(out, capacity, path);
            wchar_t wide[kKeptFormCapacity];
            DWORD n = longW(kept.Wide(), wide, kKeptFormCapacity);
            return n > 0 && n < kKeptFormCapacity && BackToNarrow(wide, out, capacity);
        }
        case KeptPath::Form::None:
            break;
    }
    return false;
}

}  // namespace platform
