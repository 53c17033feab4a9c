// Directory search over a mapped host directory. Entries come in the order
// NTFS lists them: "." and ".." first, then by upper-cased name.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/directory_search.h"
#include "platform/host/host_control.h"
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

void AddEntry(std::vector<FoundEntry>& out, const char* name, bool isDirectory) {
    FoundEntry e{};
    size_t len = std::strlen(name);
    if (len >= sizeof e.name) return;  // no Windows name is that long
    std::memcpy(e.name, name, len + 1);
    e.isDirectory = isDirectory;
    out.push_back(e);
}

}  // namespace

bool DirectorySearch::First(const char* pattern, FoundEntry& entry) {
    Close();
    const char* lastSlash = std::strrchr(pattern, '\\');
    if (!lastSlash) return false;
    std::string directoryPart(pattern, lastSlash - pattern);
    const char* namePattern = lastSlash + 1;
    bool isRoot = directoryPart.size() == 2 && directoryPart[1] == ':';
    std::string hostDirectory = host::ResolvePath((directoryPart + "\\").c_str());
    if (hostDirectory.empty() || !IsDirectory(hostDirectory)) return false;

    auto* search = new HostSearch;
    std::vector<FoundEntry> named;
    if (DIR* dir = opendir(hostDirectory.c_str())) {
        while (dirent* d = readdir(dir)) {
            if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
            if (!MatchesWildcard(namePattern, d->d_name)) continue;
            AddEntry(named, d->d_name, IsDirectory(hostDirectory + "/" + d->d_name));
        }
        closedir(dir);
    }
    std::stable_sort(named.begin(), named.end(), [](const FoundEntry& a, const FoundEntry& b) {
        return UpperName(a.name) < UpperName(b.name);
    });
    if (!isRoot) {
        if (MatchesWildcard(namePattern, ".")) AddEntry(search->entries, ".", true);
        if (MatchesWildcard(namePattern, "..")) AddEntry(search->entries, "..", true);
    }
    search->entries.insert(search->entries.end(), named.begin(), named.end());
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
