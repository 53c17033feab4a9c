// POSIX side of the file operations; paths go through the drive map.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>
#include <chrono>

#include "platform/file_io.h"
#include "platform/host/host_state.h"

namespace platform {

using host::FileOperation;
using host::detail::Fails;

int OpenReadBinary(const char* path) {
    if (Fails(FileOperation::Open, path)) return kNoFile;
    std::string hostPath = host::ResolvePath(path);
    if (hostPath.empty()) return kNoFile;
    struct stat st;
    // Windows' _open refuses directories; so does this.
    if (stat(hostPath.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return kNoFile;
    int fd = open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
    return fd < 0 ? kNoFile : fd;
}

int CloseFile(int fd) { return close(fd); }

std::int64_t SeekSet(int fd, std::int64_t offset) {
    if (offset < 0 || Fails(FileOperation::Seek, nullptr)) return -1;
    off_t result = lseek(fd, static_cast<off_t>(offset), SEEK_SET);
    return result < 0 ? -1 : static_cast<std::int64_t>(result);
}

int ReadFile(int fd, void* buffer, unsigned count) {
    if (Fails(FileOperation::Read, nullptr)) return -1;
    ssize_t n = read(fd, buffer, count);
    return n < 0 ? -1 : static_cast<int>(n);
}

std::int64_t FileLength(int fd) {
    if (Fails(FileOperation::Length, nullptr)) return -1;
    struct stat st;
    if (fstat(fd, &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool PathExists(const char* path) { return !host::ResolvePath(path).empty(); }

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
