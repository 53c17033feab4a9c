// Directory search with FindFirstFileA/FindNextFileA semantics: a pattern is a
// directory followed by a wildcard name ("C:\Dir\*.*", "C:\Dir\prog.*") or one
// file's full path; "." and ".." are listed for every directory but a root.
#pragma once

namespace platform {

struct FoundEntry {
    char name[260];
    bool isDirectory;
};

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

private:
    void* state_ = nullptr;
};

}  // namespace platform
