// The Windows side of system cleaning: the operations behind the five entry
// points of clean/system_cleaning.h, and the seams the test programs use.
#pragma once

#include <windows.h>

#include <cstddef>

#include "clean/system_cleaning.h"
#include "platform/report_only.h"
#include "platform/win32/scoped_handle_win.h"

// --- Windows version ---------------------------------------------------------
// The values keep the numbers the program has always used.
constexpr int kPlatformUnknown = 0;  // the version query failed
constexpr int kPlatformOther = 1;
constexpr int kPlatform95Family = 4;
constexpr int kPlatformNtFamily = 5;
int PlatformClass();

constexpr int kNtVersionOther = 0;  // not NT, or NT 6.0 and later
constexpr int kNtVersion4OrOlder = 5;
constexpr int kNtVersion5 = 6;  // 2000, XP, Server 2003
int NtVersionClass();

// --- The 64-bit view for a 32-bit build on 64-bit Windows --------------------
// The view every registry call opens keys in: the one a RegistryViewScope
// chose, else KEY_WOW64_64KEY under WOW64 and 0 elsewhere (older systems
// reject the flags).
REGSAM RegistryViewFlag();
// The views of HKLM\Software to clean: on 64-bit Windows the 64-bit one and
// the 32-bit one (Wow6432Node, where a 32-bit worm's entries land); elsewhere
// the only one. Returns how many it wrote.
int MachineRegistryViews(REGSAM views[2]);
// One view for every registry call within a scope.
class RegistryViewScope {
public:
    explicit RegistryViewScope(REGSAM view);
    ~RegistryViewScope();
    RegistryViewScope(const RegistryViewScope&) = delete;
    RegistryViewScope& operator=(const RegistryViewScope&) = delete;

private:
    REGSAM saved_;
};
// BeginSystemFileView and EndSystemFileView are in clean/system_cleaning.h.
bool SystemFileViewActive();
// SystemFileViewPause is in clean/system_cleaning.h.
// The module stays loaded for the program's life: callers keep the entry
// points they look up in it.
HMODULE LoadSystemLibrary(const char* name);

// --- Processes ---------------------------------------------------------------
int ScanProcesses9x();
int ScanProcessesNT();
// Both end only processes whose image file is the file at path; a process
// whose image path cannot be read is left alone.
int KillByNameToolhelp(const char* path);
int KillByNamePerfData(const char* path);

struct PerfProcessEntry;
// Ends every process of the table whose instance name equals the target and
// whose image file is the file at path; 1 when at least one was ended.
int EndPerfDataMatches(const PerfProcessEntry* table, int count, const char* target,
                       const char* path);

// True when both paths name one file: equal without regard to case, or equal
// in their long forms or in their short forms.
bool SameFile(const char* a, const char* b);

// The program's end after the memory phase's restart question; ExitProcess
// unless a test puts its own function here.
extern void(WINAPI* EndProgram)(UINT exitCode);

// --- Services ----------------------------------------------------------------
int StopService(const char* serviceName);
int DeleteServiceKeys(const char* serviceName);
// True when the service of this name runs the file at path: its binary path
// from the service manager or, for a service the manager does not know (keys
// written straight into the registry), the ImagePath of its key in the first
// control set that has one.
bool ServiceRunsFile(const char* serviceName, const char* path);
// How long StopService waits for a stop-pending service.
extern DWORD StopServiceWaitLimitMs;

// --- Registry ----------------------------------------------------------------
// A key opened in RegistryViewFlag()'s view; empty when it cannot be opened.
inline platform::RegistryKey OpenKeyInView(HKEY root, const char* path, REGSAM access) {
    platform::RegistryKey key;
    key.KeepIf(RegOpenKeyExA(root, path, 0, access | RegistryViewFlag(), key.Receive()) ==
               ERROR_SUCCESS);
    return key;
}

// The live registry store's steps one at a time, each opening its key
// (live_registry_store_win.cpp). ReadRegistryText reads at most bufferSize - 1 bytes of
// the value's data and ends the text with a zero inside buffer; longer data
// is cut.
bool ReadRegistryText(HKEY root, const char* keyPath, const char* valueName, char* buffer,
                      std::size_t bufferSize);
bool RemoveRegistryValue(HKEY root, const char* keyPath, const char* valueName);
bool RemoveRegistryKey(HKEY root, const char* keyPath);

// --- Boot-time removal and restart -------------------------------------------
bool AddWininitRename(const char* destination, const char* source);

// The calls RestartComputer makes; the tests replace them so that no test
// can restart the machine.
struct RestartCalls {
    BOOL(WINAPI* openProcessToken)(HANDLE, DWORD, PHANDLE);
    BOOL(WINAPI* lookupPrivilegeValue)(LPCSTR, LPCSTR, PLUID);
    BOOL(WINAPI* adjustTokenPrivileges)
    (HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD);
    BOOL(WINAPI* exitWindows)(UINT, DWORD);
};
extern RestartCalls RestartSystemCalls;

// The call that asks NT to delete a file at the next start; a test can stand
// in for a system that refuses the request.
struct BootDeleteCalls {
    BOOL(WINAPI* moveFileEx)(LPCSTR, LPCSTR, DWORD);
};
extern BootDeleteCalls BootDeleteSystemCalls;

// The memory phase's end of an infected process; a test can stand in for a
// process that will not end.
struct ProcessEndCalls {
    BOOL(WINAPI* terminateProcess)(HANDLE, UINT);
};
extern ProcessEndCalls ProcessEndSystemCalls;
