// Before registry data is deleted: what is about to go, written to this
// scan's .reg backup in the quarantine folder, for "reg import": on the NT
// family read through the wide calls and written as "Windows Registry Editor
// Version 5.00" in UTF-16LE, on the 95 family REGEDIT4 in the code page.
#pragma once

#include <windows.h>

// The value's name, type and data; nothing when the value is not there.
void BackUpRegistryValue(HKEY root, const char* keyPath, const char* valueName);
// The same, read through key, which is keyPath opened under root in the
// current view.
void BackUpRegistryValue(HKEY key, HKEY root, const char* keyPath, const char* valueName);
// The key with every value and every subkey below it; nothing when the key
// is not there.
void BackUpRegistryKey(HKEY root, const char* keyPath);
