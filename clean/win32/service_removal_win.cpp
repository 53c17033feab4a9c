// A worm that runs as a service: stop it through the service manager, and
// delete its keys from both control sets so that it does not start again;
// but only a service whose binary is the worm's file.
#include <string>
#include <vector>

#include "clean/registry_rules.h"
#include "clean/service_image.h"
#include "clean/win32/live_registry_store_win.h"
#include "clean/win32/system_cleaning_win.h"

DWORD StopServiceWaitLimitMs = 30000;

namespace {

constexpr DWORD kAllAccess = 0xF003F;
constexpr DWORD kPollIntervalMs = 1000;

using platform::ServiceHandle;

// QueryServiceConfigA answers in at most 8 KB.
constexpr DWORD kServiceConfigLimit = 8192;
constexpr DWORD kImagePathLimit = 32768;

using QueryServiceConfigFn = BOOL(WINAPI*)(SC_HANDLE, LPQUERY_SERVICE_CONFIGA, DWORD, LPDWORD);

// The binary path as the service manager holds it; empty when it does not
// know the service. QueryServiceConfigA is looked up at run time, so that no
// import of it stands in the way of the 95 family, which has no services.
std::vector<char> ConfiguredBinaryPath(const char* serviceName) {
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    auto queryServiceConfig =
        advapi ? reinterpret_cast<QueryServiceConfigFn>(
                     reinterpret_cast<void*>(GetProcAddress(advapi, "QueryServiceConfigA")))
               : nullptr;
    if (!queryServiceConfig) return {};
    ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return {};
    ServiceHandle service(OpenServiceA(manager.Get(), serviceName, SERVICE_QUERY_CONFIG));
    if (!service) return {};
    DWORD needed = 0;
    queryServiceConfig(service.Get(), nullptr, 0, &needed);
    if (needed == 0 || needed > kServiceConfigLimit) return {};
    std::vector<char> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    if (!queryServiceConfig(service.Get(), config, needed, &needed) || !config->lpBinaryPathName) {
        return {};
    }
    const char* path = config->lpBinaryPathName;
    return std::vector<char>(path, path + lstrlenA(path) + 1);
}

// The ImagePath value of the service's key in the first control set that has
// one; empty when none has.
std::vector<char> RegisteredImagePath(const char* serviceName) {
    LiveRegistryStore store;
    for (const RegistryStore::ServiceKeys& keys : store.ServiceKeysOf(serviceName)) {
        // A name too long for a key path names no service of ours.
        if (keys.key.empty()) return {};
        platform::RegistryKey key = OpenKeyInView(HKEY_LOCAL_MACHINE, keys.key.c_str(), KEY_READ);
        if (!key) continue;
        DWORD type = 0;
        DWORD size = 0;
        std::vector<char> data;
        if (RegQueryValueExA(key.Get(), "ImagePath", nullptr, &type, nullptr, &size) ==
                ERROR_SUCCESS &&
            (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0 && size < kImagePathLimit) {
            data.assign(size + 1u, '\0');  // the data need not end with a zero
            DWORD got = size;
            if (RegQueryValueExA(key.Get(), "ImagePath", nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(data.data()), &got) != ERROR_SUCCESS) {
                data.clear();
            }
        }
        if (!data.empty()) return data;
    }
    return {};
}

std::vector<char> ExpandedText(const char* text) {
    DWORD needed = ExpandEnvironmentStringsA(text, nullptr, 0);
    if (needed == 0 || needed > kImagePathLimit) return {};
    std::vector<char> out(needed + 1u, '\0');
    DWORD got = ExpandEnvironmentStringsA(text, out.data(), needed + 1u);
    if (got == 0 || got > needed + 1u) return {};
    return out;
}

ImageCandidate LookAtCandidate(const char* candidate, void* infectedPath) {
    DWORD attributes = GetFileAttributesA(candidate);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return ImageCandidate::Missing;
    }
    return SameFile(candidate, static_cast<const char*>(infectedPath)) ? ImageCandidate::TheFile
                                                                       : ImageCandidate::OtherFile;
}

}  // namespace

bool ServiceRunsFile(const char* serviceName, const char* path) {
    std::vector<char> binaryPath = ConfiguredBinaryPath(serviceName);
    if (binaryPath.empty()) binaryPath = RegisteredImagePath(serviceName);
    if (binaryPath.empty()) return false;
    std::vector<char> expanded = ExpandedText(binaryPath.data());
    if (expanded.empty()) return false;
    char systemRoot[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableA("SystemRoot", systemRoot, sizeof systemRoot);
    if (n == 0 || n >= sizeof systemRoot) {
        n = GetWindowsDirectoryA(systemRoot, sizeof systemRoot);
        if (n == 0 || n >= sizeof systemRoot) systemRoot[0] = '\0';
    }
    return ServiceBinaryIsFile(expanded.data(), systemRoot, LookAtCandidate,
                               const_cast<char*>(path));
}

int StopService(const char* serviceName) {
    ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, kAllAccess));
    if (!manager) return 0;
    ServiceHandle service(OpenServiceA(manager.Get(), serviceName, kAllAccess));
    if (!service) return 0;
    if (platform::ReportOnly()) return 1;
    SERVICE_STATUS status = {};
    if (!ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) return 0;
    if (!QueryServiceStatus(service.Get(), &status)) return 0;
    // A service that never leaves stop-pending must not hold the scan forever.
    DWORD waited = 0;
    while (status.dwCurrentState == SERVICE_STOP_PENDING) {
        if (waited >= StopServiceWaitLimitMs) return 0;
        Sleep(kPollIntervalMs);
        waited += kPollIntervalMs;
        if (!QueryServiceStatus(service.Get(), &status)) return 0;
    }
    return status.dwCurrentState == SERVICE_STOPPED ? 1 : 0;
}

int DeleteServiceKeys(const char* serviceName) {
    LiveRegistryStore store;
    // Service keys make no result line.
    const RemovalNote silent = [](const char*, const std::string&, bool) {};
    return RemoveServiceKeys(store, serviceName, nullptr, nullptr, silent) ? 1 : 0;
}
