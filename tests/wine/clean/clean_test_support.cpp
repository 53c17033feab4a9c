#include "tests/wine/clean/clean_test_support.h"

#include <gtest/gtest.h>

#include "clean/win32/system_cleaning_win.h"
#include "scan/report_channel.h"

namespace {

std::vector<std::string> lines;

LRESULT CALLBACK RecordLines(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == MSG_ADD_RESULT) {
        lines.emplace_back(LineBuffer);
        return 0;
    }
    if (message == MSG_SET_STATUS) return 0;
    return DefWindowProcA(window, message, wParam, lParam);
}

// Whatever a test does, nothing may restart the machine or end the program.
std::vector<std::pair<UINT, DWORD>> refusedRestarts;
BOOL WINAPI RefuseRestart(UINT flags, DWORD reason) {
    refusedRestarts.emplace_back(flags, reason);
    return FALSE;
}
void WINAPI RefuseExit(UINT) {}

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

const std::vector<std::string>& SentLines() { return lines; }
void ClearLines() { lines.clear(); }

HWND LineSink() {
    static HWND sink = [] {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = RecordLines;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "QuellixCleanLineSink";
        RegisterClassA(&wc);
        return CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               wc.hInstance, nullptr);
    }();
    return sink;
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
        if (RegEnumKeyExA(k, 0, sub, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
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
        if (RegEnumValueA(k, i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
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
    WaitForInputIdle(info.hProcess, 200);
    Sleep(300);  // let it map its image before anyone lists it
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

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
