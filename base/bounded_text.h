// Copies and formats into fixed-size character buffers: every write is cut to
// the buffer and ends with a NUL inside it.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>

// Copies src into dst[capacity]; returns false when src had to be cut.
inline bool CopyText(char* dst, std::size_t capacity, const char* src) {
    if (capacity == 0) return false;
    std::size_t len = std::strlen(src);
    bool fits = len < capacity;
    if (!fits) len = capacity - 1;
    std::memmove(dst, src, len);
    dst[len] = '\0';
    return fits;
}

template <std::size_t N>
bool CopyText(char (&dst)[N], const char* src) {
    return CopyText(dst, N, src);
}

// Appends src to the text in dst[capacity]; false when it had to be cut.
inline bool AppendText(char* dst, std::size_t capacity, const char* src) {
    std::size_t used = strnlen(dst, capacity);
    if (used >= capacity) return false;
    return CopyText(dst + used, capacity - used, src);
}

template <std::size_t N>
bool AppendText(char (&dst)[N], const char* src) {
    return AppendText(dst, N, src);
}

// snprintf into a fixed buffer; false when the text was cut.
template <std::size_t N>
bool FormatText(char (&dst)[N], const char* format, ...) __attribute__((format(printf, 2, 3)));

template <std::size_t N>
bool FormatText(char (&dst)[N], const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(dst, N, format, args);
    va_end(args);
    return n >= 0 && static_cast<std::size_t>(n) < N;
}
