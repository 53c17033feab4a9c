// The memory phase: every running process's image file goes through the file
// scanners; a process whose file is recognised is ended and the file removed.
// Also the two ways to end a process by its file's name.
#include "clean/win32/system_cleaning_win.h"

#include <io.h>
#include <tlhelp32.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/bounded_text.h"
#include "clean/perf_data.h"
#include "clean/service_image.h"
#include "platform/message_box.h"
#include "quarantine/scan_log.h"
#include "scan/report_texts.h"
#include "scan/walker.h"
#include "state/program_state.h"

void(WINAPI* EndProgram)(UINT exitCode) = ExitProcess;

ProcessEndCalls ProcessEndSystemCalls = {TerminateProcess};

namespace {

constexpr DWORD kListRights = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;   // 0x410
constexpr DWORD kEndRights = PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION;  // 0x401
constexpr DWORD kMaxProcessIds = 1024;
constexpr DWORD kPerfFirstSize = 51200;
constexpr DWORD kPerfGrowth = 25600;
constexpr DWORD kPerfMaxSize = 64u << 20;  // no answer grows without end
constexpr int kReadable = 4;

constexpr char kMemoryRestartQuestion[] =
    "W32/OnlineGames.Worm found in memory! registry entries created by the worm are removed. "
    "You must restart the computer and run this program to continue scanning.\n\n"
    "Restart the computer now?";
constexpr unsigned kMemoryRestartStyle = kMbOkCancel | kMbIconAsterisk;  // 0x41

constexpr char kPerflibKey[] = "software\\microsoft\\windows nt\\currentversion\\perflib\\009";

// The tool-help record of the 32-bit build, as the 95 family knows it.
static_assert(sizeof(void*) == 8 || sizeof(PROCESSENTRY32) == 296, "PROCESSENTRY32 is 296 bytes");

struct ProcessNode {
    DWORD processId;
    char modulePath[kPathCapacity];
};

using CreateSnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
using Process32Fn = BOOL(WINAPI*)(HANDLE, LPPROCESSENTRY32);
using EnumProcessesFn = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
using GetModuleFileNameExFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);

template <typename Fn>
Fn Lookup(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

using platform::KernelHandle;

bool IsReadable(const char* path) {
    return path[0] != '\0' && _access(path, kReadable) == 0;
}

// The module file under the memory-mode walk; true when it was recognised.
bool WalkFound(const char* path, int& result) {
    ScanState.MemoryHit = 0;
    result = 0;
    if (IsReadable(path)) result = WalkDirectory(path);
    return ScanState.MemoryHit != 0;
}

// The ended process's file, walked once more: the file scanner's memory
// follow-up removes it through the one removal sequence (RemoveDetectedFile).
void RemoveEndedProcessFile(const char* path, int& result) {
    ScanState.MemoryRemediation = 1;
    result = WalkDirectory(path);
    ScanState.MemoryRemediation = 0;
}

bool EndProcess(HANDLE process) {
    if (platform::ReportOnly()) return true;
    return ProcessEndSystemCalls.terminateProcess(process, 0) != FALSE;
}

void EnableDebugPrivilege() {
    KernelHandle token;
    if (!token.KeepIf(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                                       token.Receive()) != FALSE)) {
        return;
    }
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &privileges.Privileges[0].Luid)) {
        AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr);
    }
}

// The process's main module path; empty when it cannot be read whole.
void ReadModulePath(GetModuleFileNameExFn getModuleFileName, HANDLE process,
                    char (&path)[kPathCapacity]) {
    path[0] = '\0';
    DWORD n = getModuleFileName(process, nullptr, path, kPathCapacity);
    if (n == 0 || n >= kPathCapacity) path[0] = '\0';
}

// A handle with end rights only while the identifier still names a process
// of this image file: an identifier freed and reused in the meantime must not
// lead to ending another program.
KernelHandle OpenSameImage(GetModuleFileNameExFn getModuleFileName, const ProcessNode& node) {
    KernelHandle process(OpenProcess(kEndRights | PROCESS_VM_READ, FALSE, node.processId));
    if (!process) return {};
    char now[kPathCapacity];
    ReadModulePath(getModuleFileName, process.Get(), now);
    if (lstrcmpiA(now, node.modulePath) != 0) return {};
    return process;
}

// psapi's reader of a process's image path, or null where psapi is missing
// (Windows 95, NT 4.0 without it).
GetModuleFileNameExFn LoadModuleFileNameReader() {
    HMODULE psapi = LoadSystemLibrary("psapi.dll");
    return psapi ? Lookup<GetModuleFileNameExFn>(psapi, "GetModuleFileNameExA") : nullptr;
}

// A handle with end rights only when the process's image file is the file at
// path; null when it is another file or its path cannot be read.
KernelHandle OpenProcessOfFile(GetModuleFileNameExFn getModuleFileName, DWORD processId,
                               const char* path) {
    if (!getModuleFileName) return {};
    KernelHandle process(OpenProcess(kEndRights | PROCESS_VM_READ, FALSE, processId));
    if (!process) return {};
    char image[kPathCapacity];
    ReadModulePath(getModuleFileName, process.Get(), image);
    if (!SameFile(image, path)) return {};
    return process;
}

// The 95 family's tool-help gives the image's full path; NT's, and Wine's,
// only its name.
bool IsFullPath(const char* path) {
    const bool drive = path[0] != '\0' && path[1] == ':' && path[2] == '\\';
    return drive || (path[0] == '\\' && path[1] == '\\');
}

// The tool-help entry's process, when its image file is the file at path.
KernelHandle OpenListedProcessOfFile(const PROCESSENTRY32& entry, const char* path,
                                     GetModuleFileNameExFn& getModuleFileName, bool& readerLoaded) {
    if (IsFullPath(entry.szExeFile)) {
        if (!SameFile(entry.szExeFile, path)) return {};
        return KernelHandle(OpenProcess(kEndRights, FALSE, entry.th32ProcessID));
    }
    if (!readerLoaded) {
        getModuleFileName = LoadModuleFileNameReader();
        readerLoaded = true;
    }
    return OpenProcessOfFile(getModuleFileName, entry.th32ProcessID, path);
}

bool ToAnsi(const std::uint16_t* text, std::size_t count, char* out, std::size_t outSize) {
    if (count == 0) {
        out[0] = '\0';
        return true;
    }
    int n = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(text),
                                static_cast<int>(count), out, static_cast<int>(outSize) - 1,
                                nullptr, nullptr);
    if (n <= 0) return false;
    out[n] = '\0';
    return true;
}

}  // namespace

int ScanProcesses9x() {
    HMODULE kernel = LoadSystemLibrary("Kernel32.dll");
    if (!kernel) return 0;
    auto createSnapshot = Lookup<CreateSnapshotFn>(kernel, "CreateToolhelp32Snapshot");
    if (!createSnapshot) return 0;
    KernelHandle snapshot(createSnapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return 0;

    std::vector<ProcessNode> nodes;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    auto first = Lookup<Process32Fn>(kernel, "Process32First");
    if (first && first(snapshot.Get(), &entry)) {
        for (;;) {
            ProcessNode node = {entry.th32ProcessID, {}};
            CopyText(node.modulePath, entry.szExeFile);
            nodes.push_back(node);
            auto next = Lookup<Process32Fn>(kernel, "Process32Next");
            if (!next) break;
            entry.dwSize = sizeof entry;
            if (!next(snapshot.Get(), &entry)) break;
        }
    }
    snapshot.Reset();

    int result = 0;
    for (const ProcessNode& node : nodes) {
        if (!WalkFound(node.modulePath, result)) continue;
        KernelHandle process(OpenProcess(kEndRights, FALSE, node.processId));
        // A process still running has not been removed from memory: its file
        // is left to the drive walk, which tells what becomes of it.
        if (!process || !EndProcess(process.Get())) continue;
        RemoveEndedProcessFile(node.modulePath, result);
    }
    return result;
}

int ScanProcessesNT() {
    HMODULE psapi = LoadSystemLibrary("psapi.dll");
    if (!psapi) return 0;
    auto enumProcesses = Lookup<EnumProcessesFn>(psapi, "EnumProcesses");
    if (!enumProcesses) return 0;
    DWORD ids[kMaxProcessIds];
    DWORD bytes = 0;
    if (!enumProcesses(ids, sizeof ids, &bytes)) return 0;
    DWORD count = bytes / sizeof(DWORD);
    if (count == 0) return 0;
    auto getModuleFileName = Lookup<GetModuleFileNameExFn>(psapi, "GetModuleFileNameExA");
    if (!getModuleFileName) return 0;

    std::vector<ProcessNode> nodes;
    for (DWORD i = 0; i < count && i < kMaxProcessIds; ++i) {
        KernelHandle process(OpenProcess(kListRights, FALSE, ids[i]));
        if (!process && GetLastError() == ERROR_ACCESS_DENIED) {
            EnableDebugPrivilege();
            process.Reset(OpenProcess(kListRights, FALSE, ids[i]));
        }
        if (!process) continue;
        ProcessNode node = {ids[i], {}};
        ReadModulePath(getModuleFileName, process.Get(), node.modulePath);
        if (node.modulePath[0] != '\0') nodes.push_back(node);
    }

    int result = 0;
    bool serviceLeftRunning = false;
    for (const ProcessNode& node : nodes) {
        if (!WalkFound(node.modulePath, result)) continue;
        {
            KernelHandle process(OpenSameImage(getModuleFileName, node));
            if (process && EndProcess(process.Get())) result = 1;
        }
        KernelHandle again(OpenSameImage(getModuleFileName, node));
        bool endedAgain = again && EndProcess(again.Get());
        if (!endedAgain) {
            // As a rule the first attempt ended it; on NT 4.0 and 5.x the worm
            // may also run as a service of the same name.
            int nt = NtVersionClass();
            if (nt == kNtVersion4OrOlder || nt == kNtVersion5) {
                const std::string name = ServiceNameOf(node.modulePath);
                const char* service = name.c_str();
                // A service of that name that runs another program (the
                // system's own, named like the worm's file) is left alone.
                if (ServiceRunsFile(service, node.modulePath)) {
                    if (StopService(service)) {
                        DeleteServiceKeys(service);
                        RemoveEndedProcessFile(node.modulePath, result);
                        continue;
                    }
                    // Only a service that is really there and could not be
                    // stopped keeps the worm alive until a restart.
                    if (DeleteServiceKeys(service)) serviceLeftRunning = true;
                }
                ScanState.ServiceRestartNeeded = 1;
            }
            if (result == 0) continue;
        }
        RemoveEndedProcessFile(node.modulePath, result);
    }
    // Non-zero exactly when a worm service could not be stopped and its keys
    // were deleted: scanning on is of no use before a restart.
    return serviceLeftRunning ? 1 : 0;
}

void ScanMemory() {
    int platform = PlatformClass();
    ScanState.MemoryScanMode = 1;
    if (platform == kPlatform95Family) {
        ScanProcesses9x();
    } else if (platform == kPlatformNtFamily && ScanProcessesNT() != 0) {
        const bool asked = ScanState.ServiceRestartNeeded == 1;
        const bool restart = asked && ShowMessage(kMemoryRestartQuestion, texts::kProgramTitle,
                                                  kMemoryRestartStyle) == kIdOk;
        LogFinalStatus("ended after the memory phase");
        LogRestartAnswer(asked ? (restart ? "OK" : "Cancel") : nullptr);
        if (restart) RestartComputer();
        EndProgram(0);
    }
    ScanState.MemoryScanMode = 0;
}

int KillProcessByName(const char* path) {
    switch (PlatformClass()) {
        case kPlatform95Family:
            return KillByNameToolhelp(path) ? 1 : 0;
        case kPlatformNtFamily:
            return KillByNamePerfData(path) ? 1 : 0;
        default:
            return 1;
    }
}

int KillByNameToolhelp(const char* path) {
    HMODULE kernel = LoadSystemLibrary("Kernel32.dll");
    Sleep(100);
    if (!kernel) return 0;
    auto createSnapshot = Lookup<CreateSnapshotFn>(kernel, "CreateToolhelp32Snapshot");
    if (!createSnapshot) return 0;
    KernelHandle snapshot(createSnapshot(TH32CS_SNAPPROCESS, 0));
    Sleep(100);
    if (!snapshot) return 0;

    int result = 0;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    auto first = Lookup<Process32Fn>(kernel, "Process32First");
    if (!first || !first(snapshot.Get(), &entry)) return 0;
    GetModuleFileNameExFn getModuleFileName = nullptr;
    bool readerLoaded = false;
    // The first process reported is never compared. A process is judged by
    // its image file's full path, never by its name alone: a system program
    // named like the infected file must live on.
    for (;;) {
        auto next = Lookup<Process32Fn>(kernel, "Process32Next");
        if (!next) break;
        Sleep(100);
        entry.dwSize = sizeof entry;
        if (!next(snapshot.Get(), &entry)) break;
        Sleep(100);
        KernelHandle process(OpenListedProcessOfFile(entry, path, getModuleFileName, readerLoaded));
        if (!process) continue;
        Sleep(50);
        if (EndProcess(process.Get())) result = 1;
        Sleep(500);
        break;  // only the first match
    }
    return result;
}

int EndPerfDataMatches(const PerfProcessEntry* table, int count, const char* target,
                       const char* path) {
    // Performance data gives names and identifiers only: each process named
    // like the file is checked by its image path before it is ended.
    GetModuleFileNameExFn getModuleFileName = nullptr;
    bool readerLoaded = false;
    int result = 0;
    for (int i = 0; i < count; ++i) {
        if (!PerfInstanceMatches(table[i].name, target)) continue;
        if (!readerLoaded) {
            getModuleFileName = LoadModuleFileNameReader();
            readerLoaded = true;
        }
        KernelHandle process(OpenProcessOfFile(getModuleFileName, table[i].processId, path));
        if (process && EndProcess(process.Get())) result = 1;
        Sleep(500);
    }
    return result;
}

int KillByNamePerfData(const char* path) {
    char target[kPathCapacity];
    if (!PerfTargetFromPath(path, target, sizeof target)) return 0;

    PerfCounterTitles titles;
    std::vector<std::uint8_t> block;
    DWORD capacity = kPerfFirstSize;
    DWORD size = 0;
    LONG status;
    {
        SystemFileViewPause pause;  // the query loads the providers' DLLs, not the ending
        {
            platform::RegistryKey key = OpenKeyInView(HKEY_LOCAL_MACHINE, kPerflibKey, KEY_READ);
            if (!key) return 0;
            DWORD listSize = 0;
            bool found = false;
            if (RegQueryValueExA(key.Get(), "Counters", nullptr, nullptr, nullptr, &listSize) ==
                ERROR_SUCCESS) {
                std::vector<char> list(listSize + 2u, '\0');
                DWORD got = listSize;
                found =
                    RegQueryValueExA(key.Get(), "Counters", nullptr, nullptr,
                                     reinterpret_cast<BYTE*>(list.data()), &got) == ERROR_SUCCESS &&
                    FindProcessCounterTitles(list.data(), got < listSize ? got : listSize, titles);
            }
            if (!found) return 0;
        }

        // The first query opens the key; closing it unloads the providers.
        platform::RegistryKey performanceData(HKEY_PERFORMANCE_DATA);
        for (;;) {
            block.assign(capacity, 0);
            size = capacity;
            status = RegQueryValueExA(HKEY_PERFORMANCE_DATA, titles.processKey, nullptr, nullptr,
                                      block.data(), &size);
            if (status != ERROR_MORE_DATA || capacity >= kPerfMaxSize) break;
            capacity += kPerfGrowth;
        }
    }
    if (status != ERROR_SUCCESS || size == 0) return 0;

    static PerfProcessEntry table[kPerfTableCapacity];
    int count = ReadPerfProcessTable(block.data(), size < capacity ? size : capacity,
                                     titles.idProcessIndex, ToAnsi, table);
    return EndPerfDataMatches(table, count, target, path);
}
