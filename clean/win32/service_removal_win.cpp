// A worm that runs as a service: stop it through the service manager, and
// delete its keys from both control sets so that it does not start again.
#include <cstdio>

#include "clean/win32/system_cleaning_win.h"

DWORD StopServiceWaitLimitMs = 30000;

namespace {

constexpr DWORD kAllAccess = 0xF003F;
constexpr DWORD kPollIntervalMs = 1000;

class ServiceHandle {
public:
    explicit ServiceHandle(SC_HANDLE handle) : handle_(handle) {}
    ~ServiceHandle() {
        if (handle_) CloseServiceHandle(handle_);
    }
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
    SC_HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    SC_HANDLE handle_;
};

const char* const kServiceKeyFormats[6] = {
    "SYSTEM\\ControlSet001\\Services\\%s\\Enum",
    "SYSTEM\\ControlSet001\\Services\\%s\\Security",
    "SYSTEM\\ControlSet001\\Services\\%s",
    "SYSTEM\\CONTROLSET002\\SERVICES\\%s\\Enum",
    "SYSTEM\\ControlSet002\\Services\\%s\\Security",
    "SYSTEM\\ControlSet002\\Services\\%s",
};

}  // namespace

int StopService(const char* serviceName) {
    ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, kAllAccess));
    if (!manager) return 0;
    ServiceHandle service(OpenServiceA(manager.get(), serviceName, kAllAccess));
    if (!service) return 0;
    SERVICE_STATUS status = {};
    if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) return 0;
    if (!QueryServiceStatus(service.get(), &status)) return 0;
    // A service that never leaves stop-pending must not hold the scan forever.
    DWORD waited = 0;
    while (status.dwCurrentState == SERVICE_STOP_PENDING) {
        if (waited >= StopServiceWaitLimitMs) return 0;
        Sleep(kPollIntervalMs);
        waited += kPollIntervalMs;
        if (!QueryServiceStatus(service.get(), &status)) return 0;
    }
    return status.dwCurrentState == SERVICE_STOPPED ? 1 : 0;
}

int DeleteServiceKeys(const char* serviceName) {
    int deleted = 0;
    for (const char* format : kServiceKeyFormats) {
        char key[512];
        int n = std::snprintf(key, sizeof key, format, serviceName);
        // A name too long for the buffer names no key of ours.
        if (n < 0 || n >= static_cast<int>(sizeof key)) continue;
        if (RemoveRegistryKey(HKEY_LOCAL_MACHINE, key)) deleted = 1;
    }
    return deleted;
}
