#include "platform/host/host_tree.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "platform/host/host_state.h"

namespace platform::host::detail {

namespace {

// A folder is held by a path-only descriptor: reaching it needs only search
// permission on the folders above, as a path lookup would.
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

struct OpenFolderCache {
    int drive = -1;
    std::vector<std::string> parts;
    std::string windowsFolder;  // the text it was last asked for by
    std::string normalFolder;   // "C:\\Dir\\Sub" as SplitLastName gives it
    Descriptor fd;
    std::string hostPath;
};

struct TreeState {
    // The folder last opened: a walk opens every file of one folder in a row,
    // and then its subfolders, which are reached from it.
    OpenFolderCache cache;
    Descriptor roots[26];
    Descriptor pinned[26];  // a drive's folder its mapper opened
    std::set<std::pair<dev_t, ino_t>> walked;
    std::set<std::pair<int, std::string>> told;
};

TreeState& Tree() {
    static TreeState tree;
    return tree;
}

// The drive index of windowsPath and its components, "." and ".." applied;
// -1 when the drive is not mapped.
int SplitPath(const char* windowsPath, std::vector<std::string>& parts) {
    if (!windowsPath || !windowsPath[0] || windowsPath[1] != ':') return -1;
    const int index = DriveIndex(windowsPath[0]);
    if (index < 0 || State().driveDirectory[index].empty()) return -1;
    std::string current;
    for (const char* p = windowsPath + 2;; ++p) {
        if (*p == '\\' || *p == '/' || *p == '\0') {
            if (current == "..") {
                if (!parts.empty()) parts.pop_back();
            } else if (!current.empty() && current != ".") {
                parts.push_back(current);
            }
            current.clear();
            if (*p == '\0') break;
        } else {
            current += *p;
        }
    }
    return index;
}

// Opens the subfolder of parent named name (matched as Windows matches it);
// the descriptor, or -1 with error set. found gets the name on disk.
int OpenChildFolder(int parent, const std::string& name, std::string& found, int& error) {
    int fd = openat(parent, name.c_str(), kFolderFlags);
    found = name;
    if (fd >= 0) return fd;
    error = errno;
    if (error != ENOENT) return -1;
    std::string other;
    if (!FindName(parent, name, other) || other == name) return -1;
    found = other;
    fd = openat(parent, other.c_str(), kFolderFlags);
    if (fd < 0) error = errno;
    return fd;
}

}  // namespace

bool SplitLastName(const char* windowsPath, std::string& folder, std::string& name) {
    // A plain name in the folder last opened (every file of a folder in
    // turn): the same answer as the split below, without splitting a path
    // that may be 120 folders long.
    const OpenFolderCache& cache = Tree().cache;
    const std::string& known = cache.normalFolder;
    if (cache.fd.IsOpen() && !known.empty() &&
        std::strncmp(windowsPath, known.c_str(), known.size()) == 0 &&
        windowsPath[known.size()] == '\\') {
        const char* rest = windowsPath + known.size() + 1;
        if (rest[0] != '\0' && !std::strpbrk(rest, "\\/") && std::strcmp(rest, ".") != 0 &&
            std::strcmp(rest, "..") != 0) {
            folder = known;
            name = rest;
            return true;
        }
    }
    std::vector<std::string> parts;
    int drive = SplitPath(windowsPath, parts);
    if (drive < 0 || parts.empty()) return false;
    name = parts.back();
    folder = std::string(1, static_cast<char>('A' + drive)) + ":";
    for (size_t i = 0; i + 1 < parts.size(); ++i) folder += "\\" + parts[i];
    return true;
}

bool StatEntry(int folderFd, const std::string& name, std::string& found, struct stat& st) {
    if (!FindName(folderFd, name, found)) return false;
    return fstatat(folderFd, found.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

bool OpenFolder(const std::string& windowsFolder, FolderRef& folder, int& error, bool report) {
    OpenFolderCache& cache = Tree().cache;
    // Asked again by the same text (every file of a folder): no need to split
    // a path that may be 120 folders long again.
    if (cache.fd.IsOpen() && cache.windowsFolder == windowsFolder) {
        folder.fd = cache.fd.Get();
        folder.hostPath = &cache.hostPath;
        return true;
    }
    std::vector<std::string> parts;
    int drive = SplitPath(windowsFolder.c_str(), parts);
    error = ENOENT;
    if (drive < 0) return false;

    // Start from the open folder when it lies on the way, else from the drive.
    size_t done = 0;
    Descriptor current;
    std::string hostPath;
    bool fromCache =
        cache.fd.IsOpen() && cache.drive == drive && cache.parts.size() <= parts.size();
    for (size_t i = 0; fromCache && i < cache.parts.size(); ++i) {
        if (cache.parts[i] != parts[i]) fromCache = false;
    }
    if (fromCache && cache.parts.size() == parts.size()) {
        cache.windowsFolder = windowsFolder;
        folder.fd = cache.fd.Get();
        folder.hostPath = &cache.hostPath;
        return true;
    }
    if (fromCache) {
        current.Reset(dup(cache.fd.Get()));
        hostPath = cache.hostPath;
        done = cache.parts.size();
    } else {
        // Each drive's folder is opened once: a link put in its place later
        // cannot move the drive.
        hostPath = State().driveDirectory[drive];
        Descriptor& root =
            Tree().pinned[drive].IsOpen() ? Tree().pinned[drive] : Tree().roots[drive];
        if (!root.IsOpen()) root.Reset(open(hostPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        current.Reset(root.IsOpen() ? dup(root.Get()) : -1);
    }
    if (!current.IsOpen()) {
        error = errno;
        if (report && error != ENOENT)
            ReportProblem(WalkProblem::FolderUnreadable, hostPath, error);
        return false;
    }
    for (size_t i = done; i < parts.size(); ++i) {
        std::string found;
        int child = OpenChildFolder(current.Get(), parts[i], found, error);
        std::string childPath = hostPath + "/" + found;
        if (child < 0) {
            if (report) {
                ReportUnopenable(current.Get(), found, childPath, error,
                                 WalkProblem::FolderUnreadable);
            }
            return false;
        }
        current.Reset(child);
        hostPath = std::move(childPath);
    }
    cache.drive = drive;
    cache.parts = std::move(parts);
    cache.windowsFolder = windowsFolder;
    cache.normalFolder = std::string(1, static_cast<char>('A' + drive)) + ":";
    for (const std::string& part : cache.parts) cache.normalFolder += "\\" + part;
    cache.fd = std::move(current);
    cache.hostPath = std::move(hostPath);
    folder.fd = cache.fd.Get();
    folder.hostPath = &cache.hostPath;
    return true;
}

void ReportProblem(WalkProblem problem, const std::string& hostPath, int error) {
    auto& reporter = State().problems;
    if (!reporter) return;
    if (!Tree().told.emplace(static_cast<int>(problem), hostPath).second) return;
    reporter(problem, hostPath, error);
}

void ReportUnopenable(int folderFd, const std::string& name, const std::string& hostPath, int error,
                      WalkProblem kind) {
    struct stat st;
    if (fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        // Gone since it was listed: nothing is left there to scan.
        if (errno != ENOENT) ReportProblem(kind, hostPath, error);
        return;
    }
    if (S_ISLNK(st.st_mode)) {
        ReportProblem(WalkProblem::Link, hostPath, 0);
    } else if (S_ISFIFO(st.st_mode)) {
        ReportProblem(WalkProblem::Fifo, hostPath, 0);
    } else if (S_ISSOCK(st.st_mode)) {
        ReportProblem(WalkProblem::Socket, hostPath, 0);
    } else if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) {
        ReportProblem(WalkProblem::Device, hostPath, 0);
    } else if (kind == WalkProblem::FolderUnreadable && !S_ISDIR(st.st_mode)) {
        // A file where a folder was named: there is no folder to read.
    } else if (error != ENOENT) {
        ReportProblem(kind, hostPath, error);
    }
}

bool MarkFolderWalked(dev_t device, ino_t inode) {
    return Tree().walked.emplace(device, inode).second;
}

void ForgetWalkedFolders() {
    Tree().walked.clear();
}

void ForgetOpenFolder() {
    for (Descriptor& root : Tree().roots) root.Reset();
    OpenFolderCache& cache = Tree().cache;
    cache.fd.Reset();
    cache.drive = -1;
    cache.parts.clear();
    cache.windowsFolder.clear();
    cache.normalFolder.clear();
    cache.hostPath.clear();
}

void PinDriveFolder(int drive, int fd) {
    if (drive >= 0 && drive < 26) {
        Tree().pinned[drive].Reset(fd);
    } else if (fd >= 0) {
        close(fd);
    }
}

void ResetTree() {
    ForgetOpenFolder();
    Tree().walked.clear();
    Tree().told.clear();
}

}  // namespace platform::host::detail

namespace platform::host {

bool LeavesScanIncomplete(WalkProblem problem) {
    switch (problem) {
        case WalkProblem::BackslashName:
        case WalkProblem::PathTooLong:
        case WalkProblem::FolderUnreadable:
        case WalkProblem::FileUnreadable:
            return true;
        case WalkProblem::Link:
        case WalkProblem::Fifo:
        case WalkProblem::Socket:
        case WalkProblem::Device:
        case WalkProblem::AlreadyWalked:
            return false;
    }
    return true;
}

void SetWalkProblemReporter(WalkProblemReporter reporter) {
    detail::State().problems = std::move(reporter);
}

}  // namespace platform::host
