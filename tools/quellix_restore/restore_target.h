// Where the restore tool finds the system drive and where it writes: the two
// sides of the system (Windows, or a mounted disk on the host).
#pragma once

#include <cstdio>
#include <string>

// Windows: the drive Windows lives on; root must not be given. Host: root is
// needed and becomes C:. False (with a message on err) when it cannot be used.
bool UseSystemDrive(const char* root, std::FILE* err);

// nullptr when a --to PATH names a place the tool may write (Windows: as an
// item's original path; host: an absolute host path without "." or "..",
// control characters, or the mounted records folder); else why not.
const char* WhyNoTarget(const char* to);

class RestoreTarget {
public:
    // path: the item's original Windows path, or the user's --to PATH (on the
    // host a path of the host), both judged already. False when it names no
    // place to write, or when a folder on its way is a link (junction,
    // symbolic link or mount point): the tool writes nowhere a link leads.
    bool Set(const char* path, bool givenByUser);
    // The Windows path the file operations use, and how the messages name it.
    const char* windowsPath() const { return windowsPath_.c_str(); }
    const char* shown() const { return shown_.c_str(); }

private:
    std::string windowsPath_;
    std::string shown_;
};
