// The performance-data readers on arbitrary bytes: the first part of the input
// is taken as the "Counters" title list, the rest as a PERF_DATA_BLOCK.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "clean/perf_data.h"

namespace {

bool ToAscii(const std::uint16_t* text, std::size_t count, char* out, std::size_t outSize) {
    if (outSize == 0) return false;
    std::size_t n = 0;
    for (; n < count && n + 1 < outSize && text[n] != 0; ++n) {
        out[n] = text[n] < 0x80 ? static_cast<char>(text[n]) : '?';
    }
    out[n] = '\0';
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    std::size_t split = data[0] % (size - 1) + 1;
    // Copies, so that a read past either part is seen by the sanitizer.
    std::vector<char> titles(data + 1, data + split);
    std::vector<std::uint8_t> block(data + split, data + size);

    PerfCounterTitles found;
    FindProcessCounterTitles(titles.data(), titles.size(), found);
    if (std::memchr(found.processKey, '\0', sizeof found.processKey) == nullptr) __builtin_trap();

    PerfProcessEntry table[kPerfTableCapacity];
    int count =
        ReadPerfProcessTable(block.data(), block.size(), found.idProcessIndex, ToAscii, table);
    if (count < 0 || count > kPerfTableCapacity) __builtin_trap();
    for (int i = 0; i < count; ++i) {
        if (std::memchr(table[i].name, '\0', sizeof table[i].name) == nullptr) __builtin_trap();
    }
    return 0;
}
