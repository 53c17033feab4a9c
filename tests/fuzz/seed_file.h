// The seed makers' one way to write a seed file: whole, or false.
#pragma once

#include <cstdio>
#include <string>

inline bool WriteSeedFile(const std::string& path, const void* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

inline bool WriteSeedFile(const std::string& path, const std::string& bytes) {
    return WriteSeedFile(path, bytes.data(), bytes.size());
}
