#include "clean/offline/disk_folders.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

OwnedFd& OwnedFd::operator=(OwnedFd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

OwnedFd::~OwnedFd() {
    if (fd_ >= 0) close(fd_);
}

namespace {

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

std::string FindEntryName(int folderFd, const std::string& name) {
    struct stat st;
    if (fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return name;
    std::string found;
    ListFolder(folderFd, [&](const char* entry) {
        if (strcasecmp(entry, name.c_str()) != 0) return true;
        found = entry;
        return false;
    });
    return found;
}

std::vector<std::string> MatchingEntryNames(int folderFd, const std::string& name) {
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

OwnedFd OpenFolderPath(int folderFd, const std::vector<std::string>& names, bool create) {
    OwnedFd current(openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (const std::string& name : names) {
        if (!current) return current;
        std::string onDisk = FindEntryName(current.get(), name);
        if (onDisk.empty()) {
            if (!create) {
                errno = ENOENT;
                return OwnedFd();
            }
            if (mkdirat(current.get(), name.c_str(), 0755) != 0 && errno != EEXIST) {
                return OwnedFd();
            }
            onDisk = name;
        }
        current = OwnedFd(
            openat(current.get(), onDisk.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    return current;
}

OwnedFd OpenRegularFile(int folderFd, const std::string& name) {
    OwnedFd fd(openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return fd;
    struct stat st;
    if (fstat(fd.get(), &st) != 0) return OwnedFd();
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return OwnedFd();
    }
    return fd;
}
