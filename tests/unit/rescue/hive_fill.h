// Hives for the tests: a minimal empty hive from the sample maker, filled
// through hivex with keys and values.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct hive_h;

// UTF-16LE with the closing zero, as Windows stores REG_SZ text.
std::vector<std::uint8_t> Utf16(const std::string& text);

class HiveFill {
public:
    // Writes an empty hive to path and opens it for filling.
    HiveFill(const std::string& path, const std::string& rootName);
    ~HiveFill();
    HiveFill(const HiveFill&) = delete;
    HiveFill& operator=(const HiveFill&) = delete;

    bool Ok() const { return hive_ != nullptr && ok_; }
    // The key at path (backslash-separated), made with its parents as needed.
    std::size_t Key(const std::string& path);
    void Value(const std::string& key, const std::string& name, std::uint32_t type,
               const std::vector<std::uint8_t>& data);
    void Text(const std::string& key, const std::string& name, const std::string& text,
              std::uint32_t type = 1);
    void Dword(const std::string& key, const std::string& name, std::uint32_t value);
    // All of a key's values at once, as REG_SZ (one value at a time leaves
    // a copy of the growing list behind for each).
    void Texts(const std::string& key,
               const std::vector<std::pair<std::string, std::string>>& values);
    // Writes the hive back to its file; false when hivex failed anywhere.
    bool Commit();

private:
    std::string path_;
    hive_h* hive_ = nullptr;
    bool ok_ = true;
};

// Hostile hives are made from filled ones by changing a few words of their
// cells, found through hivex's own handles (the cells' file offsets).

// The file offset of a key's nk cell (value null) or of one of its values'
// vk cell; 0 when not found.
std::size_t CellOf(const std::string& hivePath, const std::string& keyPath, const char* value);
// The file offset of a key's subkey list cell (lf, lh or li); 0 when none.
std::size_t SubkeyListOf(const std::string& hivePath, const std::string& keyPath);
std::uint32_t ReadWord(const std::string& path, std::size_t at);
void WriteWord(const std::string& path, std::size_t at, std::uint32_t word);
