#include "tests/unit/rescue/hive_fill.h"

#include <hivex.h>

#include <fstream>
#include <sstream>

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

void HiveFill::Texts(const std::string& key,
                     const std::vector<std::pair<std::string, std::string>>& values) {
    std::size_t node = Key(key);
    if (node == 0) return;
    std::vector<std::vector<std::uint8_t>> data;
    for (const auto& v : values) data.push_back(Utf16(v.second));
    std::vector<hive_set_value> set(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        set[i].key = const_cast<char*>(values[i].first.c_str());
        set[i].t = hive_t_REG_SZ;
        set[i].len = data[i].size();
        set[i].value = reinterpret_cast<char*>(data[i].data());
    }
    if (hivex_node_set_values(hive_, node, set.size(), set.data(), 0) != 0) ok_ = false;
}

std::size_t CellOf(const std::string& hivePath, const std::string& keyPath, const char* value) {
    hive_h* h = hivex_open(hivePath.c_str(), 0);
    if (!h) return 0;
    hive_node_h node = hivex_root(h);
    std::stringstream parts(keyPath);
    for (std::string part; node != 0 && std::getline(parts, part, '\\');) {
        node = hivex_node_get_child(h, node, part.c_str());
    }
    std::size_t cell = node;
    if (node != 0 && value) cell = hivex_node_get_value(h, node, value);
    hivex_close(h);
    return cell;
}

std::uint32_t ReadWord(const std::string& path, std::size_t at) {
    std::ifstream f(path, std::ios::binary);
    f.seekg(static_cast<std::streamoff>(at));
    unsigned char b[4] = {};
    f.read(reinterpret_cast<char*>(b), 4);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

void WriteWord(const std::string& path, std::size_t at, std::uint32_t word) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(at));
    for (int i = 0; i < 4; ++i) f.put(static_cast<char>(word >> (8 * i)));
}

std::size_t SubkeyListOf(const std::string& hivePath, const std::string& keyPath) {
    // The nk cell's subkey list offset (after the cell's size and 0x1C bytes
    // of the nk), relative to the first bin.
    const std::size_t nk = CellOf(hivePath, keyPath, nullptr);
    return nk == 0 ? 0 : 0x1000 + ReadWord(hivePath, nk + 4 + 0x1C);
}
