#include "tests/wine/support/unix_link.h"

#include <windows.h>

namespace {

using UnixNameCall = char*(CDECL*)(const wchar_t*);

// Wine's own kernel32 export: the host's name of a Windows path.
std::string UnixName(const std::string& windowsPath) {
    auto call = reinterpret_cast<UnixNameCall>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!call) return "";
    std::wstring wide(windowsPath.begin(), windowsPath.end());
    char* name = call(wide.c_str());
    if (!name) return "";
    std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

std::string Quoted(const std::string& s) {
    return "\"" + s + "\"";
}

// The host's name of a path whose last name need not exist yet.
std::string UnixNameOfNew(const std::string& windowsPath) {
    std::string::size_type slash = windowsPath.find_last_of('\\');
    if (slash == std::string::npos) return "";
    std::string folder = UnixName(windowsPath.substr(0, slash + 1));
    if (folder.empty()) return "";
    if (folder.back() != '/') folder += '/';
    return folder + windowsPath.substr(slash + 1);
}

}  // namespace

bool MakeUnixLink(const std::string& link, const std::string& target) {
    std::string unixLink = UnixNameOfNew(link);
    bool absolute = target.size() > 2 && target[1] == ':';
    std::string unixTarget = absolute ? UnixNameOfNew(target) : target;
    if (unixLink.empty() || unixTarget.empty()) return false;
    std::string command =
        "\\\\?\\unix\\bin\\ln -sfn " + Quoted(unixTarget) + " " + Quoted(unixLink);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // Wine's handle of a host program does not follow it to its end: the
    // link is waited for (ln takes milliseconds; ten seconds is a failure).
    for (int tries = 0; tries < 1000; ++tries) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(link.c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            FindClose(search);
            return true;
        }
        Sleep(10);
    }
    return false;
}

std::string ReadWholeFile(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "";
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    CloseHandle(h);
    return text;
}
