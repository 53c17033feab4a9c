#include "platform/host/folder_names.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace platform::host {

namespace {

// Calls visit with each name but "." and ".." until it returns false; an
// unlistable folder has no names.
template <typename Visit>
void ListFolder(int folderFd, Visit visit) {
    int fd = openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return;
    }
    while (dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        if (!visit(entry->d_name)) break;
    }
    closedir(dir);
}

}  // namespace

bool FindName(int folderFd, const std::string& name, std::string& found) {
    struct stat st;
    if (fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        found = name;
        return true;
    }
    bool ok = false;
    ListFolder(folderFd, [&](const char* entry) {
        if (strcasecmp(entry, name.c_str()) != 0) return true;
        found = entry;
        ok = true;
        return false;
    });
    return ok;
}

std::vector<std::string> MatchingNames(int folderFd, const std::string& name) {
    std::vector<std::string> names;
    ListFolder(folderFd, [&](const char* entry) {
        if (strcasecmp(entry, name.c_str()) == 0) names.emplace_back(entry);
        return true;
    });
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> SubfolderNames(int folderFd) {
    std::vector<std::string> names;
    ListFolder(folderFd, [&](const char* entry) {
        struct stat st;
        if (fstatat(folderFd, entry, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
            names.emplace_back(entry);
        }
        return true;
    });
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace platform::host
