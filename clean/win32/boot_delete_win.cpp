// Deletion at the next start of Windows (the NT pending list, or wininit.ini
// on the 95 family) and the restart itself.
#include <io.h>

#include <cstring>
#include <string>

#include "base/bounded_text.h"
#include "clean/win32/system_cleaning_win.h"
#include "clean/wininit_text.h"
#include "platform/win32/kept_path_win.h"

RestartCalls RestartSystemCalls = {OpenProcessToken, LookupPrivilegeValueA, AdjustTokenPrivileges,
                                   ExitWindowsEx};
BootDeleteCalls BootDeleteSystemCalls = {MoveFileExA};

namespace {

constexpr DWORD kRestartFlags = EWX_REBOOT | EWX_FORCE;  // 6

class Win32WininitFiles : public WininitFiles {
public:
    bool Exists(const char* path) override { return _access(path, 0) == 0; }
    bool Copy(const char* from, const char* to) override {
        return CopyFileA(from, to, FALSE) != FALSE;
    }
    bool ReadAll(const char* path, std::string& bytes) override {
        platform::KernelHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        bytes.clear();
        char chunk[4096];
        DWORD got = 0;
        bool ok = true;
        while ((ok = ReadFile(file.Get(), chunk, sizeof chunk, &got, nullptr) != FALSE) &&
               got > 0) {
            bytes.append(chunk, got);
        }
        return ok;
    }
    bool WriteAll(const char* path, const std::string& bytes) override {
        platform::KernelHandle file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        DWORD written = 0;
        bool ok =
            bytes.empty() || (WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                        &written, nullptr) &&
                              written == bytes.size());
        ok = file.Close() && ok;  // the last write can fail as the file closes
        return ok;
    }
    bool Replace(const char* from, const char* to) override {
        if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING)) return true;
        // The 95 family has no MoveFileExA: make room, then move.
        if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return false;
        DeleteFileA(to);
        return MoveFileA(from, to) != FALSE;
    }
    void Remove(const char* path) override { DeleteFileA(path); }
};

}  // namespace

int ScheduleBootDelete(const char* path) {
    if (platform::ReportOnly()) return 0;  // nothing is scheduled
    switch (PlatformClass()) {
        case kPlatform95Family: {
            char shortPath[MAX_PATH];
            DWORD n = GetShortPathNameA(path, shortPath, sizeof shortPath);
            // Without a short form the long path still names the file.
            const char* source = n > 0 && n < sizeof shortPath ? shortPath : path;
            return AddWininitRename("NUL", source) ? 1 : 0;
        }
        case kPlatformNtFamily:
            // A name the path rules would change goes on the list as it is.
            if (platform::KeptPath(path).form() != platform::KeptPath::Form::Narrow)
                return platform::MoveFileExKeepingName(path, MOVEFILE_DELAY_UNTIL_REBOOT) ? 1 : 0;
            // Only a request the system took will delete the file at the restart.
            return BootDeleteSystemCalls.moveFileEx(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) ? 1
                                                                                                : 0;
        default:
            return 0;
    }
}

bool AddWininitRename(const char* destination, const char* source) {
    char windowsDir[350];
    UINT n = GetWindowsDirectoryA(windowsDir, sizeof windowsDir);
    if (n == 0 || n >= sizeof windowsDir) return false;
    char iniPath[400];
    char sidePath[400];
    CopyText(iniPath, windowsDir);
    CopyText(sidePath, windowsDir);
    if (!AppendText(iniPath, "\\wininit.ini") || !AppendText(sidePath, "\\wininit.qx$")) {
        return false;
    }
    char tempDir[MAX_PATH];
    DWORD t = GetTempPathA(sizeof tempDir, tempDir);
    char workPath[MAX_PATH + 16];
    if (t == 0 || t >= sizeof tempDir) return false;
    CopyText(workPath, tempDir);
    if (!AppendText(workPath, "wininit.ini")) return false;

    Win32WininitFiles files;
    return UpdateWininit(files, iniPath, workPath, sidePath, destination, source);
}

int RestartComputer() {
    if (platform::ReportOnly()) return 0;
    const RestartCalls& calls = RestartSystemCalls;
    if (PlatformClass() != kPlatform95Family) {
        platform::KernelHandle token;
        if (!token.KeepIf(calls.openProcessToken(GetCurrentProcess(),
                                                 TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                                                 token.Receive()) != FALSE)) {
            return 0;
        }
        TOKEN_PRIVILEGES privileges = {};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (!calls.lookupPrivilegeValue(nullptr, "SeShutdownPrivilege",
                                        &privileges.Privileges[0].Luid)) {
            DWORD error = GetLastError();
            return error ? static_cast<int>(error) : 0;
        }
        SetLastError(0);
        calls.adjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr);
        DWORD error = GetLastError();
        if (error != 0) return static_cast<int>(error);
    }  // the token is closed before the restart is asked for
    return calls.exitWindows(kRestartFlags, 0);
}
