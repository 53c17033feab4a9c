// POSIX side of the file operations; paths go through the drive map.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/file_io.h"
#include "platform/host/host_state.h"

namespace platform {

using host::FileOperation;
using host::detail::Fails;

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

struct TrackedFile {
    bool tracked;
    std::int64_t position;
};
TrackedFile trackedFiles[kTrackedDescriptors];

TrackedFile* Tracked(int fd) {
    if (fd < 0 || fd >= kTrackedDescriptors || !trackedFiles[fd].tracked) return nullptr;
    return &trackedFiles[fd];
}

// Windows' _open refuses directories; so does this. The descriptor, or kNoFile.
int AdoptOpened(int fd) {
    if (fd < 0) return kNoFile;
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        return kNoFile;
    }
    if (fd < kTrackedDescriptors) trackedFiles[fd] = {S_ISREG(st.st_mode), 0};
    return fd;
}

}  // namespace

int OpenReadBinary(const char* path) {
    if (Fails(FileOperation::Open, path)) return kNoFile;
    // The path as written names the file ResolvePath would find, whenever it opens.
    std::string exact = host::detail::ExactHostPath(path);
    if (exact.empty()) return kNoFile;
    int fd = open(exact.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) return AdoptOpened(fd);
    std::string hostPath = host::ResolvePath(path);
    if (hostPath.empty()) return kNoFile;
    return AdoptOpened(open(hostPath.c_str(), O_RDONLY | O_CLOEXEC));
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
    std::string hostPath = host::ResolvePath(path);
    return !hostPath.empty() && access(hostPath.c_str(), R_OK) == 0;
}

bool SetArchiveAttributeOnly(const char* path) {
    if (Fails(FileOperation::SetAttributes, path)) return false;
    std::string hostPath = host::ResolvePath(path);
    if (hostPath.empty()) return false;
    struct stat st;
    if (stat(hostPath.c_str(), &st) != 0) return false;
    if (host::detail::State().dryRun) return true;
    // The nearest thing to clearing read-only: give the owner write permission.
    chmod(hostPath.c_str(), st.st_mode | S_IWUSR);
    return true;
}

bool DeleteFilePath(const char* path) {
    if (Fails(FileOperation::Delete, path)) return false;
    std::string hostPath = host::ResolvePath(path);
    if (hostPath.empty()) return false;
    struct stat st;
    if (lstat(hostPath.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    if (host::detail::State().dryRun) return true;
    return unlink(hostPath.c_str()) == 0;
}

void SleepMilliseconds(unsigned milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace platform
