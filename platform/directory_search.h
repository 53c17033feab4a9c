// Directory search with FindFirstFileA/FindNextFileA semantics: a pattern is a
// directory followed by a wildcard name ("C:\Dir\*.*", "C:\Dir\prog.*") or one
// file's full path; "." and ".." are listed for every directory but a root.
#pragma once

namespace platform {

struct FoundEntry {
    // The name that opens the entry: its long name, or on Windows its short
    // (8.3) name when the ANSI code page cannot spell the long one.
    char name[260];
    bool isDirectory;
    // Neither name can be spelled in a narrow string: the entry cannot be
    // opened, and name holds the long name as the code page mangles it.
    bool unreachable = false;
    // A junction, symbolic link or mount point (Windows); the host lists no links.
    bool isReparsePoint = false;
    // Windows: the short (8.3) name the listing gives, when there is one and
    // it differs from name; "" otherwise, as always on the host.
    char shortName[14] = {};
};

// A long name of up to 259 UTF-16 units as UTF-8, with its NUL.
constexpr int kLongNameCapacity = 259 * 3 + 1;

class DirectorySearch {
public:
    DirectorySearch() = default;
    DirectorySearch(const DirectorySearch&) = delete;
    DirectorySearch& operator=(const DirectorySearch&) = delete;
    ~DirectorySearch() { Close(); }

    // Starts the search; false when nothing matches or the pattern cannot be read.
    bool First(const char* pattern, FoundEntry& entry);
    bool Next(FoundEntry& entry);
    void Close();
    // The last entry's long name in UTF-8 when its name is not that name
    // (a short name, or unreachable); otherwise "", as always on the host.
    const char* LongName() const { return longName_; }
    // After a First that found nothing: the folder could not be read (access
    // denied, a read error), as against empty or gone. Windows only: the host
    // reports such folders itself (host/host_control.h).
    bool Unreadable() const { return unreadable_; }

private:
    void* state_ = nullptr;
    bool unreadable_ = false;
    char longName_[kLongNameCapacity] = {};
};

// The walker's two questions to the platform, which keep a walk inside its
// folders and make it end.
// Before a folder is walked (pattern "C:\Dir\*.*"): false when the same
// folder (by its identity) was walked already in this walk, reached again
// another way. newWalk: the driver starts a walk here (a drive's root,
// "\Program Files").
bool BeginFolderWalk(const char* pattern, bool newWalk);
// An entry of pattern's folder left out because its path would not fit a
// 260-character path: true when the platform told it (the host's walk
// problems); false when the walker is to (Windows).
bool NoteEntryTooLong(const char* pattern, const char* name);
// pattern ("C:\Long folder\*.*") with its folder in short (8.3) names where
// they exist, for a path the long names make too long; false where there are
// none (the host) or it cannot be told.
bool ShortFolderPattern(const char* pattern, char (&out)[260]);

}  // namespace platform
