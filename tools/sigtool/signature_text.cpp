#include "tools/sigtool/signature_text.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kFieldCount = 7;
constexpr int kHexDigits = kPatternCompared * 2;

bool ParseInt32(const std::string& text, std::int32_t& value) {
    if (text.empty() || text.size() > 11) return false;
    std::size_t i = text[0] == '-' ? 1 : 0;
    if (i == text.size()) return false;
    std::int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
    }
    if (text[0] == '-') v = -v;
    if (v < INT32_MIN || v > INT32_MAX) return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParsePattern(const std::string& text, std::uint8_t (&pattern)[kPatternSize]) {
    if (text.size() != kHexDigits) return false;
    for (int i = 0; i < kPatternCompared; ++i) {
        const int hi = HexValue(text[2 * i]);
        const int lo = HexValue(text[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        pattern[i] = static_cast<std::uint8_t>(hi << 4 | lo);
    }
    pattern[kPatternCompared] = 0;
    return true;
}

// Printable ASCII without the field separator; a name also ends a table when
// empty, so it must hold at least one character and leave room for its NUL.
const char* NameProblem(const std::string& name) {
    if (name.empty()) return "empty detection name";
    if (name.size() >= static_cast<std::size_t>(kDetectionNameSize)) {
        return "detection name longer than 49 characters";
    }
    for (char c : name) {
        if (c <= ' ' || c > '~') return "detection name holds a space or a non-printable character";
    }
    return nullptr;
}

void AppendHex(std::string& out, const std::uint8_t* bytes) {
    static const char kDigits[] = "0123456789abcdef";
    for (int i = 0; i < kPatternCompared; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 15];
    }
}

}  // namespace

bool ParseSignatureLine(const std::string& rawLine, SignatureRecord& record, bool& isRecord,
                        std::string& error) {
    isRecord = false;
    std::string line = rawLine;
    // Checkouts with CRLF line ends read the same.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') return true;

    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = line.find('|', start);
        fields.push_back(line.substr(start, bar == std::string::npos ? bar : bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    if (fields.size() != kFieldCount) {
        error = "expected 7 fields separated by |, found " + std::to_string(fields.size());
        return false;
    }
    SignatureRecord r{};
    if (const char* problem = NameProblem(fields[0])) {
        error = problem;
        return false;
    }
    std::memcpy(r.detectionName, fields[0].data(), fields[0].size());
    std::int32_t offset1 = 0, offset2 = 0, size = 0, rule = 0;
    if (!ParseInt32(fields[1], offset1)) {
        error = "offset1 is not a 32-bit decimal integer: '" + fields[1] + "'";
        return false;
    }
    if (!ParsePattern(fields[2], r.pattern1)) {
        error = "pattern1 is not 40 hex digits: '" + fields[2] + "'";
        return false;
    }
    if (!ParseInt32(fields[3], offset2)) {
        error = "offset2 is not a 32-bit decimal integer: '" + fields[3] + "'";
        return false;
    }
    if (!ParsePattern(fields[4], r.pattern2)) {
        error = "pattern2 is not 40 hex digits: '" + fields[4] + "'";
        return false;
    }
    if (!ParseInt32(fields[5], size)) {
        error = "expectedSize is not a 32-bit decimal integer: '" + fields[5] + "'";
        return false;
    }
    // Any other rule would make a record that can never match.
    if (!ParseInt32(fields[6], rule) || rule < SizeExact || rule > SizeAny) {
        error = "sizeRule must be 1 (exact), 2 (near) or 3 (any): '" + fields[6] + "'";
        return false;
    }
    r.offset1 = offset1;
    r.offset2 = offset2;
    r.expectedSize = size;
    r.sizeRule = rule;
    record = r;
    isRecord = true;
    return true;
}

std::string FormatSignatureLine(const SignatureRecord& r) {
    std::string out(r.detectionName, strnlen(r.detectionName, kDetectionNameSize));
    out += '|' + std::to_string(r.offset1) + '|';
    AppendHex(out, r.pattern1);
    out += '|' + std::to_string(r.offset2) + '|';
    AppendHex(out, r.pattern2);
    out += '|' + std::to_string(r.expectedSize) + '|' + std::to_string(r.sizeRule);
    return out;
}

bool ReadSignatureText(const std::string& path, std::vector<SignatureRecord>& records,
                       std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    records.clear();
    std::string line;
    int lineNumber = 0;
    bool ok = true;
    int c = 0;
    while (ok && c != EOF) {
        line.clear();
        while ((c = std::fgetc(f)) != EOF && c != '\n') line += static_cast<char>(c);
        if (c == EOF && line.empty()) break;
        ++lineNumber;
        SignatureRecord r;
        bool isRecord = false;
        std::string why;
        if (!ParseSignatureLine(line, r, isRecord, why)) {
            error = path + ":" + std::to_string(lineNumber) + ": " + why;
            ok = false;
        } else if (isRecord) {
            records.push_back(r);
        }
    }
    if (ok && std::ferror(f)) {
        error = path + ": read error";
        ok = false;
    }
    std::fclose(f);
    return ok;
}

bool WriteSignatureText(const std::string& path, const std::vector<std::string>& header,
                        const std::vector<SignatureRecord>& records) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = true;
    for (const std::string& h : header) {
        ok = ok && std::fprintf(f, h.empty() ? "#\n" : "# %s\n", h.c_str()) > 0;
    }
    for (const SignatureRecord& r : records) {
        ok = ok && std::fprintf(f, "%s\n", FormatSignatureLine(r).c_str()) > 0;
    }
    if (std::fclose(f) != 0) ok = false;
    return ok;
}
