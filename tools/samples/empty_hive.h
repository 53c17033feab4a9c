// A registry hive file holding only its root key, built byte by byte from the
// published layout of the format: the 4 KB base block ("regf", with its
// checksum), one 4 KB hive bin, the root key's "nk" cell and the "sk" cell of
// its security descriptor. hivex cannot make a hive from nothing; tests make
// one here and fill it through hivex.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// rootName: the root key's name (ASCII, at most 255 characters).
std::vector<std::uint8_t> EmptyHive(const std::string& rootName);

// The XOR of the base block's first 127 little-endian 32-bit words, with 0
// and 0xFFFFFFFF kept for "no checksum" as Windows keeps them.
std::uint32_t HiveBaseBlockChecksum(const std::uint8_t* baseBlock);
