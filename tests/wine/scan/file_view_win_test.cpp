// A 32-bit build on 64-bit Windows scans with file-system redirection off, so
// that it sees the real System32; window messages dispatched during the scan
// get the usual view back, since the DLLs they may load must be 32-bit ones.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "clean/system_cleaning.h"
#include "scan/scan_driver.h"

namespace {

// The machine field of System32's kernel32.dll as this process sees it now.
unsigned SystemKernelMachine() {
    char path[MAX_PATH];
    UINT n = GetWindowsDirectoryA(path, sizeof path);
    if (n == 0 || n + 32 >= sizeof path) return 0;
    lstrcatA(path, "\\system32\\kernel32.dll");
    FILE* f = std::fopen(path, "rb");
    if (!f) return 0;
    unsigned char head[4096];
    size_t got = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    if (got < 0x40) return 0;
    unsigned pe = head[0x3c] | head[0x3d] << 8 | head[0x3e] << 16 | head[0x3f] << 24;
    if (pe + 6 > got) return 0;
    return head[pe + 4] | head[pe + 5] << 8;
}

unsigned seenDuringDispatch = 0;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) seenDuringDispatch = SystemKernelMachine();
    return DefWindowProcA(window, message, wParam, lParam);
}

bool UnderWow64() {
    using IsWow64Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
    auto isWow64 = reinterpret_cast<IsWow64Fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
    BOOL wow = FALSE;
    return isWow64 && isWow64(GetCurrentProcess(), &wow) && wow;
}

TEST(SystemFileView, MessagesDispatchedDuringTheScanSeeTheUsualSystemFolder) {
    if (!UnderWow64()) GTEST_SKIP() << "a 64-bit build, or no 64-bit Windows: no redirection";
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = RecordingProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "QxFileViewProbe";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    HWND window = CreateWindowA("QxFileViewProbe", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    const unsigned usual = SystemKernelMachine();
    ASSERT_EQ(usual, 0x14cu);

    BeginSystemFileView();
    EXPECT_EQ(SystemKernelMachine(), 0x8664u);  // the real System32
    PostMessageA(window, WM_APP, 0, 0);
    PumpMessages();
    EXPECT_EQ(seenDuringDispatch, usual);
    EXPECT_EQ(SystemKernelMachine(), 0x8664u);  // and back after the pump
    EndSystemFileView();
    EXPECT_EQ(SystemKernelMachine(), usual);
    DestroyWindow(window);
}

}  // namespace
