// Text of a registry backup that "reg import" and a double-click on the file
// read: one key line, then one line per value. REGEDIT4 is text in the
// system's code page (all the 95 family has); "Windows Registry Editor
// Version 5.00" is UTF-16 and holds any name and any text exactly.
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
constexpr std::uint32_t kRegQword = 11;

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

// --- Windows Registry Editor Version 5.00 ------------------------------------
// The text is built as UTF-16 code units. Reg5FileBytes gives the form "reg
// import" and regedit read (UTF-16LE after a byte order mark); Utf8FromUtf16
// gives the form hivexregedit --merge reads (it reads the file in the local
// encoding and takes the "Windows Registry Editor Version" line as a header).
// Both read every line the same, because text data is written in quotes only
// when it is printable ASCII, and as the UTF-16LE bytes in hex otherwise.

// "Windows Registry Editor Version 5.00" and a blank line: the start of a
// file whose comment lines the caller writes.
std::u16string Reg5Header();

// Reg5Header and comment lines saying what the scan's backup file is.
std::u16string Reg5FileStart(const char* createdAt);

// As RegKeyName, for a key path in UTF-16.
std::u16string Reg5KeyName(const char* rootName, const std::u16string& keyPath, bool view32);

// "[name]" and its line end, after a blank line.
std::u16string Reg5KeyLine(const std::u16string& keyName);

// A name a line can hold: no control characters. Any other code unit,
// surrogates included, is written as it is.
bool IsWritableReg5Name(const std::u16string& name);

// One value: "name"=... or, for the empty name, @=... (the key's default
// value). data is the value's bytes exactly as the registry holds them
// (UTF-16LE for the text types). REG_SZ that is printable ASCII ending in
// one zero is written as a string, a 4-byte REG_DWORD as dword:, everything
// else as hex bytes (hex: or hex(type):, empty data as nothing after the
// colon) so that the bytes come back exactly. A name that is not writable
// becomes a comment saying so.
std::u16string Reg5ValueLine(const std::u16string& valueName, std::uint32_t type,
                             const std::uint8_t* data, std::size_t length);

// A comment line (";" and the text; line breaks in text become blanks). The
// text is ASCII or UTF-8.
std::u16string Reg5CommentLine(const std::string& text);

// The file's bytes: the byte order mark when asked for, then every code unit
// little-endian.
std::string Reg5FileBytes(const std::u16string& text, bool withByteOrderMark);

// UTF-8 and UTF-16 conversions; false (and out unspecified) for a lone
// surrogate or bytes that are not UTF-8.
bool Utf8FromUtf16(const std::u16string& text, std::string& out);
bool Utf16FromUtf8(const std::string& text, std::u16string& out);
