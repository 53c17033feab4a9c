// Directory search over a mapped host directory. Entries come in the order
// NTFS lists them: "." and ".." first, then by upper-cased name.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/directory_search.h"
#include "platform/host/host_control.h"
#include "platform/host/host_state.h"
#include "platform/wildcard.h"

namespace platform {
namespace {

struct HostSearch {
    std::vector<FoundEntry> entries;
    size_t next = 0;
};

std::string UpperName(const char* name) {
    std::string s(name);
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    return s;
}

bool IsDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The entry's type from the listing itself; only a link (followed, as stat
// does) or a file system that gives no type costs a stat.
bool EntryIsDirectory(const std::string& directory, const dirent* d) {
    switch (d->d_type) {
        case DT_DIR:
            return true;
        case DT_LNK:
        case DT_UNKNOWN:
            return IsDirectory(directory + "/" + d->d_name);
        default:
            return false;
    }
}

bool MakeEntry(const char* name, bool isDirectory, FoundEntry& e) {
    e = FoundEntry{};
    size_t len = std::strlen(name);
    if (len >= sizeof e.name) return false;  // no Windows name is that long
    std::memcpy(e.name, name, len + 1);
    e.isDirectory = isDirectory;
    return true;
}

void AddEntry(std::vector<FoundEntry>& out, const char* name, bool isDirectory) {
    FoundEntry e;
    if (MakeEntry(name, isDirectory, e)) out.push_back(e);
}

// The directory a search pattern's folder part names, open; nullptr when it
// is no directory. An existing directory that cannot be read still lists
// "." and "..", so that case comes back as readable with dir nullptr.
DIR* OpenSearchDirectory(const std::string& windowsDirectory, std::string& hostDirectory,
                         bool& isDirectory) {
    // Opened as written first: a directory that opens so is the one ResolvePath finds.
    hostDirectory = host::detail::ExactHostPath(windowsDirectory.c_str());
    isDirectory = false;
    if (hostDirectory.empty()) return nullptr;
    if (DIR* dir = opendir(hostDirectory.c_str())) {
        isDirectory = true;
        return dir;
    }
    hostDirectory = host::ResolvePath(windowsDirectory.c_str());
    if (hostDirectory.empty() || !IsDirectory(hostDirectory)) return nullptr;
    isDirectory = true;
    return opendir(hostDirectory.c_str());
}

}  // namespace

bool DirectorySearch::First(const char* pattern, FoundEntry& entry) {
    Close();
    const char* lastSlash = std::strrchr(pattern, '\\');
    if (!lastSlash) return false;
    std::string directoryPart(pattern, lastSlash - pattern);
    const char* namePattern = lastSlash + 1;
    bool isRoot = directoryPart.size() == 2 && directoryPart[1] == ':';
    std::string hostDirectory;
    bool isDirectory = false;
    DIR* dir = OpenSearchDirectory(directoryPart + "\\", hostDirectory, isDirectory);
    if (!isDirectory) return false;

    auto* search = new HostSearch;
    // Sorted by the upper-cased name, each key made once.
    std::vector<std::pair<std::string, FoundEntry>> named;
    if (dir) {
        FoundEntry e;
        while (dirent* d = readdir(dir)) {
            if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
            if (!MatchesWildcard(namePattern, d->d_name)) continue;
            if (MakeEntry(d->d_name, EntryIsDirectory(hostDirectory, d), e))
                named.emplace_back(UpperName(d->d_name), e);
        }
        closedir(dir);
    }
    std::stable_sort(named.begin(), named.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    if (!isRoot) {
        if (MatchesWildcard(namePattern, ".")) AddEntry(search->entries, ".", true);
        if (MatchesWildcard(namePattern, "..")) AddEntry(search->entries, "..", true);
    }
    search->entries.reserve(search->entries.size() + named.size());
    for (const auto& n : named) search->entries.push_back(n.second);
    state_ = search;
    return Next(entry);
}

bool DirectorySearch::Next(FoundEntry& entry) {
    auto* search = static_cast<HostSearch*>(state_);
    if (!search || search->next >= search->entries.size()) return false;
    entry = search->entries[search->next++];
    return true;
}

void DirectorySearch::Close() {
    delete static_cast<HostSearch*>(state_);
    state_ = nullptr;
}

}  // namespace platform
