// ASCII letter case, the same in every locale: only A-Z and a-z change. For
// text whose case rules are ASCII by definition (tags, section headers, our
// own names); Windows' own comparison of file names is not this.
#pragma once

#include <cstddef>

constexpr char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Lowercases the NUL-terminated text in place.
inline void LowercaseText(char* text) {
    for (; *text; ++text) *text = AsciiLower(*text);
}

// Both texts equal but for ASCII case.
inline bool EqualsIgnoringCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const char x = AsciiLower(*a);
        if (x != AsciiLower(*b)) return false;
        if (x == '\0') return true;
    }
}

// The first n characters of a and b equal but for ASCII case (both hold n).
inline bool PrefixEqualsIgnoringCase(const char* a, const char* b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}
