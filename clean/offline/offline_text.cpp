#include "clean/offline/offline_text.h"

#include "base/ascii_case.h"
#include "quarantine/reg_text.h"

namespace {

bool IsStringType(std::uint32_t type) {
    return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    return PrefixEqualsIgnoringCase(a.data(), b.data(), a.size());
}

}  // namespace

std::string ValueText(std::uint32_t type, const std::uint8_t* data, std::size_t length,
                      std::size_t capacity) {
    std::string text;
    if (capacity == 0 || data == nullptr) return text;
    const std::size_t limit = capacity - 1;
    if (IsStringType(type)) {
        // An odd last byte is no character.
        for (std::size_t i = 0; i + 1 < length && text.size() < limit; i += 2) {
            unsigned unit = data[i] | (data[i + 1] << 8);
            if (unit == 0) break;
            text += unit > 0xFF ? '?' : static_cast<char>(unit);
        }
        return text;
    }
    for (std::size_t i = 0; i < length && text.size() < limit; ++i) {
        if (data[i] == 0) break;
        text += static_cast<char>(data[i]);
    }
    return text;
}

void OfflineEnvironment::Set(const std::string& name, const std::string& value) {
    for (auto& variable : variables_) {
        if (SameName(variable.first, name)) {
            variable.second = value;
            return;
        }
    }
    variables_.emplace_back(name, value);
}

const std::string* OfflineEnvironment::Find(const std::string& name) const {
    for (const auto& variable : variables_) {
        if (SameName(variable.first, name)) return &variable.second;
    }
    return nullptr;
}

bool ExpandReferences(const std::string& text, const OfflineEnvironment& environment,
                      std::size_t capacity, std::string& out) {
    out.clear();
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '%') {
            std::size_t close = text.find('%', i + 1);
            if (close != std::string::npos) {
                const std::string* value = environment.Find(text.substr(i + 1, close - i - 1));
                if (value) {
                    out += *value;
                    i = close + 1;
                } else {
                    // Unknown: kept, and its closing '%' may open the next one.
                    out.append(text, i, close - i);
                    i = close;
                }
                if (out.size() + 1 > capacity) return false;
                continue;
            }
        }
        out += text[i++];
        if (out.size() + 1 > capacity) return false;
    }
    return out.size() + 1 <= capacity;
}
