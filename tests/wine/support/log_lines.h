// The lines of a scan log as the program writes them (CRLF line ends).
#pragma once

#include <string>
#include <vector>

inline std::vector<std::string> CrlfLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}
