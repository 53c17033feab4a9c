// Text of a registry backup in the REGEDIT4 format that "reg import" and a
// double-click on the file read: one key line, then one line per value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Value types as Windows numbers them.
constexpr std::uint32_t kRegNone = 0;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegMultiSz = 7;

// "REGEDIT4", a blank line and comment lines saying what the file is.
std::string RegFileStart(const char* createdAt);

// The key's full name as a .reg file writes it ("HKEY_LOCAL_MACHINE\..."). A
// key seen through the 32-bit view of 64-bit Windows is written where that
// view keeps it: HKEY_LOCAL_MACHINE\Software\X becomes
// HKEY_LOCAL_MACHINE\Software\Wow6432Node\X.
std::string RegKeyName(const char* rootName, const char* keyPath, bool view32);

// "[name]" and its line end, after a blank line.
std::string RegKeyLine(const std::string& keyName);

// A key or value name a .reg line can hold: no control characters (REGEDIT4
// has no way to write them, and a line break would end the line early).
bool IsWritableRegName(const char* name);

// One value: "name"=... or @=... for the unnamed value. A value whose name
// is not writable becomes a comment saying so: a name must never be able to
// add lines of its own to the file. Printable text of
// REG_SZ is written as a string, a 4-byte REG_DWORD as dword:, everything
// else as hex bytes (hex: or hex(type):) so that the bytes come back exactly.
std::string RegValueLine(const char* valueName, std::uint32_t type, const std::uint8_t* data,
                         std::size_t length);

// A comment line (";" and the text; line breaks in text become blanks).
std::string RegCommentLine(const std::string& text);
