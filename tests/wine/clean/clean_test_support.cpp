#include "tests/wine/clean/clean_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "clean/win32/system_cleaning_win.h"
#include "detect/executable_scanner.h"
#include "detect/pe_reader.h"
#include "detect/signature_record.h"
#include "platform/file_io.h"
#include "scan/report_channel.h"
#include "state/program_state.h"
#include "tests/wine/support/report_sink.h"
#include "tests/wine/support/scripted_message_box.h"

namespace {

// Whatever a test does, nothing may restart the machine or end the program.
std::vector<std::pair<UINT, DWORD>> refusedRestarts;
BOOL WINAPI RefuseRestart(UINT flags, DWORD reason) {
    refusedRestarts.emplace_back(flags, reason);
    return FALSE;
}
int programEnds = 0;
UINT lastEndCode = 0;
void WINAPI RefuseExit(UINT code) {
    ++programEnds;
    lastEndCode = code;
}

class NoRestartEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        RestartSystemCalls.exitWindows = RefuseRestart;
        EndProgram = RefuseExit;
    }
};
const auto* const guard = ::testing::AddGlobalTestEnvironment(new NoRestartEnvironment);

HKEY Open(HKEY root, const char* key, REGSAM access, REGSAM view) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(root, key, 0, access | view, &k) != ERROR_SUCCESS) return nullptr;
    return k;
}

using RegDeleteKeyExFn = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);

LONG DeleteKey64(HKEY root, const char* key) {
    auto fn = reinterpret_cast<RegDeleteKeyExFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegDeleteKeyExA")));
    return fn ? fn(root, key, KEY_WOW64_64KEY, 0) : RegDeleteKeyA(root, key);
}

}  // namespace

void BeginTestScan() {
    ResetProgramState();
    ReportWindow = LineSink();
    SinkLines().clear();
    ForgetAskedQuestions();
    programEnds = 0;
    refusedRestarts.clear();
}

void EndTestScan() {
    ReportWindow = nullptr;
}

int ProgramEnds() {
    return programEnds;
}
UINT LastProgramEndCode() {
    return lastEndCode;
}
const std::vector<std::pair<UINT, DWORD>>& RestartRequests() {
    return refusedRestarts;
}

const std::vector<std::string>& SentLines() {
    return SinkLines();
}
void ClearLines() {
    SinkLines().clear();
}

HWND LineSink() {
    return ReportSinkWindow();
}

bool MakeKey(HKEY root, const char* key, REGSAM view) {
    HKEY k = nullptr;
    if (RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &k, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(k);
    return true;
}

bool SetBytes(HKEY root, const char* key, const char* name, const void* data, DWORD size,
              DWORD type) {
    HKEY k = nullptr;
    if (RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &k,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    LONG r = RegSetValueExA(k, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(k);
    return r == ERROR_SUCCESS;
}

bool SetText(HKEY root, const char* key, const char* name, const std::string& data) {
    return SetBytes(root, key, name, data.c_str(), static_cast<DWORD>(data.size() + 1), REG_SZ);
}

bool ValueExists(HKEY root, const char* key, const char* name, REGSAM view) {
    HKEY k = Open(root, key, KEY_READ, view);
    if (!k) return false;
    bool found = RegQueryValueExA(k, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(k);
    return found;
}

bool KeyExists(HKEY root, const char* key) {
    HKEY k = Open(root, key, KEY_READ, KEY_WOW64_64KEY);
    if (k) RegCloseKey(k);
    return k != nullptr;
}

void DeleteValue(HKEY root, const char* key, const char* name, REGSAM view) {
    HKEY k = Open(root, key, KEY_ALL_ACCESS, view);
    if (!k) return;
    RegDeleteValueA(k, name);
    RegCloseKey(k);
}

void DeleteTree(HKEY root, const char* key) {
    HKEY k = Open(root, key, KEY_ALL_ACCESS, KEY_WOW64_64KEY);
    if (!k) return;
    char sub[256];
    for (;;) {
        DWORD n = sizeof sub;
        if (RegEnumKeyExA(k, 0, sub, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        std::string child = std::string(key) + "\\" + sub;
        DeleteTree(root, child.c_str());
        if (KeyExists(root, child.c_str())) break;
    }
    RegCloseKey(k);
    DeleteKey64(root, key);
}

std::vector<std::string> ValueNames(HKEY root, const char* key) {
    std::vector<std::string> names;
    HKEY k = Open(root, key, KEY_READ, KEY_WOW64_64KEY);
    if (!k) return names;
    char name[16384];
    for (DWORD i = 0;; ++i) {
        DWORD n = sizeof name;
        if (RegEnumValueA(k, i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name);
    }
    RegCloseKey(k);
    return names;
}

bool RunningUnderWow64ForTest() {
    BOOL wow = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow) && wow;
}

std::string BesideTest(const char* fileName) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string dir(self);
    dir.erase(dir.rfind('\\') + 1);
    return dir + fileName;
}

bool CopyBesideTest(const char* fileName, const std::string& to) {
    return CopyFileA(BesideTest(fileName).c_str(), to.c_str(), FALSE) != FALSE;
}

PROCESS_INFORMATION StartProgram(const std::string& path, const std::string& arguments) {
    std::string command = "\"" + path + "\" " + arguments;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(path.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &info)) {
        ADD_FAILURE() << "cannot start " << path << ": " << GetLastError();
        return PROCESS_INFORMATION{};
    }
    CloseHandle(info.hThread);
    info.hThread = nullptr;
    // Listed with its image path only once its loader has run: wait for that,
    // as the memory phase reads it the same way.
    using GetModuleFileNameExFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
    static auto getModuleFileName = reinterpret_cast<GetModuleFileNameExFn>(
        reinterpret_cast<void*>(GetProcAddress(LoadLibraryA("psapi.dll"), "GetModuleFileNameExA")));
    char image[MAX_PATH];
    for (int i = 0; i < 200 && getModuleFileName; ++i) {
        if (getModuleFileName(info.hProcess, nullptr, image, sizeof image) > 0) break;
        Sleep(50);
    }
    Sleep(100);
    return info;
}

bool StillRunning(HANDLE process) {
    return process && WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
}

void EndAndClose(PROCESS_INFORMATION& info) {
    if (!info.hProcess) return;
    if (StillRunning(info.hProcess)) {
        TerminateProcess(info.hProcess, 0);
        WaitForSingleObject(info.hProcess, 5000);
    }
    CloseHandle(info.hProcess);
    info = PROCESS_INFORMATION{};
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

std::string ReadFileBytes(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes(GetFileSize(h, nullptr), '\0');
    DWORD got = 0;
    if (!bytes.empty()) ReadFile(h, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(h);
    return bytes;
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

bool ResizeFile(const std::string& path, DWORD size) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = SetFilePointer(h, static_cast<LONG>(size), nullptr, FILE_BEGIN) !=
                  INVALID_SET_FILE_POINTER &&
              SetEndOfFile(h);
    CloseHandle(h);
    return ok;
}

bool WriteAt(const std::string& path, DWORD offset, const void* bytes, DWORD count) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = SetFilePointer(h, static_cast<LONG>(offset), nullptr, FILE_BEGIN) == offset &&
              WriteFile(h, bytes, count, &written, nullptr) && written == count;
    CloseHandle(h);
    return ok;
}

// Where the scanner reads a record's two patterns in the file as it now is.
bool PatternOffsets(const std::string& path, const SignatureRecord& r, std::uint32_t& o1,
                    std::uint32_t& o2) {
    platform::ScopedFile file(platform::OpenReadBinary(path.c_str()));
    if (!file.IsOpen()) return false;
    if (!ReadPeSignature(file.Get()) || !ReadPeSections(file.Get())) return false;
    std::uint32_t ep = PeHeaderView.AddressOfEntryPoint();
    const std::int64_t length = platform::FileLength(file.Get());
    o1 = RvaToFileOffset(ep + static_cast<std::uint32_t>(r.offset1), length);
    o2 = RvaToFileOffset(ep + static_cast<std::uint32_t>(r.offset2), length);
    return true;
}

}  // namespace

std::string CraftInfectedCopy(const char* helper, const std::string& to) {
    if (!CopyBesideTest(helper, to)) return "";
    DWORD victimSize = 0;
    {
        HANDLE h = CreateFileA(to.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                               nullptr);
        if (h == INVALID_HANDLE_VALUE) return "";
        victimSize = GetFileSize(h, nullptr);
        CloseHandle(h);
    }
    constexpr std::int32_t kLargest = 8 << 20;
    for (const SignatureRecord* r = ExecutableSignatureTable; r->detectionName[0] != '\0'; ++r) {
        if (r->sizeRule != SizeExact ||
            r->expectedSize < static_cast<std::int32_t>(victimSize) + 64 ||
            r->expectedSize > kLargest) {
            continue;
        }
        const std::uint32_t size = static_cast<std::uint32_t>(r->expectedSize);
        // The padding is zeros: the file is only lengthened, never rewritten.
        if (!ResizeFile(to, victimSize) || !ResizeFile(to, size)) return "";
        std::uint32_t o1 = 0, o2 = 0;
        if (!PatternOffsets(to, *r, o1, o2)) return "";
        auto inPadding = [&](std::uint32_t o) {
            return o >= victimSize && o <= size - kPatternCompared;
        };
        std::uint32_t gap = o1 > o2 ? o1 - o2 : o2 - o1;
        if (!inPadding(o1) || !inPadding(o2) || gap < static_cast<std::uint32_t>(kPatternCompared))
            continue;
        if (!WriteAt(to, o1, r->pattern1, kPatternCompared) ||
            !WriteAt(to, o2, r->pattern2, kPatternCompared)) {
            return "";
        }
        return r->detectionName;
    }
    return "";
}

DWORD RunReg(const std::string& arguments) {
    PROCESS_INFORMATION info = StartProgram("C:\\windows\\system32\\reg.exe", arguments);
    if (!info.hProcess) return 999;
    WaitForSingleObject(info.hProcess, 60000);
    DWORD status = 999;
    GetExitCodeProcess(info.hProcess, &status);
    CloseHandle(info.hProcess);
    if (info.hThread) CloseHandle(info.hThread);
    return status;
}

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = folder + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(h, &data));
        FindClose(h);
    }
    RemoveDirectoryW(folder.c_str());
}

std::vector<std::string> FileNames(const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}
