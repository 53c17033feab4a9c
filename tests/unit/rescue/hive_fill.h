// Hives for the tests: a minimal empty hive from the sample maker, filled
// through hivex with keys and values.
#pragma once

#include <cstdint>
#include <string>
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
    // Writes the hive back to its file; false when hivex failed anywhere.
    bool Commit();

private:
    std::string path_;
    hive_h* hive_ = nullptr;
    bool ok_ = true;
};
