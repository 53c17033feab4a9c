#include "platform/win32/wow64_win.h"

#include <windows.h>

namespace platform {

bool RunningUnderWow64() {
    static const bool wow64 = [] {
        using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        auto isWow64 = kernel ? reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(
                                    GetProcAddress(kernel, "IsWow64Process")))
                              : nullptr;
        BOOL wow = FALSE;
        return isWow64 && isWow64(GetCurrentProcess(), &wow) && wow;
    }();
    return wow64;
}

}  // namespace platform
