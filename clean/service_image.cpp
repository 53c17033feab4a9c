#include "clean/service_image.h"

#include <cctype>
#include <cstddef>
#include <cstring>

#include "base/ascii_case.h"

namespace {

constexpr std::size_t kCandidateCapacity = 260;  // a Windows path with its NUL

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The length of prefix when text begins with it, ignoring ASCII case; else 0.
std::size_t PrefixLength(const char* text, std::size_t length, const char* prefix) {
    std::size_t n = std::strlen(prefix);
    if (length < n) return 0;
    return PrefixEqualsIgnoringCase(text, prefix, n) ? n : 0;
}

bool IsFullPath(const char* path) {
    const bool drive =
        std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && path[2] == '\\';
    const bool unc = path[0] == '\\' && path[1] == '\\';
    return drive || unc;
}

bool Append(char* out, std::size_t& used, const char* text, std::size_t length) {
    if (used + length >= kCandidateCapacity) return false;
    std::memcpy(out + used, text, length);
    used += length;
    out[used] = '\0';
    return true;
}

bool NameHasExtension(const char* path) {
    const char* name = std::strrchr(path, '\\');
    return std::strchr(name ? name + 1 : path, '.') != nullptr;
}

// The candidate for text[0, length) as a Win32 full path in out; false when
// it is relative or does not fit.
bool MakeCandidate(const char* text, std::size_t length, const char* systemRoot,
                   char (&out)[kCandidateCapacity]) {
    std::size_t used = 0;
    out[0] = '\0';
    if (std::size_t n = PrefixLength(text, length, "\\??\\")) {
        text += n;
        length -= n;
    } else if ((n = PrefixLength(text, length, "\\\\?\\"))) {
        text += n;
        length -= n;
    } else if ((n = PrefixLength(text, length, "\\SystemRoot\\"))) {
        std::size_t rootLength = std::strlen(systemRoot);
        while (rootLength > 0 && systemRoot[rootLength - 1] == '\\') --rootLength;
        if (rootLength == 0 || !Append(out, used, systemRoot, rootLength) ||
            !Append(out, used, "\\", 1)) {
            return false;
        }
        text += n;
        length -= n;
    }
    if (!Append(out, used, text, length)) return false;
    if (!IsFullPath(out)) return false;
    if (!NameHasExtension(out) && !Append(out, used, ".exe", 4)) return false;
    return true;
}

enum class Verdict { Undecided, Yes, No };

Verdict TryCandidate(const char* text, std::size_t length, const char* systemRoot,
                     ImageCandidateTest test, void* context) {
    char candidate[kCandidateCapacity];
    if (!MakeCandidate(text, length, systemRoot, candidate)) return Verdict::No;
    switch (test(candidate, context)) {
        case ImageCandidate::TheFile:
            return Verdict::Yes;
        case ImageCandidate::OtherFile:
            return Verdict::No;
        case ImageCandidate::Missing:
            break;
    }
    return Verdict::Undecided;
}

}  // namespace

bool ServiceBinaryIsFile(const char* binaryPath, const char* systemRoot, ImageCandidateTest test,
                         void* context) {
    if (!binaryPath || !test) return false;
    if (!systemRoot) systemRoot = "";
    const char* line = binaryPath;
    while (IsBlank(*line)) ++line;
    if (*line == '"') {
        ++line;
        const char* close = std::strchr(line, '"');
        std::size_t length = close ? static_cast<std::size_t>(close - line) : std::strlen(line);
        return TryCandidate(line, length, systemRoot, test, context) == Verdict::Yes;
    }
    std::size_t end = std::strlen(line);
    while (end > 0 && IsBlank(line[end - 1])) --end;
    if (end == 0) return false;
    for (std::size_t i = 1; i <= end; ++i) {
        // Each run of blanks ends one candidate; the end of the line the last.
        if (i < end && !(IsBlank(line[i]) && !IsBlank(line[i - 1]))) continue;
        Verdict verdict = TryCandidate(line, i, systemRoot, test, context);
        if (verdict != Verdict::Undecided) return verdict == Verdict::Yes;
    }
    return false;
}

std::string ServiceNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('\\');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}
