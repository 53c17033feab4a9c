#include "scan/shorten_path.h"

#include <cstring>

#include "base/bounded_text.h"

void ShortenPath(const char* source, char* destination, std::size_t capacity, int width) {
    constexpr int kWorkArea = 100;
    int len = static_cast<int>(std::strlen(source));
    int keep = width / 2 - 1;
    if (len <= width || keep <= 0 || width > kWorkArea) {
        CopyText(destination, capacity, source);
        return;
    }
    char work[kWorkArea + 1];
    std::memset(work, '.', width);
    std::memcpy(work, source, keep);
    std::memcpy(work + width - keep, source + len - keep, keep);
    work[width] = '\0';
    CopyText(destination, capacity, work);
}
