#include "quarantine/restore_place.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "base/ascii_case.h"

namespace {

bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// CON, PRN, AUX, NUL, COM1-9, LPT1-9, alone or before an extension, name a
// device in every folder.
bool IsDeviceName(const std::string& name) {
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) c = AsciiUpper(c);
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" ||
        stem == "CONOUT$") {
        return true;
    }
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
           stem[3] >= '1' && stem[3] <= '9';
}

}  // namespace

const char* WhyNoRestorePlace(const char* path, char recordsDrive) {
    const std::size_t length = std::strlen(path);
    if (length >= 260) return "it is too long for a path";
    for (std::size_t i = 0; i < length; ++i) {
        if (IsControl(static_cast<unsigned char>(path[i]))) return "it holds control characters";
    }
    if (length < 4 || !IsLetter(path[0]) || path[1] != ':' || path[2] != '\\') {
        return "it is no absolute drive path";
    }
    if (std::strchr(path, '/')) return "it holds '/'";
    if (std::strchr(path + 2, ':')) return "it holds a second ':'";
    std::size_t start = 3;
    bool first = true;
    for (;;) {
        const char* end = std::strchr(path + start, '\\');
        const std::size_t stop = end ? static_cast<std::size_t>(end - path) : length;
        const std::string name(path + start, stop - start);
        if (name.empty()) return "it holds an empty name";
        if (name == "." || name == "..") return "it holds \".\" or \"..\"";
        // The file's own name may be one the path rules would change: the
        // scan reached it as it is, and the restore makes it so (on the NT
        // family; the 95 family refuses to make it). A folder on the way may not.
        if (end && (name.back() == '.' || name.back() == ' ')) return "a name ends in '.' or ' '";
        if (end && IsDeviceName(name)) return "it names a device";
        if (!end && (name.find_first_not_of(". ") == std::string::npos)) {
            return "its name is only dots and blanks";
        }
        // The records folder, by its long name or its short one (QUELLI~1).
        if (first && AsciiUpper(path[0]) == AsciiUpper(recordsDrive) &&
            (PrefixEqualsIgnoringCase(name.c_str(), "Quellix", 7) ||
             PrefixEqualsIgnoringCase(name.c_str(), "QUELLI~", 7))) {
            return "it lies in the records folder";
        }
        first = false;
        if (!end) break;
        start = stop + 1;
    }
    return nullptr;
}
