// The POSIX helpers the host side, the offline registry and the tools share.
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace platform::host {

// A descriptor that closes itself; move-only.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor(Descriptor&& other) noexcept : fd_(other.Release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept;
    ~Descriptor() { Reset(); }

    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    explicit operator bool() const { return fd_ >= 0; }
    int Release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void Reset(int fd = -1);

private:
    int fd_;
};

// write() until every byte is out, again after EINTR; false on an error or
// a write that makes no progress.
bool WriteAll(int fd, const void* data, std::size_t length);
// The same with pwrite() from offset on.
bool WriteAllAt(int fd, const void* data, std::size_t length, off_t offset);
// pread() from offset on until length bytes are in; false on an error or an
// end of file before them.
bool ReadAllAt(int fd, void* data, std::size_t length, off_t offset);

}  // namespace platform::host
