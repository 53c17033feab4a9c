// DetectScriptWorm on fuzzed files. The first input byte chooses a run of
// zero bytes put in the middle of the file (0 to about 147 KB), so that short
// inputs also reach the length windows of the W32 records and the
// first-and-last-4096-bytes reads of large files. The second chooses a fault:
// 0 none; else the scan's (n & 0x0F)-th read, seek or length query fails, or
// with bit 0x80 the file is cut to its head half at that moment, as a file
// that shrinks while it is read.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "detect/script/script_cleaner.h"
#include "platform/host/host_control.h"

namespace {

constexpr std::size_t kGapUnit = 577;  // odd, so gaps do not line up with the 4096-byte blocks

class ScratchFile {
public:
    ScratchFile() {
        char name[] = "/tmp/quellix-script-fuzz-XXXXXX";
        fd_ = mkstemp(name);
        if (fd_ >= 0) unlink(name);
    }
    ~ScratchFile() {
        if (fd_ >= 0) close(fd_);
    }
    // head, then gap zero bytes (a hole), then tail; the descriptor or -1.
    int Hold(const std::uint8_t* head, std::size_t headSize, std::size_t gap,
             const std::uint8_t* tail, std::size_t tailSize) {
        if (fd_ < 0 || ftruncate(fd_, 0) != 0) return -1;
        const off_t total = static_cast<off_t>(headSize + gap + tailSize);
        if (headSize > 0 && pwrite(fd_, head, headSize, 0) != static_cast<ssize_t>(headSize)) {
            return -1;
        }
        if (tailSize > 0 && pwrite(fd_, tail, tailSize, static_cast<off_t>(headSize + gap)) !=
                                static_cast<ssize_t>(tailSize)) {
            return -1;
        }
        if (ftruncate(fd_, total) != 0) return -1;
        return fd_;
    }

private:
    int fd_ = -1;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static ScratchFile scratch;
    PrepareScriptTable();
    if (size < 2) return 0;
    const std::size_t gap = data[0] * kGapUnit;
    const unsigned faultAt = data[1] & 0x0F;
    const bool shrink = (data[1] & 0x80) != 0;
    const std::uint8_t* file = data + 2;
    const std::size_t fileSize = size - 2;
    const std::size_t half = fileSize / 2;
    const int fd = scratch.Hold(file, half, gap, file + half, fileSize - half);
    if (fd < 0) return 0;
    unsigned calls = 0;
    platform::host::SetFaultInjector([&](platform::host::FileOperation, const char*) {
        if (faultAt == 0 || ++calls != faultAt) return false;
        if (!shrink) return true;
        return ftruncate(fd, static_cast<off_t>(half)) != 0;
    });
    // The length is taken where the walker takes it: after the open, under the faults.
    DetectScriptWorm(fd, platform::FileLength(fd));
    platform::host::SetFaultInjector(nullptr);
    return 0;
}
