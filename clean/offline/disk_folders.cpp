#include "clean/offline/disk_folders.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using platform::host::Descriptor;

Descriptor OpenFolderPath(int folderFd, const std::vector<std::string>& names, bool create) {
    Descriptor current(openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (const std::string& name : names) {
        if (!current) return current;
        std::string onDisk;
        if (!platform::host::FindName(current.Get(), name, onDisk)) {
            if (!create) {
                errno = ENOENT;
                return Descriptor();
            }
            if (mkdirat(current.Get(), name.c_str(), 0755) != 0 && errno != EEXIST) {
                return Descriptor();
            }
            onDisk = name;
        }
        current = Descriptor(
            openat(current.Get(), onDisk.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    return current;
}

Descriptor OpenRegularFile(int folderFd, const std::string& name) {
    Descriptor fd(openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return fd;
    struct stat st;
    if (fstat(fd.Get(), &st) != 0) return Descriptor();
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return Descriptor();
    }
    return fd;
}
