// Before registry data is deleted: what is about to go, written to this
// scan's .reg backup in the quarantine folder (REGEDIT4, for "reg import").
#pragma once

#include <windows.h>

// The value's name, type and data; nothing when the value is not there.
void BackUpRegistryValue(HKEY root, const char* keyPath, const char* valueName);
// The key with every value and every subkey below it; nothing when the key
// is not there.
void BackUpRegistryKey(HKEY root, const char* keyPath);
