#include "clean/wininit_text.h"

#include <cstddef>

#include "base/ascii_case.h"

namespace {

constexpr char kRenameHeader[] = "[rename]";
constexpr std::size_t kRenameHeaderLength = sizeof kRenameHeader - 1;

std::string Entry(const char* destination, const char* source) {
    return std::string(destination) + "=" + source + "\r\n";
}

bool StartsWithRenameHeader(const std::string& line) {
    if (line.size() < kRenameHeaderLength) return false;
    for (std::size_t i = 0; i < kRenameHeaderLength; ++i) {
        if (AsciiLower(line[i]) != kRenameHeader[i]) return false;
    }
    return true;
}

// What the C runtime's text mode hands back: CR LF pairs become LF.
std::string AsTextRead(const std::string& bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        text += bytes[i];
    }
    return text;
}

}  // namespace

std::string NewWininitText(const char* destination, const char* source) {
    return std::string(kRenameHeader) + "\r\n" + Entry(destination, source);
}

std::string RewriteWininitText(const std::string& existing, const char* destination,
                               const char* source) {
    const std::string text = AsTextRead(existing);
    std::string out;
    out.reserve(text.size() + 300);
    bool inSection = false;
    bool inserted = false;
    // Whole lines: a header counts only at the start of a real line, never in
    // the middle of a long one.
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string line = text.substr(start, end - start);
        if (!inserted) {
            if (!inSection && StartsWithRenameHeader(line)) {
                inSection = true;
            } else if (inSection && line[0] == '[') {
                out += Entry(destination, source);
                inserted = true;
            }
        }
        out += line;
        start = end;
    }
    if (!inserted) {
        // An entry joined to an unterminated last line would be lost to it.
        if (!out.empty() && out.back() != '\n') out += "\r\n";
        if (!inSection) out += std::string(kRenameHeader) + "\r\n";
        out += Entry(destination, source);
    }
    return out;
}

bool UpdateWininit(WininitFiles& files, const char* iniPath, const char* workPath,
                   const char* sidePath, const char* destination, const char* source) {
    std::string content;
    bool existed = files.Exists(iniPath);
    if (existed) {
        // A stale working copy from an earlier run must never stand in for
        // the current file.
        if (!files.Copy(iniPath, workPath)) return false;
        std::string former;
        if (!files.ReadAll(workPath, former)) return false;
        content = RewriteWininitText(former, destination, source);
    } else {
        content = NewWininitText(destination, source);
    }
    if (!files.WriteAll(sidePath, content)) {
        files.Remove(sidePath);
        return false;
    }
    if (!files.Replace(sidePath, iniPath)) {
        if (existed && !files.Exists(iniPath)) files.Copy(workPath, iniPath);
        files.Remove(sidePath);
        return false;
    }
    return true;
}
