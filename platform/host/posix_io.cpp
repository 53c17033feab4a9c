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

namespace {

// Calls step(bytes, left, offset) until length bytes have gone through it,
// again after EINTR; false on an error or a call that makes no progress.
template <typename Bytes, typename Step>
bool EveryByte(Bytes* bytes, std::size_t length, off_t offset, Step step) {
    while (length > 0) {
        ssize_t n = step(bytes, length, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        length -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

}  // namespace

bool WriteAll(int fd, const void* data, std::size_t length) {
    return EveryByte(
        static_cast<const char*>(data), length, 0,
        [fd](const char* bytes, std::size_t left, off_t) { return write(fd, bytes, left); });
}

bool WriteAllAt(int fd, const void* data, std::size_t length, off_t offset) {
    return EveryByte(static_cast<const char*>(data), length, offset,
                     [fd](const char* bytes, std::size_t left, off_t at) {
                         return pwrite(fd, bytes, left, at);
                     });
}

bool ReadAllAt(int fd, void* data, std::size_t length, off_t offset) {
    return EveryByte(
        static_cast<char*>(data), length, offset,
        [fd](char* bytes, std::size_t left, off_t at) { return pread(fd, bytes, left, at); });
}

}  // namespace platform::host
