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
template <typename Text>
void AppendHex(Text& line, const std::uint8_t* data, std::size_t length) {
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
            line += '\\';
            line += '\r';
            line += '\n';
            line += ' ';
            line += ' ';
            column = 2;
        }
    }
}

void AppendAscii(std::u16string& out, const char* text) {
    for (const char* c = text; *c != '\0'; ++c) out += static_cast<char16_t>(*c);
}

void AppendQuoted(std::u16string& out, const std::u16string& text) {
    out += u'"';
    for (char16_t c : text) {
        if (c == u'\\' || c == u'"') out += u'\\';
        out += c;
    }
    out += u'"';
}

// REG_SZ data that a quoted string gives back exactly, in both readers of the
// file: printable ASCII in UTF-16LE and one closing zero.
bool IsQuotableText(const std::uint8_t* data, std::size_t length) {
    if (length < 2 || length % 2 != 0 || data[length - 2] != 0 || data[length - 1] != 0) {
        return false;
    }
    for (std::size_t i = 0; i + 2 < length; i += 2) {
        if (data[i + 1] != 0 || data[i] < 0x20 || data[i] > 0x7E) return false;
    }
    return true;
}

bool IsHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
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

std::u16string Reg5Header() {
    return u"Windows Registry Editor Version 5.00\r\n\r\n";
}

std::u16string Reg5FileStart(const char* createdAt) {
    std::u16string out = Reg5Header();
    out +=
        Reg5CommentLine(std::string("Quellix: registry data removed by the scan of ") + createdAt);
    out += Reg5CommentLine(
        "Import with \"reg import FILE\" (on 64-bit Windows \"reg import FILE /reg:64\") or "
        "a double-click.");
    out += Reg5CommentLine(
        "Keys under Software\\Wow6432Node come from the 32-bit view of 64-bit Windows.");
    return out;
}

std::u16string Reg5KeyName(const char* rootName, const std::u16string& keyPath, bool view32) {
    std::u16string name;
    AppendAscii(name, rootName);
    if (!keyPath.empty()) name += u'\\';
    static const char kSoftware[] = "software";
    const std::size_t n = sizeof kSoftware - 1;
    bool underSoftware = keyPath.size() >= n && (keyPath.size() == n || keyPath[n] == u'\\');
    for (std::size_t i = 0; underSoftware && i < n; ++i) {
        const char16_t c = keyPath[i];
        underSoftware = c < 0x80 && AsciiLower(static_cast<char>(c)) == kSoftware[i];
    }
    if (view32 && underSoftware && std::strcmp(rootName, "HKEY_LOCAL_MACHINE") == 0) {
        name.append(keyPath, 0, n);
        name += u"\\Wow6432Node";
        name.append(keyPath, n, std::u16string::npos);
    } else {
        name += keyPath;
    }
    return name;
}

std::u16string Reg5KeyLine(const std::u16string& keyName) {
    return u"\r\n[" + keyName + u"]\r\n";
}

bool IsWritableReg5Name(const std::u16string& name) {
    for (char16_t c : name) {
        if (c < 0x20 || c == 0x7F) return false;
    }
    return true;
}

std::u16string Reg5ValueLine(const std::u16string& valueName, std::uint32_t type,
                             const std::uint8_t* data, std::size_t length) {
    if (!IsWritableReg5Name(valueName)) {
        return Reg5CommentLine("left out: a value whose name holds control characters");
    }
    std::u16string line;
    if (valueName.empty()) {
        line = u"@";
    } else {
        AppendQuoted(line, valueName);
    }
    line += u'=';
    if (type == kRegSz && IsQuotableText(data, length)) {
        std::u16string text;
        for (std::size_t i = 0; i + 2 < length; i += 2) text += static_cast<char16_t>(data[i]);
        AppendQuoted(line, text);
        line += u"\r\n";
        return line;
    }
    char prefix[24];
    if (type == kRegDword && length == 4) {
        std::uint32_t v = data[0] | (data[1] << 8) | (data[2] << 16) |
                          (static_cast<std::uint32_t>(data[3]) << 24);
        std::snprintf(prefix, sizeof prefix, "dword:%08x", v);
        AppendAscii(line, prefix);
        line += u"\r\n";
        return line;
    }
    if (type == kRegBinary) {
        std::snprintf(prefix, sizeof prefix, "hex:");
    } else {
        std::snprintf(prefix, sizeof prefix, "hex(%x):", type);
    }
    AppendAscii(line, prefix);
    AppendHex(line, data, length);
    line += u"\r\n";
    return line;
}

std::u16string Reg5CommentLine(const std::string& text) {
    std::string flat;
    for (char c : text) flat += (c == '\r' || c == '\n') ? ' ' : c;
    std::u16string wide;
    if (!Utf16FromUtf8(flat, wide)) {
        wide.clear();
        for (char c : flat) wide += static_cast<unsigned char>(c) < 0x80 ? c : u'?';
    }
    return u"; " + wide + u"\r\n";
}

std::string Reg5FileBytes(const std::u16string& text, bool withByteOrderMark) {
    std::string out;
    out.reserve(text.size() * 2 + 2);
    if (withByteOrderMark) out += "\xFF\xFE";
    for (char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

bool Utf8FromUtf16(const std::u16string& text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (IsHighSurrogate(c)) {
            if (i + 1 == text.size() || !IsLowSurrogate(text[i + 1])) return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (IsLowSurrogate(c)) {
            return false;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return true;
}

bool Utf16FromUtf8(const std::string& text, std::u16string& out) {
    out.clear();
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        char32_t c = 0;
        char32_t least = 0;
        if (lead < 0x80) {
            c = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1, c = lead & 0x1F, least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, c = lead & 0x0F, least = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, c = lead & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (text.size() - i <= extra) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            c = (c << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += extra + 1;
    }
    return true;
}
