// Names that Windows' path rules change on the way from a Win32 path to the
// file system: a trailing dot or blank is dropped, and a device name (CON,
// NUL, COM1...), with or without an extension, opens the device. A file so
// named exists (made through the native calls, or from another system) and
// the normal open reaches another object or none. The NT family reaches it
// as it is through the "\\?\" form of its full path, which Windows passes on
// unparsed; the 95 family has no such form.
#pragma once

#include <cstddef>

namespace platform {

// One name: ends in '.' or ' ' (but is not "." or ".."), or is a device
// name before its first '.', trailing blanks aside.
bool NameNeedsKeptForm(const char* name);
// Some name of a full path ("C:\Dir\trail.exe.") does.
bool PathNeedsKeptForm(const char* path);

// "\\?\" and a drive path ("C:\..." with no '/'), for the wide conversion.
constexpr std::size_t kKeptFormCapacity = 4 + 260;
// false (out empty) when path is no drive path or the form would not fit.
bool MakeKeptForm(const char* path, char (&out)[kKeptFormCapacity]);

}  // namespace platform
