#include "clean/win32/live_registry_store_win.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <set>
#include <vector>

#include "base/ascii_case.h"
#include "clean/win32/path_forms_win.h"
#include "clean/win32/registry_backup_win.h"
#include "clean/win32/system_cleaning_win.h"

namespace {

constexpr DWORD kValueNameCapacity = 16383;

// A service's keys in both control sets, each subkey before its key, spelled
// as they are backed up and logged.
const char* const kServiceKeyFormats[2][3] = {
    {"SYSTEM\\ControlSet001\\Services\\%s\\Enum", "SYSTEM\\ControlSet001\\Services\\%s\\Security",
     "SYSTEM\\ControlSet001\\Services\\%s"},
    {"SYSTEM\\CONTROLSET002\\SERVICES\\%s\\Enum", "SYSTEM\\ControlSet002\\Services\\%s\\Security",
     "SYSTEM\\ControlSet002\\Services\\%s"},
};
constexpr std::size_t kServiceKeyCapacity = 512;

HKEY RootKey(EntryRoot root) {
    return root == EntryRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

// The view a store call works in; 0: the one current at the call.
class ViewFor {
public:
    explicit ViewFor(REGSAM view) {
        if (view != 0) scope_.emplace(view);
    }

private:
    std::optional<RegistryViewScope> scope_;
};

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

bool ReadValueText(HKEY key, const char* valueName, std::size_t capacity, std::string& text) {
    text.clear();
    if (capacity == 0) return false;
    DWORD size = 0;
    if (RegQueryValueExA(key, valueName, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) {
        return false;
    }
    // Read whole, then keep what fits: the data may be longer than the
    // buffer, and need not end with a zero.
    std::vector<char> data(size + 1u, '\0');
    DWORD got = size;
    if (RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()),
                         &got) != ERROR_SUCCESS) {
        return false;
    }
    const std::size_t keep = got < capacity - 1 ? got : capacity - 1;
    text.assign(data.data(), strnlen(data.data(), keep));
    return true;
}

bool RemoveOpenValue(HKEY key, HKEY root, const char* keyPath, const char* valueName) {
    if (platform::ReportOnly()) {
        return RegQueryValueExA(key, valueName, nullptr, nullptr, nullptr, nullptr) ==
                   ERROR_SUCCESS &&
               FirstReportOnlyRemoval(root, keyPath, valueName);
    }
    BackUpRegistryValue(key, root, keyPath, valueName);
    return RegDeleteValueA(key, valueName) == ERROR_SUCCESS;
}

class LiveKey : public RegistryStore::Key {
public:
    LiveKey(platform::RegistryKey key, bool writable, HKEY root, std::string path, REGSAM view)
        : key_(std::move(key)),
          writable_(writable),
          root_(root),
          path_(std::move(path)),
          view_(view) {}

    bool ReadText(const std::string& name, std::size_t capacity, std::string& text) override {
        ViewFor view(view_);
        return ReadValueText(key_.Get(), name.c_str(), capacity, text);
    }

    std::vector<RegistryStore::Value> Values(std::size_t capacity) override {
        ViewFor view(view_);
        std::vector<RegistryStore::Value> values;
        DWORD count = 0;
        if (RegQueryInfoKeyA(key_.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             &count, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            return values;
        }
        std::vector<char> name(kValueNameCapacity + 1);
        for (DWORD i = 0; i < count; ++i) {
            DWORD nameLength = kValueNameCapacity + 1;
            if (RegEnumValueA(key_.Get(), i, name.data(), &nameLength, nullptr, nullptr, nullptr,
                              nullptr) != ERROR_SUCCESS) {
                continue;
            }
            RegistryStore::Value value;
            value.name = name.data();
            value.place = i;
            if (ReadValueText(key_.Get(), name.data(), capacity, value.text)) {
                values.push_back(std::move(value));
            }
        }
        return values;
    }

    bool LaunchesInUtf16(const RegistryStore::Value& value, const std::string& utf8Path) override {
        PathForms forms;
        forms.longUtf8 = utf8Path;
        return WideRunValueLaunches(key_.Get(), value.name.c_str(), forms);
    }

    StoreRemoval RemoveValue(const std::string& name) override {
        ViewFor view(view_);
        StoreRemoval removal;
        removal.what = path_ + "\\\"" + name + "\"";
        // Left: read, but the key may not be changed or the deletion failed
        // (the scan reports only what went).
        const bool removed =
            writable_ && RemoveOpenValue(key_.Get(), root_, path_.c_str(), name.c_str());
        removal.state = removed ? StoreRemoval::Removed : StoreRemoval::Left;
        return removal;
    }

    std::vector<StoreRemoval> RemoveValues(
        const std::vector<RegistryStore::Value>& values) override {
        std::vector<StoreRemoval> removals;
        for (const RegistryStore::Value& value : values)
            removals.push_back(RemoveValue(value.name));
        return removals;
    }

private:
    platform::RegistryKey key_;
    bool writable_;
    HKEY root_;
    std::string path_;
    REGSAM view_;
};

using RegDeleteKeyExFn = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);

}  // namespace

bool ReadRegistryText(HKEY root, const char* keyPath, const char* valueName, char* buffer,
                      std::size_t bufferSize) {
    if (bufferSize == 0) return false;
    buffer[0] = '\0';
    platform::RegistryKey key = OpenKeyInView(root, keyPath, KEY_READ);
    std::string text;
    if (!key || !ReadValueText(key.Get(), valueName, bufferSize, text)) return false;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

bool RemoveRegistryValue(HKEY root, const char* keyPath, const char* valueName) {
    platform::RegistryKey key = OpenKeyInView(root, keyPath, KEY_ALL_ACCESS);
    return key && RemoveOpenValue(key.Get(), root, keyPath, valueName);
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

void LiveRegistryStore::UseMachineViews() {
    machineViews_ = true;
    viewCount_ = MachineRegistryViews(views_);
}

int LiveRegistryStore::Views(EntryRoot root) const {
    return root == EntryRoot::LocalMachine ? viewCount_ : 1;
}

REGSAM LiveRegistryStore::ViewFlag(EntryRoot root, int view) const {
    if (!machineViews_ || root != EntryRoot::LocalMachine || view < 0 || view >= viewCount_) {
        return 0;
    }
    return views_[view];
}

std::unique_ptr<RegistryStore::Key> LiveRegistryStore::Open(EntryRoot root, int view,
                                                            const std::string& path) {
    const REGSAM flag = ViewFlag(root, view);
    ViewFor scope(flag);
    // Opened once for reading, backing up and deleting; a key that may be
    // read but not changed is read only.
    bool writable = true;
    platform::RegistryKey key = OpenKeyInView(RootKey(root), path.c_str(), KEY_ALL_ACCESS);
    if (!key) {
        writable = false;
        key = OpenKeyInView(RootKey(root), path.c_str(), KEY_READ);
    }
    if (!key) return nullptr;
    return std::make_unique<LiveKey>(std::move(key), writable, RootKey(root), path, flag);
}

StoreRemoval LiveRegistryStore::RemoveKey(EntryRoot root, int view, const std::string& path) {
    ViewFor scope(ViewFlag(root, view));
    StoreRemoval removal;
    removal.what = path;
    if (RemoveRegistryKey(RootKey(root), path.c_str())) removal.state = StoreRemoval::Removed;
    return removal;
}

std::vector<RegistryStore::ServiceKeys> LiveRegistryStore::ServiceKeysOf(
    const std::string& serviceName) {
    std::vector<ServiceKeys> sets;
    for (const auto& formats : kServiceKeyFormats) {
        std::string paths[3];
        for (int i = 0; i < 3; ++i) {
            char path[kServiceKeyCapacity];
            const int n = std::snprintf(path, sizeof path, formats[i], serviceName.c_str());
            // A name too long for the buffer names no key of ours.
            if (n >= 0 && n < static_cast<int>(sizeof path)) paths[i] = path;
        }
        ServiceKeys keys;
        keys.key = paths[2];
        for (int i = 0; i < 2; ++i) {
            if (!paths[i].empty()) keys.subkeys.push_back(paths[i]);
        }
        if (!keys.key.empty() || !keys.subkeys.empty()) sets.push_back(keys);
    }
    return sets;
}

std::vector<StoreRemoval> LiveRegistryStore::RemoveKeyWith(const ServiceKeys& keys) {
    std::vector<StoreRemoval> removals(1);
    for (const std::string& subkey : keys.subkeys) {
        removals.push_back(RemoveKey(EntryRoot::LocalMachine, 0, subkey));
    }
    if (!keys.key.empty()) removals[0] = RemoveKey(EntryRoot::LocalMachine, 0, keys.key);
    return removals;
}

RegistryStore::Expansion LiveRegistryStore::Expand(const std::string& text, std::size_t capacity,
                                                   std::string& out) {
    std::vector<char> expanded(capacity, '\0');
    const DWORD needed =
        ExpandEnvironmentStringsA(text.c_str(), expanded.data(), static_cast<DWORD>(capacity));
    if (needed == 0) return Expansion::Failed;
    // An expansion that did not fit leaves the buffer undefined.
    if (needed > capacity) return Expansion::TooLong;
    out.assign(expanded.data(), strnlen(expanded.data(), capacity));
    return Expansion::Done;
}
