// Removes the start-up entries of the known variants and every Run value that
// launches the infected file; each removal is one result line.
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "base/ascii_case.h"
#include "clean/known_entries.h"
#include "clean/win32/path_forms_win.h"
#include "clean/win32/registry_backup_win.h"
#include "clean/win32/system_cleaning_win.h"
#include "scan/report_channel.h"
#include "state/program_state.h"

namespace {

constexpr std::size_t kCheckBufferSize = 1000;
constexpr std::size_t kRunDataBufferSize = 264;
constexpr DWORD kExpandBufferSize = 261;
constexpr DWORD kValueNameCapacity = 16383;

void ReportRemoved(const char* detectionName) {
    ReportRegistryRemoval(detectionName);
}

HKEY RootKey(EntryRoot root) {
    return root == EntryRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

void FurtherRemove(const FurtherRemoval& further, char* buffer) {
    bool removed = false;
    if (further.kind == FurtherRemoval::Key) {
        removed = RemoveRegistryKey(HKEY_CURRENT_USER, further.name);
    } else if (further.kind == FurtherRemoval::ParamsValue) {
        removed = ReadRegistryText(HKEY_CURRENT_USER, kParamsKeyPath, further.name, buffer,
                                   kCheckBufferSize) &&
                  RemoveRegistryValue(HKEY_CURRENT_USER, kParamsKeyPath, further.name);
    }
    if (removed) ReportRemoved(further.reportedAs);
}

void RunCheck(const KnownEntryCheck& check, char* buffer) {
    HKEY root = RootKey(check.root);
    if (!ReadRegistryText(root, check.keyPath, check.valueName, buffer, kCheckBufferSize)) return;
    LowercaseText(buffer);
    bool matched = MatchesEntryForm(buffer, check.form, check.fileName);
    if (!matched && !check.furtherWithoutMatch) return;
    if (matched && RemoveRegistryValue(root, check.keyPath, check.valueName)) {
        ReportRemoved(check.reportedAs);
    }
    for (const FurtherRemoval& further : check.further) FurtherRemove(further, buffer);
}

using RegDeleteKeyExFn = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);

// Report-only: what a scan would have deleted counts as gone, so that each
// value or key is reported once, as when it really goes.
bool FirstReportOnlyRemoval(HKEY root, const char* keyPath, const char* valueName) {
    static std::set<std::string> removed;
    std::string name = std::to_string(reinterpret_cast<std::uintptr_t>(root)) + '|' +
                       std::to_string(RegistryViewFlag()) + '|' + keyPath +
                       (valueName ? std::string("|value ") + valueName : std::string("|key"));
    LowercaseText(&name[0]);
    return removed.insert(name).second;
}

}  // namespace

bool ReadRegistryText(HKEY root, const char* keyPath, const char* valueName, char* buffer,
                      std::size_t bufferSize) {
    if (bufferSize == 0) return false;
    buffer[0] = '\0';
    platform::RegistryKey key = OpenKeyInView(root, keyPath, KEY_READ);
    if (!key) return false;
    DWORD size = 0;
    if (RegQueryValueExA(key.Get(), valueName, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) {
        return false;
    }
    // Read whole, then keep what fits: the data may be longer than the
    // buffer, and need not end with a zero.
    std::vector<char> data(size + 1u, '\0');
    DWORD got = size;
    if (RegQueryValueExA(key.Get(), valueName, nullptr, nullptr,
                         reinterpret_cast<BYTE*>(data.data()), &got) != ERROR_SUCCESS) {
        return false;
    }
    std::size_t keep = got < bufferSize - 1 ? got : bufferSize - 1;
    std::memcpy(buffer, data.data(), keep);
    buffer[keep] = '\0';
    return true;
}

bool RemoveRegistryValue(HKEY root, const char* keyPath, const char* valueName) {
    platform::RegistryKey key = OpenKeyInView(root, keyPath, KEY_ALL_ACCESS);
    if (!key) return false;
    if (platform::ReportOnly()) {
        return RegQueryValueExA(key.Get(), valueName, nullptr, nullptr, nullptr, nullptr) ==
                   ERROR_SUCCESS &&
               FirstReportOnlyRemoval(root, keyPath, valueName);
    }
    BackUpRegistryValue(root, keyPath, valueName);
    return RegDeleteValueA(key.Get(), valueName) == ERROR_SUCCESS;
}

bool RemoveRegistryKey(HKEY root, const char* keyPath) {
    if (platform::ReportOnly()) {
        return OpenKeyInView(root, keyPath, KEY_READ) &&
               FirstReportOnlyRemoval(root, keyPath, nullptr);
    }
    BackUpRegistryKey(root, keyPath);
    REGSAM view = RegistryViewFlag();
    if (view) {
        // Only RegDeleteKeyExA deletes in the 64-bit view; it exists where WOW64 does.
        HMODULE advapi = GetModuleHandleA("advapi32.dll");
        auto deleteEx = advapi ? reinterpret_cast<RegDeleteKeyExFn>(reinterpret_cast<void*>(
                                     GetProcAddress(advapi, "RegDeleteKeyExA")))
                               : nullptr;
        if (deleteEx) return deleteEx(root, keyPath, view, 0) == ERROR_SUCCESS;
    }
    return RegDeleteKeyA(root, keyPath) == ERROR_SUCCESS;
}

int SweepKnownStartupEntries() {
    char buffer[kCheckBufferSize];
    REGSAM views[2];
    const int viewCount = MachineRegistryViews(views);
    for (const KnownEntryCheck& check : KnownEntryChecks) {
        if (check.root == EntryRoot::CurrentUser) {
            RunCheck(check, buffer);
            continue;
        }
        for (int v = 0; v < viewCount; ++v) {
            RegistryViewScope view(views[v]);
            RunCheck(check, buffer);
        }
    }
    if (CurrentFilePath[0] != '\0') {
        for (int v = 0; v < viewCount; ++v) {
            RegistryViewScope view(views[v]);
            SweepRunKeyForFile(HKEY_LOCAL_MACHINE, kRunKeyPath);
        }
        SweepRunKeyForFile(HKEY_CURRENT_USER, kRunKeyPath);
    }
    return 1;
}

void SweepRunKeyForFile(HKEY root, const char* keyPath) {
    platform::RegistryKey key = OpenKeyInView(root, keyPath, KEY_READ);
    if (!key) return;
    DWORD count = 0;
    if (RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
        count == 0) {
        return;
    }
    std::vector<char> name(kValueNameCapacity + 1);
    char data[kRunDataBufferSize];
    char expanded[kExpandBufferSize];
    DWORD removed = 0;
    // A value may name the file by its long or its short path, whichever
    // form the scan opened it by.
    LowercaseText(CurrentFilePath);
    const PathForms forms = FormsOfPath(CurrentFilePath);
    for (DWORD i = 0; i < count; ++i) {
        DWORD nameLength = kValueNameCapacity + 1;
        // Deleted values let the later ones slide down by one index each.
        if (RegEnumValueA(key.Get(), i - removed, name.data(), &nameLength, nullptr, nullptr,
                          nullptr, nullptr) != ERROR_SUCCESS) {
            continue;
        }
        if (!std::strchr(CurrentFilePath, '\\')) return;
        if (!ReadRegistryText(root, keyPath, name.data(), data, sizeof data)) continue;
        LowercaseText(data);
        LowercaseText(CurrentFilePath);
        DWORD needed = ExpandEnvironmentStringsA(data, expanded, kExpandBufferSize);
        if (needed == 0) continue;
        // An expansion that did not fit leaves the buffer undefined: compare
        // the command line as written only.
        if (needed > kExpandBufferSize) expanded[0] = '\0';
        LowercaseText(expanded);
        if (CurrentFilePath[0] == '\0') return;
        bool launches = RunValueMatches(data, expanded, CurrentFilePath) ||
                        RunValueMatches(data, expanded, forms.shortForm.c_str()) ||
                        RunValueMatches(data, expanded, forms.longForm.c_str()) ||
                        WideRunValueLaunches(key.Get(), name.data(), forms);
        if (launches && RemoveRegistryValue(root, keyPath, name.data())) {
            ReportRemoved(kRunSweepDetectionName);
            // Report-only deletes nothing: the values stay where they are.
            if (!platform::ReportOnly()) ++removed;
        }
    }
}
