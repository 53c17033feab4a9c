#include "platform/kept_name.h"

#include <cstring>

#include "base/ascii_case.h"

namespace platform {
namespace {

// COM and LPT with a digit; Windows also takes the superscripts 1, 2 and 3,
// here in Windows-1252 and in UTF-8.
bool PortNumber(const char* digit, std::size_t length) {
    const auto first = static_cast<unsigned char>(digit[0]);
    const auto superscript = [](unsigned char c) { return c == 0xB9 || c == 0xB2 || c == 0xB3; };
    if (length == 1) return (first >= '0' && first <= '9') || superscript(first);
    return length == 2 && first == 0xC2 && superscript(static_cast<unsigned char>(digit[1]));
}

bool IsDeviceStem(const char* stem, std::size_t length) {
    static const char* const kDevices[] = {"CON",    "PRN",     "AUX",   "NUL",
                                           "CONIN$", "CONOUT$", "CLOCK$"};
    for (const char* device : kDevices) {
        if (std::strlen(device) == length && PrefixEqualsIgnoringCase(stem, device, length))
            return true;
    }
    if (length < 4) return false;
    return (PrefixEqualsIgnoringCase(stem, "COM", 3) || PrefixEqualsIgnoringCase(stem, "LPT", 3)) &&
           PortNumber(stem + 3, length - 3);
}

bool NameNeedsKeptForm(const char* name, std::size_t length) {
    if (length == 0) return false;
    if ((length == 1 && name[0] == '.') || (length == 2 && name[0] == '.' && name[1] == '.'))
        return false;
    if (name[length - 1] == '.' || name[length - 1] == ' ') return true;
    std::size_t stem = 0;
    while (stem < length && name[stem] != '.') ++stem;
    while (stem > 0 && name[stem - 1] == ' ') --stem;
    return IsDeviceStem(name, stem);
}

}  // namespace

bool NameNeedsKeptForm(const char* name) {
    return NameNeedsKeptForm(name, std::strlen(name));
}

bool PathNeedsKeptForm(const char* path) {
    const char* start = path;
    // "C:" is a drive, not a name.
    if (path[0] != '\0' && path[1] == ':') start = path + 2;
    for (;;) {
        const char* end = std::strchr(start, '\\');
        const std::size_t length = end ? static_cast<std::size_t>(end - start) : std::strlen(start);
        if (NameNeedsKeptForm(start, length)) return true;
        if (!end) return false;
        start = end + 1;
    }
}

bool MakeKeptForm(const char* path, char (&out)[kKeptFormCapacity]) {
    out[0] = '\0';
    const char c = path[0];
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!letter || path[1] != ':' || path[2] != '\\') return false;
    // "\\?\" turns off the parsing that would make '/' a separator.
    if (std::strchr(path, '/')) return false;
    const std::size_t length = std::strlen(path);
    if (4 + length >= sizeof out) return false;
    std::memcpy(out, "\\\\?\\", 4);
    std::memcpy(out + 4, path, length + 1);
    return true;
}

}  // namespace platform
