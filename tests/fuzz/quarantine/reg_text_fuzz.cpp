// A value of any name, type and data becomes one .reg value and nothing
// more, in REGEDIT4 and in version 5.00 (a UTF-16 name of any code units):
// its text ends in CRLF, every other line break is a continuation of hex
// data, and no line it writes can open a key ("[") of its own.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "quarantine/reg_text.h"

namespace {

void CheckLines(const std::string& text) {
    if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) std::abort();
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) std::abort();
        const std::string line = text.substr(start, end - start);
        if (line.find('\r') != std::string::npos || line.find('\n') != std::string::npos) {
            std::abort();
        }
        if (start == 0) {
            if (line.empty() || (line[0] != '"' && line[0] != '@' && line[0] != ';')) std::abort();
        } else if (line.compare(0, 2, "  ") != 0 ||
                   line.find_first_not_of(" 0123456789abcdef,\\") != std::string::npos) {
            std::abort();  // only wrapped hex may follow
        }
        start = end + 2;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) return 0;
    std::uint32_t type =
        data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
    std::size_t nameLength = data[4] % 64;
    data += 5;
    size -= 5;
    if (nameLength > size) nameLength = size;
    std::string name(reinterpret_cast<const char*>(data), nameLength);
    name = name.c_str();  // a name ends at its first zero, as Windows gives it
    CheckLines(RegValueLine(name.c_str(), type, data + nameLength, size - nameLength));

    // The wide calls give a name of any code units, a zero among them.
    std::u16string wideName;
    for (std::size_t i = 0; i + 1 < nameLength; i += 2) {
        wideName += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    }
    const std::u16string wide = Reg5ValueLine(wideName, type, data + nameLength, size - nameLength);
    std::string narrow;  // units past ASCII stand as 'x': only line breaks matter
    for (char16_t c : wide) narrow += c < 0x80 ? static_cast<char>(c) : 'x';
    CheckLines(narrow);
    return 0;
}
