#include <windows.h>

#include <cstring>
#include <cwchar>
#include <set>
#include <tuple>

#include "base/bounded_text.h"
#include "platform/directory_search.h"
#include "platform/kept_name.h"
#include "platform/win32/kept_path_win.h"
#include "platform/win32/scoped_handle_win.h"

// On the NT family the search runs in UTF-16 and each name is brought into
// the ANSI code page here, so that a name the code page cannot spell (which
// FindFirstFileA would hand out with '?' or a look-alike letter) is known as
// such: it is then opened by its short name, and its long name is kept in
// UTF-8 for the log. Windows 9x has no wide search (FindFirstFileW is a stub
// that fails there): its ANSI data marks unspellable letters with '?'.
namespace platform {
namespace {

using FindFirstWide = HANDLE(WINAPI*)(LPCWSTR, LPWIN32_FIND_DATAW);
using FindNextWide = BOOL(WINAPI*)(HANDLE, LPWIN32_FIND_DATAW);

struct WideSearchCalls {
    FindFirstWide first = nullptr;
    FindNextWide next = nullptr;
};

// Looked up at run time: the program must load on Windows 9x.
const WideSearchCalls& WideCalls() {
    static const WideSearchCalls calls = [] {
        WideSearchCalls c;
        if (GetVersion() & 0x80000000u) return c;  // the 9x family
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        if (!kernel) return c;
        c.first = reinterpret_cast<FindFirstWide>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "FindFirstFileW")));
        c.next = reinterpret_cast<FindNextWide>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "FindNextFileW")));
        if (!c.first || !c.next) c = WideSearchCalls{};
        return c;
    }();
    return calls;
}

// Test hook, from the environment, read at each search: "ascii" makes the
// seam act as if the code page spelled ASCII only; "ascii-no-short" also as if
// the volume kept no short names (Wine always makes them).
enum class NameTest { None, AsciiOnly, AsciiOnlyNoShortNames };

NameTest ReadNameTest() {
    char value[32] = {};
    DWORD n = GetEnvironmentVariableA("QX_TEST_NARROW_NAMES", value, sizeof value);
    if (n == 0 || n >= sizeof value) return NameTest::None;
    if (std::strcmp(value, "ascii") == 0) return NameTest::AsciiOnly;
    if (std::strcmp(value, "ascii-no-short") == 0) return NameTest::AsciiOnlyNoShortNames;
    return NameTest::None;
}

bool AllAscii(const wchar_t* name) {
    for (; *name; ++name) {
        if (*name >= 0x80) return false;
    }
    return true;
}

// name in the ANSI code page, when it comes back unchanged from there.
bool SpellNarrow(const wchar_t* name, NameTest test, char (&out)[260]) {
    if (!name[0]) return false;
    if (test != NameTest::None && !AllAscii(name)) return false;
    int n = WideCharToMultiByte(CP_ACP, 0, name, -1, out, sizeof out, nullptr, nullptr);
    if (n <= 0) return false;
    wchar_t back[MAX_PATH + 1];
    if (MultiByteToWideChar(CP_ACP, 0, out, -1, back, MAX_PATH + 1) <= 0) return false;
    return std::wcscmp(back, name) == 0;
}

void Utf8(const wchar_t* name, char (&out)[kLongNameCapacity]) {
    if (WideCharToMultiByte(CP_UTF8, 0, name, -1, out, sizeof out, nullptr, nullptr) <= 0) {
        out[0] = '\0';
    }
}

// The listing's short name, where it spells in the code page.
void KeepShortName(const wchar_t* alternate, NameTest test, FoundEntry& entry) {
    char spelled[260];
    entry.shortName[0] = '\0';
    if (test == NameTest::AsciiOnlyNoShortNames || !SpellNarrow(alternate, test, spelled)) return;
    CopyText(entry.shortName, sizeof entry.shortName, spelled);
}

void CopyWide(const WIN32_FIND_DATAW& data, NameTest test, FoundEntry& entry,
              char (&longName)[kLongNameCapacity]) {
    entry.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.isReparsePoint = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    entry.unreachable = false;
    longName[0] = '\0';
    KeepShortName(data.cAlternateFileName, test, entry);
    // A name the path rules would change is kept as it is: the file calls
    // reach it through its "\\?\" form (kept_path_win.h).
    if (SpellNarrow(data.cFileName, test, entry.name)) return;
    Utf8(data.cFileName, longName);
    if (test != NameTest::AsciiOnlyNoShortNames &&
        SpellNarrow(data.cAlternateFileName, test, entry.name)) {
        return;
    }
    entry.unreachable = true;
    // What the code page makes of it, for nothing but the entry's dots test.
    if (WideCharToMultiByte(CP_ACP, 0, data.cFileName, -1, entry.name, sizeof entry.name, nullptr,
                            nullptr) <= 0) {
        std::strcpy(entry.name, "?");
    }
}

// The 9x family: its file calls take every name through the path rules, so
// a name they would change (a listing Wine gives when set to 98) is opened
// by its short name, or not at all.
void CopyNarrow(const WIN32_FIND_DATAA& data, FoundEntry& entry,
                char (&longName)[kLongNameCapacity]) {
    entry.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.isReparsePoint = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    entry.unreachable = false;
    longName[0] = '\0';
    std::memcpy(entry.name, data.cFileName, sizeof entry.name);
    entry.name[sizeof entry.name - 1] = '\0';
    const char* alternate = data.cAlternateFileName;
    const bool alternateFits =
        alternate[0] && !std::strchr(alternate, '?') && !NameNeedsKeptForm(alternate) &&
        strnlen(alternate, sizeof data.cAlternateFileName) < sizeof data.cAlternateFileName;
    entry.shortName[0] = '\0';
    if (alternateFits) CopyText(entry.shortName, sizeof entry.shortName, alternate);
    // '?' is never part of a real name: the code page could not spell a letter.
    const bool unspelled = std::strchr(entry.name, '?') != nullptr;
    if (!unspelled && !NameNeedsKeptForm(entry.name)) return;
    wchar_t wide[MAX_PATH + 1];
    if (MultiByteToWideChar(CP_ACP, 0, entry.name, -1, wide, MAX_PATH + 1) > 0)
        Utf8(wide, longName);
    if (alternateFits) {
        std::strcpy(entry.name, alternate);
        return;
    }
    entry.unreachable = true;
}

struct SearchState {
    platform::FindHandle handle;
    bool wide;
    NameTest test;
};

}  // namespace

static_assert(sizeof(WIN32_FIND_DATAA::cFileName) == sizeof(FoundEntry::name));

namespace {

// Nothing there to list is no read error.
bool IsReadError(DWORD error) {
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES &&
           error != ERROR_PATH_NOT_FOUND;
}

// The pattern in UTF-16: through its "\\?\" form when a folder on the way
// has a name the path rules would change.
bool WidePattern(const char* pattern, wchar_t (&out)[kKeptFormCapacity]) {
    KeptPath kept(pattern);
    if (kept.form() == KeptPath::Form::Wide) {
        std::wcscpy(out, kept.Wide());
        return true;
    }
    return kept.form() == KeptPath::Form::Narrow &&
           MultiByteToWideChar(CP_ACP, 0, pattern, -1, out, kKeptFormCapacity) > 0;
}

}  // namespace

bool DirectorySearch::First(const char* pattern, FoundEntry& entry) {
    Close();
    unreadable_ = false;
    const WideSearchCalls& calls = WideCalls();
    wchar_t widePattern[kKeptFormCapacity];
    if (calls.first && WidePattern(pattern, widePattern)) {
        WIN32_FIND_DATAW data;
        HANDLE handle = calls.first(widePattern, &data);
        if (handle != INVALID_HANDLE_VALUE) {
            auto* search = new SearchState{platform::FindHandle(handle), true, ReadNameTest()};
            state_ = search;
            CopyWide(data, search->test, entry, longName_);
            return true;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_CALL_NOT_IMPLEMENTED) {
            unreadable_ = IsReadError(error);
            return false;
        }
    }
    WIN32_FIND_DATAA data;
    HANDLE handle = FindFirstFileA(pattern, &data);
    if (handle == INVALID_HANDLE_VALUE) {
        unreadable_ = IsReadError(GetLastError());
        return false;
    }
    state_ = new SearchState{platform::FindHandle(handle), false, NameTest::None};
    CopyNarrow(data, entry, longName_);
    return true;
}

bool DirectorySearch::Next(FoundEntry& entry) {
    if (!state_) return false;
    auto* search = static_cast<SearchState*>(state_);
    if (search->wide) {
        WIN32_FIND_DATAW data;
        if (!WideCalls().next(search->handle.Get(), &data)) return false;
        CopyWide(data, search->test, entry, longName_);
        return true;
    }
    WIN32_FIND_DATAA data;
    if (!FindNextFileA(search->handle.Get(), &data)) return false;
    CopyNarrow(data, entry, longName_);
    return true;
}

void DirectorySearch::Close() {
    if (state_) {
        auto* search = static_cast<SearchState*>(state_);
        delete search;  // closes the find handle
    }
    state_ = nullptr;
    longName_[0] = '\0';
}

namespace {

// A folder's identity: volume serial number and file index.
using FolderIdentity = std::tuple<DWORD, DWORD, DWORD>;
std::set<FolderIdentity> walkedFolders;

}  // namespace

// The 9x family has no links and no stable file index: every folder is walked.
bool BeginFolderWalk(const char* pattern, bool newWalk) {
    if (newWalk) walkedFolders.clear();
    if (GetVersion() & 0x80000000u) return true;
    const char* lastSlash = std::strrchr(pattern, '\\');
    if (!lastSlash) return true;
    char folder[MAX_PATH + 1];
    std::size_t length = static_cast<std::size_t>(lastSlash - pattern);
    if (length + 2 > sizeof folder) return true;
    std::memcpy(folder, pattern, length);
    folder[length] = '\0';
    if (length == 2 && folder[1] == ':') std::strcpy(folder + 2, "\\");  // a drive's root
    platform::KernelHandle handle(CreateFileKeepingName(
        folder, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT));
    BY_HANDLE_FILE_INFORMATION info;
    // One that cannot be opened is told by the search that follows, if at all.
    if (!handle || !GetFileInformationByHandle(handle.Get(), &info)) return true;
    return walkedFolders
        .insert(FolderIdentity(info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow))
        .second;
}
// The walker says it, in its log line, under the entry's long path.
bool NoteEntryTooLong(const char*, const char*) {
    return false;
}

bool ShortFolderPattern(const char* pattern, char (&out)[260]) {
    if (ReadNameTest() == NameTest::AsciiOnlyNoShortNames) return false;
    const char* lastSlash = std::strrchr(pattern, '\\');
    if (!lastSlash) return false;
    char folder[MAX_PATH + 1];
    const std::size_t length = static_cast<std::size_t>(lastSlash - pattern);
    // A drive's root is as short as it gets.
    if (length <= 2 || length >= sizeof folder) return false;
    std::memcpy(folder, pattern, length);
    folder[length] = '\0';
    char shortFolder[MAX_PATH + 1];
    return ShortPathKeepingName(folder, shortFolder, sizeof shortFolder) &&
           CopyText(out, shortFolder) && AppendText(out, lastSlash);
}

}  // namespace platform
