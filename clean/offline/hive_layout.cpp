#include "clean/offline/hive_layout.h"

#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "platform/host/posix_io.h"

namespace {

constexpr off_t kBaseBlockSize = 4096;
constexpr off_t kBinAlignment = 4096;
constexpr std::size_t kBinsSizeField = 0x28;
constexpr std::size_t kBinSizeField = 8;

std::uint32_t Le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

std::string HiveLayoutProblem(int fd, off_t fileSize) {
    unsigned char base[kBinsSizeField + 4];
    if (fileSize < kBaseBlockSize + kBinAlignment ||
        !platform::host::ReadAllAt(fd, base, sizeof base, 0) || std::memcmp(base, "regf", 4) != 0) {
        return "not a registry hive";
    }
    const off_t bins = Le32(base + kBinsSizeField);
    if (bins == 0 || bins % kBinAlignment != 0) {
        return "not a registry hive (its base block declares no whole bins)";
    }
    const off_t end = kBaseBlockSize + bins;
    if (end > fileSize) {
        return "damaged: cut short (its base block declares " + std::to_string(end) +
               " bytes, the file holds " + std::to_string(fileSize) + ")";
    }
    if (fileSize - end > kHiveSlackLimit) {
        return "not a registry hive: the file holds " + std::to_string(fileSize - end) +
               " bytes past the end its base block declares (" + std::to_string(end) + ")";
    }
    // Each bin says its size; the walk ends at the declared end, one header
    // per 4 KB at most.
    for (off_t at = kBaseBlockSize; at < end;) {
        unsigned char header[kBinSizeField + 4];
        if (!platform::host::ReadAllAt(fd, header, sizeof header, at))
            return "cannot read the hive's bins";
        const off_t size = Le32(header + kBinSizeField);
        if (std::memcmp(header, "hbin", 4) != 0 || size == 0 || size % kBinAlignment != 0 ||
            size > end - at) {
            return "damaged: no valid bin at offset " + std::to_string(at);
        }
        at += size;
    }
    return {};
}
