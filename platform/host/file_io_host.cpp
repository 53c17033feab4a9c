// POSIX side of the file operations. Every path goes through the descriptor
// walk (host_tree.h): the file is opened, changed or unlinked relative to its
// folder's descriptor with O_NOFOLLOW, so no link is followed, and only
// regular files are opened.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/file_io.h"
#include "platform/host/host_state.h"
#include "platform/host/host_tree.h"
#include "platform/report_only.h"

namespace platform {

using host::Descriptor;
using host::FileOperation;
using host::WalkProblem;
using host::detail::Fails;
using host::detail::FolderRef;

namespace {

// Regular files opened here keep their position in this table (from
// OpenReadBinary to CloseFile, which ScopedFile always calls) and are read
// with pread: a seek then costs no call, and every read is still a real read
// of the file as it is at that moment. lseek to any offset up to 2^31 - 1
// succeeds on a regular file on every Linux file system (none allows less),
// so such a seek cannot fail where the kept one succeeds; larger offsets are
// sought for real.
constexpr int kTrackedDescriptors = 1024;
constexpr std::int64_t kDeferredSeekLimit = 0x7FFFFFFF;

// O_NONBLOCK: a FIFO put in place after the listing must not hold the open;
// O_NOCTTY: no device becomes the controlling terminal.
constexpr int kReadFlags = O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;

struct TrackedFile {
    bool tracked;
    std::int64_t position;
};
TrackedFile trackedFiles[kTrackedDescriptors];

TrackedFile* Tracked(int fd) {
    if (fd < 0 || fd >= kTrackedDescriptors || !trackedFiles[fd].tracked) return nullptr;
    return &trackedFiles[fd];
}

// The file last opened for reading: a later attribute change or deletion of
// the same path must meet the same file, not one put there since.
struct ScannedFile {
    std::string windowsPath;
    dev_t device = 0;
    ino_t inode = 0;
};
ScannedFile lastScanned;
bool inFileScan = false;

// An attribute change waiting for the deletion it prepares; the old mode comes
// back once the deletion is tried, whatever its result (the file's other
// links keep their mode, and a file not deleted keeps its mode).
struct ModeChange {
    Descriptor file;
    mode_t mode = 0;
};
ModeChange pendingChange;

bool SameAsScanned(const char* windowsPath, const struct stat& st) {
    if (lastScanned.windowsPath != windowsPath) return true;  // not read here: nothing to compare
    return lastScanned.device == st.st_dev && lastScanned.inode == st.st_ino;
}

// The folder of windowsPath, open, and the entry's name in it.
bool OpenParent(const char* windowsPath, FolderRef& folder, std::string& name, bool report) {
    std::string folderPart;
    int error = 0;
    return host::detail::SplitLastName(windowsPath, folderPart, name) &&
           host::detail::OpenFolder(folderPart, folder, error, report);
}

// Opens an entry of folder for reading (name matched as Windows matches it);
// the descriptor, or -1 with error set.
int OpenEntry(const FolderRef& folder, const std::string& name, std::string& found, int& error) {
    found = name;
    int fd = openat(folder.fd, name.c_str(), kReadFlags);
    if (fd >= 0) return fd;
    error = errno;
    std::string other;
    if (error != ENOENT || !host::FindName(folder.fd, name, other) || other == name) {
        return -1;
    }
    found = other;
    fd = openat(folder.fd, other.c_str(), kReadFlags);
    if (fd < 0) error = errno;
    return fd;
}

// The host path an open descriptor names, for a message.
std::string DescriptorPath(int fd) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[4096];
    ssize_t n = readlink(link, target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string(link);
}

WalkProblem SpecialKind(mode_t mode) {
    if (S_ISFIFO(mode)) return WalkProblem::Fifo;
    if (S_ISSOCK(mode)) return WalkProblem::Socket;
    return WalkProblem::Device;
}

}  // namespace

int OpenReadBinary(const char* path) {
    if (Fails(FileOperation::Open, path)) return kNoFile;
    FolderRef folder;
    std::string name, found;
    if (!OpenParent(path, folder, name, true)) return kNoFile;
    int error = 0;
    Descriptor fd(OpenEntry(folder, name, found, error));
    auto hostPath = [&] { return folder.HostPath() + "/" + found; };
    if (!fd.IsOpen()) {
        host::detail::ReportUnopenable(folder.fd, found, hostPath(), error,
                                       WalkProblem::FileUnreadable);
        return kNoFile;
    }
    struct stat st;
    if (fstat(fd.Get(), &st) != 0) {
        error = errno;
        host::detail::ReportProblem(WalkProblem::FileUnreadable, hostPath(), error);
        return kNoFile;
    }
    // Windows' _open refuses folders; only regular files are read here.
    if (S_ISDIR(st.st_mode)) return kNoFile;
    if (!S_ISREG(st.st_mode)) {
        host::detail::ReportProblem(SpecialKind(st.st_mode), hostPath(), 0);
        return kNoFile;
    }
    // The same path opened again (to copy it, by the next scanner) must reach
    // the same file.
    if (inFileScan && lastScanned.windowsPath == path &&
        (lastScanned.device != st.st_dev || lastScanned.inode != st.st_ino)) {
        return kNoFile;
    }
    lastScanned = {path, st.st_dev, st.st_ino};
    int result = fd.Release();
    if (result < kTrackedDescriptors) trackedFiles[result] = {true, 0};
    return result;
}

int CloseFile(int fd) {
    if (TrackedFile* t = Tracked(fd)) t->tracked = false;
    return close(fd);
}

std::int64_t SeekSet(int fd, std::int64_t offset) {
    if (offset < 0 || Fails(FileOperation::Seek, nullptr)) return -1;
    TrackedFile* t = Tracked(fd);
    if (t && offset <= kDeferredSeekLimit) {
        t->position = offset;
        return offset;
    }
    off_t result = lseek(fd, static_cast<off_t>(offset), SEEK_SET);
    if (result < 0) return -1;
    if (t) t->position = result;
    return static_cast<std::int64_t>(result);
}

int ReadFile(int fd, void* buffer, unsigned count) {
    if (Fails(FileOperation::Read, nullptr)) return -1;
    ssize_t n;
    if (TrackedFile* t = Tracked(fd)) {
        n = pread(fd, buffer, count, static_cast<off_t>(t->position));
        if (n > 0) t->position += n;
        // A read the disk refused (EIO on a damaged sector) leaves the file unjudged.
        if (n < 0) {
            const int error = errno;
            host::detail::ReportProblem(WalkProblem::FileUnreadable, DescriptorPath(fd), error);
        }
    } else {
        n = read(fd, buffer, count);
    }
    return n < 0 ? -1 : static_cast<int>(n);
}

std::int64_t FileLength(int fd) {
    if (Fails(FileOperation::Length, nullptr)) return -1;
    struct stat st;
    if (fstat(fd, &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool PathExists(const char* path) {
    return !host::ResolvePath(path).empty();
}

bool PathReadable(const char* path) {
    FolderRef folder;
    std::string name, found;
    if (!OpenParent(path, folder, name, false)) return false;
    struct stat st;
    return host::detail::StatEntry(folder.fd, name, found, st) && !S_ISLNK(st.st_mode) &&
           faccessat(folder.fd, found.c_str(), R_OK, 0) == 0;
}

void BeginFileScan() {
    lastScanned = {};
    inFileScan = true;
}

void EndFileScan() {
    inFileScan = false;
}

const char* WhyPathIsNotTheScannedFile(const char* path) {
    if (lastScanned.windowsPath != path) return nullptr;
    FolderRef folder;
    std::string name, found;
    struct stat st;
    if (!OpenParent(path, folder, name, false) ||
        !host::detail::StatEntry(folder.fd, name, found, st)) {
        return "it is no longer there";
    }
    if (!S_ISREG(st.st_mode) || !SameAsScanned(path, st)) {
        return "the path now reaches another file than the one scanned (a link or a swap)";
    }
    return nullptr;
}

bool SetArchiveAttributeOnly(const char* path) {
    host::detail::RestoreChangedMode();
    if (Fails(FileOperation::SetAttributes, path)) return false;
    FolderRef folder;
    std::string name, found;
    if (!OpenParent(path, folder, name, false)) return false;
    int error = 0;
    Descriptor fd(OpenEntry(folder, name, found, error));
    struct stat st;
    if (!fd.IsOpen() || fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (!SameAsScanned(path, st)) return false;
    if (ReportOnly()) return true;
    // The nearest thing to clearing read-only: give the owner write permission,
    // on the file itself through its descriptor.
    const mode_t mode = st.st_mode & 07777;
    if ((mode & S_IWUSR) == 0) {
        if (fchmod(fd.Get(), mode | S_IWUSR) != 0) return false;
        pendingChange.file = std::move(fd);
        pendingChange.mode = mode;
    }
    return true;
}

bool DeleteFilePath(const char* path) {
    struct Restorer {
        ~Restorer() { host::detail::RestoreChangedMode(); }
    } restoreAfterTry;
    if (Fails(FileOperation::Delete, path)) return false;
    FolderRef folder;
    std::string name, found;
    if (!OpenParent(path, folder, name, false)) return false;
    struct stat st;
    // Only a regular file is deleted, and only the one that was read (or
    // prepared) under this path; unlinkat removes the name, never a link's target.
    if (!host::detail::StatEntry(folder.fd, name, found, st) || !S_ISREG(st.st_mode)) return false;
    if (!SameAsScanned(path, st)) return false;
    if (ReportOnly()) return true;
    return unlinkat(folder.fd, found.c_str(), 0) == 0;
}

void SleepMilliseconds(unsigned milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

namespace host::detail {

void RestoreChangedMode() {
    if (pendingChange.file.IsOpen()) fchmod(pendingChange.file.Get(), pendingChange.mode);
    pendingChange.file.Reset();
}

}  // namespace host::detail

}  // namespace platform
