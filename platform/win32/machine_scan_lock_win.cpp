#include "platform/win32/machine_scan_lock_win.h"

#include <windows.h>

namespace platform {

const char* MachineScanLockName() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    const bool namespaces = GetVersionExA(&version) &&
                            version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
                            version.dwMajorVersion >= 5;
    return namespaces ? "Global\\Quellix.OneScanPerMachine" : "Quellix.OneScanPerMachine";
}

bool MachineScanLock::Take() {
    if (handle_) return true;
    HANDLE mutex = CreateMutexA(nullptr, FALSE, MachineScanLockName());
    // A mutex made by an account whose rights this one lacks (a start-up
    // script's SYSTEM) is refused: that scan is running. Any other failure
    // (no such namespace) must not keep every scan from running.
    if (!mutex) return GetLastError() != ERROR_ACCESS_DENIED;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    handle_ = mutex;
    return true;
}

MachineScanLock::~MachineScanLock() {
    if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
}

}  // namespace platform
