#include "quarantine/reg_text.h"

#include <cstdio>
#include <cstring>

#include "base/ascii_case.h"

namespace {

constexpr char kLineEnd[] = "\r\n";
constexpr std::size_t kWrapColumn = 76;

void AppendQuoted(std::string& out, const char* text, std::size_t length) {
    out += '"';
    for (std::size_t i = 0; i < length; ++i) {
        if (text[i] == '\\' || text[i] == '"') out += '\\';
        out += text[i];
    }
    out += '"';
}

bool IsPrintableText(const std::uint8_t* data, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (data[i] < 0x20 || data[i] > 0x7E) return false;
    }
    return true;
}

// hex bytes after the prefix, wrapped with a backslash as regedit wraps them.
void AppendHex(std::string& line, const std::uint8_t* data, std::size_t length) {
    static const char kHex[] = "0123456789abcdef";
    std::size_t column = line.size();
    for (std::size_t i = 0; i < length; ++i) {
        line += kHex[data[i] >> 4];
        line += kHex[data[i] & 15];
        column += 2;
        if (i + 1 == length) break;
        line += ',';
        ++column;
        if (column >= kWrapColumn) {
            line += "\\";
            line += kLineEnd;
            line += "  ";
            column = 2;
        }
    }
}

}  // namespace

std::string RegFileStart(const char* createdAt) {
    std::string out = "REGEDIT4";
    out += kLineEnd;
    out += kLineEnd;
    out +=
        RegCommentLine(std::string("Quellix: registry data removed by the scan of ") + createdAt);
    out += RegCommentLine(
        "Import with \"reg import FILE\" (on 64-bit Windows \"reg import FILE /reg:64\") or "
        "a double-click.");
    out += RegCommentLine(
        "Keys under Software\\Wow6432Node come from the 32-bit view of 64-bit Windows.");
    return out;
}

std::string RegKeyName(const char* rootName, const char* keyPath, bool view32) {
    std::string name = rootName;
    if (keyPath[0] != '\0') name += '\\';
    static const char kSoftware[] = "software";
    const std::size_t n = sizeof kSoftware - 1;
    bool underSoftware = std::strlen(keyPath) >= n && (keyPath[n] == '\\' || keyPath[n] == '\0');
    for (std::size_t i = 0; underSoftware && i < n; ++i) {
        underSoftware = AsciiLower(keyPath[i]) == kSoftware[i];
    }
    if (view32 && underSoftware && std::strcmp(rootName, "HKEY_LOCAL_MACHINE") == 0) {
        name.append(keyPath, n);
        name += "\\Wow6432Node";
        name += keyPath + n;
    } else {
        name += keyPath;
    }
    return name;
}

std::string RegKeyLine(const std::string& keyName) {
    std::string out = kLineEnd;
    out += '[';
    out += keyName;
    out += ']';
    out += kLineEnd;
    return out;
}

bool IsWritableRegName(const char* name) {
    for (const char* c = name; *c != '\0'; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (byte < 0x20 || byte == 0x7F) return false;
    }
    return true;
}

std::string RegValueLine(const char* valueName, std::uint32_t type, const std::uint8_t* data,
                         std::size_t length) {
    if (valueName != nullptr && !IsWritableRegName(valueName)) {
        return RegCommentLine("left out: a value whose name holds control characters");
    }
    std::string line;
    if (valueName == nullptr || valueName[0] == '\0') {
        line = "@";
    } else {
        AppendQuoted(line, valueName, std::strlen(valueName));
    }
    line += '=';
    if (type == kRegSz) {
        // The text with its one closing zero (or without one) reads back the same.
        std::size_t text = length > 0 && data[length - 1] == 0 ? length - 1 : length;
        if (IsPrintableText(data, text)) {
            AppendQuoted(line, reinterpret_cast<const char*>(data), text);
            line += kLineEnd;
            return line;
        }
    }
    if (type == kRegDword && length == 4) {
        char text[16];
        std::uint32_t v = data[0] | (data[1] << 8) | (data[2] << 16) |
                          (static_cast<std::uint32_t>(data[3]) << 24);
        std::snprintf(text, sizeof text, "dword:%08x", v);
        line += text;
        line += kLineEnd;
        return line;
    }
    if (type == kRegBinary) {
        line += "hex:";
    } else {
        char prefix[24];
        std::snprintf(prefix, sizeof prefix, "hex(%x):", type);
        line += prefix;
    }
    AppendHex(line, data, length);
    line += kLineEnd;
    return line;
}

std::string RegCommentLine(const std::string& text) {
    std::string out = "; ";
    for (char c : text) out += (c == '\r' || c == '\n') ? ' ' : c;
    out += kLineEnd;
    return out;
}
