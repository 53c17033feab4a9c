#include "clean/win32/registry_backup_win.h"

#include <string>
#include <vector>

#include "clean/win32/system_cleaning_win.h"
#include "quarantine/quarantine_store.h"
#include "quarantine/reg_text.h"

namespace {

// A tree deeper or wider than this is no worm's: what is past it is left out.
constexpr int kMaxDepth = 32;
constexpr DWORD kMaxEntries = 4096;

const char* RootName(HKEY root) {
    if (root == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
    if (root == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
    if (root == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
    if (root == HKEY_USERS) return "HKEY_USERS";
    return nullptr;
}

// Every key is opened in RegistryViewFlag()'s view, which under WOW64 is
// always an explicit one: only a chosen 32-bit view keeps HKLM\Software under
// Wow6432Node.
bool InThe32BitView() {
    return (RegistryViewFlag() & KEY_WOW64_32KEY) != 0;
}

bool ReadValue(HKEY key, const char* name, DWORD& type, std::vector<BYTE>& data) {
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    data.assign(size + 2u, 0);
    DWORD got = size;
    if (RegQueryValueExA(key, name, nullptr, &type, data.data(), &got) != ERROR_SUCCESS) {
        return false;
    }
    data.resize(got < size ? got : size);
    return true;
}

// The key's own values, then each subkey the same way.
void ExportKey(HKEY root, const std::string& path, const std::string& shownName, int depth,
               std::string& out) {
    platform::RegistryKey key = OpenKeyInView(root, path.c_str(), KEY_READ);
    if (!key) return;
    DWORD subkeys = 0, values = 0, longestSubkey = 0, longestValueName = 0;
    if (RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subkeys, &longestSubkey, nullptr,
                         &values, &longestValueName, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return;
    }
    out += RegKeyLine(shownName);
    // Windows 95 may give no longest length: room for any name then.
    std::vector<char> name(longestValueName + 2u > 16384u ? longestValueName + 2u : 16384u);
    std::vector<BYTE> data;
    for (DWORD i = 0; i < values && i < kMaxEntries; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        if (RegEnumValueA(key.Get(), i, name.data(), &nameLength, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS) {
            continue;
        }
        DWORD type = 0;
        if (!ReadValue(key.Get(), name.data(), type, data)) continue;
        out += RegValueLine(name.data(), type, data.data(), data.size());
    }
    if (depth >= kMaxDepth) return;
    std::vector<std::string> children;
    std::vector<char> child(longestSubkey + 2u > 256u ? longestSubkey + 2u : 256u);
    for (DWORD i = 0; i < subkeys && i < kMaxEntries; ++i) {
        DWORD childLength = static_cast<DWORD>(child.size());
        if (RegEnumKeyExA(key.Get(), i, child.data(), &childLength, nullptr, nullptr, nullptr,
                          nullptr) == ERROR_SUCCESS) {
            children.emplace_back(child.data(), childLength);
        }
    }
    for (const std::string& c : children) {
        if (!IsWritableRegName(c.c_str())) {
            out += RegCommentLine("left out: a subkey whose name holds control characters");
            continue;
        }
        ExportKey(root, path + "\\" + c, shownName + "\\" + c, depth + 1, out);
    }
}

}  // namespace

void BackUpRegistryValue(HKEY root, const char* keyPath, const char* valueName) {
    const char* rootName = RootName(root);
    if (!rootName) return;
    platform::RegistryKey key = OpenKeyInView(root, keyPath, KEY_READ);
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!key || !ReadValue(key.Get(), valueName, type, data)) return;
    const std::string keyName = RegKeyName(rootName, keyPath, InThe32BitView());
    std::string text = RegKeyLine(keyName);
    text += RegValueLine(valueName, type, data.data(), data.size());
    KeepRegistryBackup(keyName + ", value \"" + valueName + "\"", text);
}

void BackUpRegistryKey(HKEY root, const char* keyPath) {
    const char* rootName = RootName(root);
    if (!rootName) return;
    std::string text;
    const std::string keyName = RegKeyName(rootName, keyPath, InThe32BitView());
    ExportKey(root, keyPath, keyName, 0, text);
    if (text.empty()) return;
    KeepRegistryBackup(keyName + " with its subkeys", text);
}
