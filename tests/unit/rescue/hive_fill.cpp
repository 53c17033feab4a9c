#include "tests/unit/rescue/hive_fill.h"

#include <hivex.h>

#include <fstream>

#include "tools/samples/empty_hive.h"

std::vector<std::uint8_t> Utf16(const std::string& text) {
    std::vector<std::uint8_t> out;
    for (unsigned char c : text) {
        out.push_back(c);
        out.push_back(0);
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

HiveFill::HiveFill(const std::string& path, const std::string& rootName) : path_(path) {
    std::vector<std::uint8_t> bytes = EmptyHive(rootName);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    hive_ = hivex_open(path.c_str(), HIVEX_OPEN_WRITE);
}

HiveFill::~HiveFill() {
    if (hive_) hivex_close(hive_);
}

std::size_t HiveFill::Key(const std::string& path) {
    if (!hive_) return 0;
    hive_node_h node = hivex_root(hive_);
    std::size_t start = 0;
    while (node != 0 && start < path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        std::string name = path.substr(start, end - start);
        hive_node_h child = hivex_node_get_child(hive_, node, name.c_str());
        if (child == 0) child = hivex_node_add_child(hive_, node, name.c_str());
        node = child;
        start = end + 1;
    }
    if (node == 0) ok_ = false;
    return node;
}

void HiveFill::Value(const std::string& key, const std::string& name, std::uint32_t type,
                     const std::vector<std::uint8_t>& data) {
    std::size_t node = Key(key);
    if (node == 0) return;
    std::vector<std::uint8_t> copy = data;
    hive_set_value value;
    value.key = const_cast<char*>(name.c_str());
    value.t = static_cast<hive_type>(type);
    value.len = copy.size();
    value.value = reinterpret_cast<char*>(copy.data());
    if (hivex_node_set_value(hive_, node, &value, 0) != 0) ok_ = false;
}

void HiveFill::Text(const std::string& key, const std::string& name, const std::string& text,
                    std::uint32_t type) {
    Value(key, name, type, Utf16(text));
}

void HiveFill::Dword(const std::string& key, const std::string& name, std::uint32_t value) {
    Value(key, name, 4,
          {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
           static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)});
}

bool HiveFill::Commit() {
    if (!hive_ || !ok_) return false;
    return hivex_commit(hive_, path_.c_str(), 0) == 0;
}
