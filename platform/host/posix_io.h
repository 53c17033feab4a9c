// The POSIX helpers the host side, the offline registry and the tools share.
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace platform::host {

// write() until every byte is out, again after EINTR; false on an error or
// a write that makes no progress.
bool WriteAll(int fd, const void* data, std::size_t length);
// The same with pwrite() from offset on.
bool WriteAllAt(int fd, const void* data, std::size_t length, off_t offset);
// pread() from offset on until length bytes are in; false on an error or an
// end of file before them.
bool ReadAllAt(int fd, void* data, std::size_t length, off_t offset);

}  // namespace platform::host
