#include "clean/win32/path_forms_win.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <vector>

#include "base/ascii_case.h"
#include "clean/known_entries.h"
#include "platform/win32/kept_path_win.h"

namespace {

constexpr DWORD kPathChars = MAX_PATH + 1;

using GetLongPathNameAFn = DWORD(WINAPI*)(LPCSTR, LPSTR, DWORD);
using GetLongPathNameWFn = DWORD(WINAPI*)(LPCWSTR, LPWSTR, DWORD);
using ExpandWFn = DWORD(WINAPI*)(LPCWSTR, LPWSTR, DWORD);
using CharLowerBuffWFn = DWORD(WINAPI*)(LPWSTR, DWORD);
using RegQueryValueExWFn = LONG(WINAPI*)(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);

// Windows 95 and NT 4.0 lack GetLongPathName; the wide calls are stubs that
// fail on the 9x family. All are looked up at run time.
template <typename Fn>
Fn Lookup(const char* module, const char* name) {
    HMODULE m = GetModuleHandleA(module);
    return m ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(m, name))) : nullptr;
}

bool NtFamily() {
    return (GetVersion() & 0x80000000u) == 0;
}

std::string Utf8(const std::wstring& wide) {
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return "";
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &out[0], n, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(n - 1));
    return out;
}

// Lower case in every script, as Windows compares names.
std::wstring Lower(std::wstring text) {
    static const auto lower = Lookup<CharLowerBuffWFn>("user32.dll", "CharLowerBuffW");
    if (lower && !text.empty()) {
        lower(&text[0], static_cast<DWORD>(text.size()));
    } else {
        for (wchar_t& c : text) {
            if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    return text;
}

}  // namespace

PathForms FormsOfPath(const char* path) {
    PathForms forms;
    char buffer[kPathChars];
    // A name the path rules would change is asked about in its kept form:
    // the narrow calls would answer for another file.
    if (platform::ShortPathKeepingName(path, buffer, kPathChars)) {
        LowercaseText(buffer);
        if (std::strcmp(buffer, path) != 0) forms.shortForm = buffer;
    }
    if (Lookup<GetLongPathNameAFn>("kernel32.dll", "GetLongPathNameA") &&
        platform::LongPathKeepingName(path, buffer, kPathChars)) {
        // '?' stands for letters the code page cannot spell.
        if (!std::strchr(buffer, '?')) {
            LowercaseText(buffer);
            if (std::strcmp(buffer, path) != 0) forms.longForm = buffer;
        }
    }
    if (!NtFamily()) return forms;
    auto getLongWide = Lookup<GetLongPathNameWFn>("kernel32.dll", "GetLongPathNameW");
    wchar_t wide[platform::kKeptFormCapacity];
    const platform::KeptPath kept(path);
    if (kept.form() == platform::KeptPath::Form::Wide) {
        std::wcscpy(wide, kept.Wide());
    } else if (kept.form() == platform::KeptPath::Form::None ||
               MultiByteToWideChar(CP_ACP, 0, path, -1, wide, kPathChars) <= 0) {
        return forms;
    }
    if (!getLongWide) return forms;
    std::vector<wchar_t> longWide(32768);
    DWORD n = getLongWide(wide, longWide.data(), static_cast<DWORD>(longWide.size()));
    if (n == 0 || n >= longWide.size()) return forms;
    const wchar_t* longText = longWide.data();
    if (std::wcsncmp(longText, L"\\\\?\\", 4) == 0) longText += 4;
    std::string utf8 = Utf8(Lower(longText));
    // Only needed when no narrow form holds the long name.
    if (forms.longForm.empty() && utf8 != path) forms.longUtf8 = utf8;
    return forms;
}

bool WideRunValueLaunches(HKEY key, const char* valueName, const PathForms& forms) {
    if (forms.longUtf8.empty()) return false;
    auto query = Lookup<RegQueryValueExWFn>("advapi32.dll", "RegQueryValueExW");
    auto expand = Lookup<ExpandWFn>("kernel32.dll", "ExpandEnvironmentStringsW");
    if (!query || !expand) return false;
    int nameChars = MultiByteToWideChar(CP_ACP, 0, valueName, -1, nullptr, 0);
    if (nameChars <= 0) return false;
    std::wstring name(static_cast<std::size_t>(nameChars), L'\0');
    MultiByteToWideChar(CP_ACP, 0, valueName, -1, &name[0], nameChars);
    DWORD type = 0, size = 0;
    if (query(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return false;
    }
    // The data need not end with a zero: one more character always does.
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
    DWORD got = size;
    if (query(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &got) !=
        ERROR_SUCCESS) {
        return false;
    }
    data[std::min<std::size_t>(got / sizeof(wchar_t), data.size() - 1)] = L'\0';
    std::wstring line = Lower(data.data());
    std::wstring expanded;
    DWORD needed = expand(line.c_str(), nullptr, 0);
    if (needed > 0) {
        std::vector<wchar_t> out(needed + 1, L'\0');
        if (expand(line.c_str(), out.data(), needed + 1) > 0) expanded = Lower(out.data());
    }
    return RunValueMatches(Utf8(line).c_str(), Utf8(expanded).c_str(), forms.longUtf8.c_str());
}
