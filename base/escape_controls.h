// Control characters (below 0x20, and 0x7F) written as <0A>: a name shown
// on a terminal or kept in a record cannot start a line of its own or move
// a cursor. Windows allows neither '<' nor '>' in a name, so the form is
// never a name's own.
#pragma once

#include <string>

// keepTab: a tab stays (the statistics lines' own); it neither starts a line
// nor moves the cursor back.
inline std::string EscapeControls(const std::string& text, bool keepTab = false) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if ((c < 0x20 && !(keepTab && c == '\t')) || c == 0x7F) {
            out += '<';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
            out += '>';
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}
