#include "platform/host/posix_io.h"

#include <errno.h>
#include <unistd.h>

namespace platform::host {

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
}

void Descriptor::Reset(int fd) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
}

bool WriteAll(int fd, const void* data, std::size_t length) {
    const auto* bytes = static_cast<const char*>(data);
    while (length > 0) {
        ssize_t n = write(fd, bytes, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

bool WriteAllAt(int fd, const void* data, std::size_t length, off_t offset) {
    const auto* bytes = static_cast<const char*>(data);
    while (length > 0) {
        ssize_t n = pwrite(fd, bytes, length, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        length -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

bool ReadAllAt(int fd, void* data, std::size_t length, off_t offset) {
    auto* bytes = static_cast<char*>(data);
    while (length > 0) {
        ssize_t n = pread(fd, bytes, length, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        length -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

}  // namespace platform::host
