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

// --- The NT family: the wide calls, "Windows Registry Editor Version 5.00" ---
// The narrow calls give names and text in the code page, which cannot hold
// every character; the wide ones give them as the registry keeps them.

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");

const wchar_t* WideText(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

// A narrow name as the narrow calls would take it (they convert with the
// code page); false when it cannot be converted.
bool FromCodePage(const char* text, std::u16string& out) {
    const int size = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (size <= 0) return false;
    std::vector<wchar_t> wide(static_cast<std::size_t>(size));
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), size) != size) return false;
    out.assign(wide.begin(), wide.end() - 1);
    return true;
}

platform::RegistryKey OpenKeyInViewWide(HKEY root, const std::u16string& path) {
    platform::RegistryKey key;
    key.KeepIf(RegOpenKeyExW(root, WideText(path), 0, KEY_READ | RegistryViewFlag(),
                             key.Receive()) == ERROR_SUCCESS);
    return key;
}

// Data that grows between the size query and the read is asked for again.
constexpr int kReadAttempts = 4;

bool ReadValueWide(HKEY key, const std::u16string& name, DWORD& type, std::vector<BYTE>& data) {
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        DWORD size = 0;
        if (RegQueryValueExW(key, WideText(name), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS) {
            return false;
        }
        data.assign(size + 2u, 0);
        DWORD got = size;
        const LONG read = RegQueryValueExW(key, WideText(name), nullptr, &type, data.data(), &got);
        if (read == ERROR_MORE_DATA) continue;
        if (read != ERROR_SUCCESS) return false;
        data.resize(got < size ? got : size);
        return true;
    }
    return false;
}

// Value i's name, type and data in one call, so that a name the by-name
// calls could not find again (one with a zero in it) is still read whole.
bool EnumValueWide(HKEY key, DWORD index, std::vector<wchar_t>& nameBuffer, std::u16string& name,
                   DWORD& type, std::vector<BYTE>& data) {
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        DWORD nameLength = static_cast<DWORD>(nameBuffer.size());
        DWORD got = static_cast<DWORD>(data.size());
        const LONG read = RegEnumValueW(key, index, nameBuffer.data(), &nameLength, nullptr, &type,
                                        data.data(), &got);
        if (read == ERROR_MORE_DATA) {
            DWORD longest = 0;
            if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, &longest, nullptr, nullptr) != ERROR_SUCCESS) {
                return false;
            }
            data.assign(longest + 2u > data.size() * 2 ? longest + 2u : data.size() * 2, 0);
            continue;
        }
        if (read != ERROR_SUCCESS) return false;
        name.assign(nameBuffer.data(), nameBuffer.data() + nameLength);
        data.resize(got);
        return true;
    }
    return false;
}

void ExportKeyWide(HKEY root, const std::u16string& path, const std::u16string& shownName,
                   int depth, std::u16string& out) {
    platform::RegistryKey key = OpenKeyInViewWide(root, path);
    if (!key) return;
    DWORD subkeys = 0, values = 0, longestSubkey = 0, longestValueData = 0;
    if (RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, &longestSubkey, nullptr,
                         &values, nullptr, &longestValueData, nullptr, nullptr) != ERROR_SUCCESS) {
        return;
    }
    out += Reg5KeyLine(shownName);
    // Value names hold at most 16383 characters.
    std::vector<wchar_t> nameBuffer(16384);
    std::u16string name;
    std::vector<BYTE> data;
    for (DWORD i = 0; i < values && i < kMaxEntries; ++i) {
        DWORD type = 0;
        data.assign(longestValueData + 2u, 0);
        if (!EnumValueWide(key.Get(), i, nameBuffer, name, type, data)) continue;
        out += Reg5ValueLine(name, type, data.data(), data.size());
    }
    if (depth >= kMaxDepth) return;
    std::vector<std::u16string> children;
    std::vector<wchar_t> child(longestSubkey + 2u > 256u ? longestSubkey + 2u : 256u);
    for (DWORD i = 0; i < subkeys && i < kMaxEntries; ++i) {
        DWORD childLength = static_cast<DWORD>(child.size());
        if (RegEnumKeyExW(key.Get(), i, child.data(), &childLength, nullptr, nullptr, nullptr,
                          nullptr) == ERROR_SUCCESS) {
            children.emplace_back(child.data(), child.data() + childLength);
        }
    }
    for (const std::u16string& c : children) {
        if (!IsWritableReg5Name(c)) {
            out += Reg5CommentLine("left out: a subkey whose name holds control characters");
            continue;
        }
        ExportKeyWide(root, path + u"\\" + c, shownName + u"\\" + c, depth + 1, out);
    }
}

bool UseWideCalls() {
    return PlatformClass() == kPlatformNtFamily;
}

constexpr char kUnreadable[] = "it could not be read";

// What is there though it could not be read goes all the same: the log
// says that no backup of it was kept. What is not there is not deleted.
bool ValueIsThere(HKEY root, const char* keyPath, const char* valueName) {
    platform::RegistryKey key;
    const LONG opened =
        RegOpenKeyExA(root, keyPath, 0, KEY_QUERY_VALUE | RegistryViewFlag(), key.Receive());
    key.KeepIf(opened == ERROR_SUCCESS);
    // A key that cannot be opened to look may still be deleted from.
    if (!key) return opened != ERROR_FILE_NOT_FOUND;
    return RegQueryValueExA(key.Get(), valueName, nullptr, nullptr, nullptr, nullptr) !=
           ERROR_FILE_NOT_FOUND;
}

bool KeyIsThere(HKEY root, const char* keyPath) {
    platform::RegistryKey key;
    const LONG opened =
        RegOpenKeyExA(root, keyPath, 0, KEY_QUERY_VALUE | RegistryViewFlag(), key.Receive());
    key.KeepIf(opened == ERROR_SUCCESS);
    return opened != ERROR_FILE_NOT_FOUND;
}

std::string ValueWhat(const char* rootName, const char* keyPath, const char* valueName) {
    return RegKeyName(rootName, keyPath, InThe32BitView()) + ", value \"" + valueName + "\"";
}

std::string KeyWhat(const char* rootName, const char* keyPath) {
    return RegKeyName(rootName, keyPath, InThe32BitView()) + " with its subkeys";
}

void NoteUnreadableValue(HKEY root, const char* rootName, const char* keyPath,
                         const char* valueName) {
    if (ValueIsThere(root, keyPath, valueName)) {
        NoteNoRegistryBackup(ValueWhat(rootName, keyPath, valueName), kUnreadable);
    }
}

void BackUpRegistryValueWide(HKEY key, HKEY root, const char* rootName, const char* keyPath,
                             const char* valueName) {
    std::u16string widePath, wideName;
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!FromCodePage(keyPath, widePath) || !FromCodePage(valueName, wideName) ||
        !ReadValueWide(key, wideName, type, data)) {
        NoteUnreadableValue(root, rootName, keyPath, valueName);
        return;
    }
    std::u16string text = Reg5KeyLine(Reg5KeyName(rootName, widePath, InThe32BitView()));
    text += Reg5ValueLine(wideName, type, data.data(), data.size());
    KeepRegistryBackup(ValueWhat(rootName, keyPath, valueName), Reg5FileBytes(text, false),
                       RegFileFormat::Reg5Utf16);
}

void BackUpRegistryKeyWide(HKEY root, const char* rootName, const char* keyPath) {
    std::u16string widePath;
    std::u16string text;
    if (FromCodePage(keyPath, widePath)) {
        ExportKeyWide(root, widePath, Reg5KeyName(rootName, widePath, InThe32BitView()), 0, text);
    }
    if (text.empty()) {
        if (KeyIsThere(root, keyPath))
            NoteNoRegistryBackup(KeyWhat(rootName, keyPath), kUnreadable);
        return;
    }
    KeepRegistryBackup(KeyWhat(rootName, keyPath), Reg5FileBytes(text, false),
                       RegFileFormat::Reg5Utf16);
}

}  // namespace

// The 95 family has only the narrow calls (the wide ones are stubs there) and
// REGEDIT4 in its code page.
void BackUpRegistryValue(HKEY root, const char* keyPath, const char* valueName) {
    platform::RegistryKey key = OpenKeyInView(root, keyPath, KEY_READ);
    if (key) {
        BackUpRegistryValue(key.Get(), root, keyPath, valueName);
    } else if (const char* rootName = RootName(root)) {
        NoteUnreadableValue(root, rootName, keyPath, valueName);
    }
}

void BackUpRegistryValue(HKEY key, HKEY root, const char* keyPath, const char* valueName) {
    const char* rootName = RootName(root);
    if (!rootName) return;
    if (UseWideCalls()) {
        BackUpRegistryValueWide(key, root, rootName, keyPath, valueName);
        return;
    }
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!ReadValue(key, valueName, type, data)) {
        NoteUnreadableValue(root, rootName, keyPath, valueName);
        return;
    }
    std::string text = RegKeyLine(RegKeyName(rootName, keyPath, InThe32BitView()));
    text += RegValueLine(valueName, type, data.data(), data.size());
    KeepRegistryBackup(ValueWhat(rootName, keyPath, valueName), text);
}

void BackUpRegistryKey(HKEY root, const char* keyPath) {
    const char* rootName = RootName(root);
    if (!rootName) return;
    if (UseWideCalls()) {
        BackUpRegistryKeyWide(root, rootName, keyPath);
        return;
    }
    std::string text;
    ExportKey(root, keyPath, RegKeyName(rootName, keyPath, InThe32BitView()), 0, text);
    if (text.empty()) {
        if (KeyIsThere(root, keyPath))
            NoteNoRegistryBackup(KeyWhat(rootName, keyPath), kUnreadable);
        return;
    }
    KeepRegistryBackup(KeyWhat(rootName, keyPath), text);
}
