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

// The host's name of a path whose last name need not exist yet.
std::string UnixNameOfNew(const std::string& windowsPath) {
    std::string::size_type slash = windowsPath.find_last_of('\\');
    if (slash == std::string::npos) return "";
    std::string folder = UnixName(windowsPath.substr(0, slash + 1));
    if (folder.empty()) return "";
    if (folder.back() != '/') folder += '/';
    return folder + windowsPath.substr(slash + 1);
}

std::string Quoted(const std::string& s) {
    return "\"" + s + "\"";
}

bool Listed(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

// Starts a host program (Wine runs one named by a \\?\unix path). Wine's
// handle of it does not follow it to its end, so the caller's test of what
// it does is waited for (it takes milliseconds; ten seconds is a failure).
template <class Done>
bool RunOnHostSide(std::string command, Done done) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int tries = 0; tries < 1000; ++tries) {
        if (done()) return true;
        Sleep(10);
    }
    return false;
}

}  // namespace

bool MakeUnixLink(const std::string& link, const std::string& target) {
    std::string unixLink = UnixNameOfNew(link);
    bool absolute = target.size() > 2 && target[1] == ':';
    std::string unixTarget = absolute ? UnixNameOfNew(target) : target;
    if (unixLink.empty() || unixTarget.empty() || Listed(link)) return false;
    // Wine does not show a link that leads nowhere: a folder made after it
    // tells that ln is done.
    const std::string done = link + ".made";
    // One argument for sh by Windows' quoting; its words by sh's.
    const std::string script =
        "ln -s '" + unixTarget + "' '" + unixLink + "' && mkdir '" + unixLink + ".made'";
    const bool made =
        RunOnHostSide("\\\\?\\unix\\bin\\sh -c " + Quoted(script), [&] { return Listed(done); });
    RemoveDirectoryA(done.c_str());
    return made;
}

bool MakeFolderOpenToAll(const std::string& path) {
    std::string unixPath = UnixNameOfNew(path);
    if (unixPath.empty() || Listed(path)) return false;
    // Made under another name and renamed, so that it appears with its mode.
    const std::string script = "mkdir '" + unixPath + ".new' && chmod 777 '" + unixPath +
                               ".new' && mv '" + unixPath + ".new' '" + unixPath + "'";
    return RunOnHostSide("\\\\?\\unix\\bin\\sh -c " + Quoted(script), [&] { return Listed(path); });
}

bool SwapForLinkOnHostSide(const std::string& path, const std::string& aside,
                           const std::string& target) {
    const std::string unixPath = UnixNameOfNew(path);
    const std::string unixAside = UnixNameOfNew(aside);
    const std::string unixTarget = UnixNameOfNew(target);
    if (unixPath.empty() || unixAside.empty() || unixTarget.empty() || Listed(aside)) return false;
    // The link comes first, under a name of its own, so that the swap is one rename.
    const std::string script = "ln -s '" + unixTarget + "' '" + unixPath + ".link' && mv '" +
                               unixPath + "' '" + unixAside + "' && mv '" + unixPath + ".link' '" +
                               unixPath + "'";
    return RunOnHostSide("\\\\?\\unix\\bin\\sh -c " + Quoted(script),
                         [&] { return Listed(aside) && Listed(path); });
}

bool RemoveOnHostSide(const std::string& path) {
    if (!Listed(path)) return true;
    std::string unixPath = UnixNameOfNew(path);
    if (unixPath.empty()) return false;
    return RunOnHostSide("\\\\?\\unix\\bin\\rm -rf " + Quoted(unixPath),
                         [&] { return !Listed(path); });
}

bool RunScriptOnHostSide(const std::string& folder, const std::string& script) {
    const std::string unixFolder = UnixName(folder);
    if (unixFolder.empty()) return false;
    const std::string file = folder + "\\qxhost.sh";
    const std::string done = folder + "\\qxhost.done";
    // The folder made last tells that every step before it succeeded.
    const std::string text = "set -e\ncd '" + unixFolder + "'\n" + script + "\nmkdir qxhost.done\n";
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool wrote =
        WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size();
    CloseHandle(h);
    const bool ran = wrote && RunOnHostSide("\\\\?\\unix\\bin\\sh " + Quoted(UnixName(file)),
                                            [&] { return Listed(done); });
    RemoveDirectoryA(done.c_str());
    DeleteFileA(file.c_str());
    return ran;
}

std::string HostNameOf(const std::string& windowsPath) {
    return UnixNameOfNew(windowsPath);
}

bool RunHostScript(const std::string& script, const std::string& done) {
    return RunOnHostSide("\\\\?\\unix\\bin\\sh -c " + Quoted(script), [&] { return Listed(done); });
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
