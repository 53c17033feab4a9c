#include "platform/wildcard.h"

#include <cstring>

#include "base/ascii_case.h"

namespace platform {
namespace {

// Iterative '*' matching with one back-tracking point: linear in practice and
// never recursive on hostile patterns.
bool MatchRange(const char* p, const char* pEnd, const char* s, const char* sEnd) {
    const char* starP = nullptr;
    const char* starS = nullptr;
    while (s < sEnd) {
        if (p < pEnd && (*p == '?' || AsciiUpper(*p) == AsciiUpper(*s))) {
            ++p;
            ++s;
        } else if (p < pEnd && *p == '*') {
            starP = ++p;
            starS = s;
        } else if (starP) {
            p = starP;
            s = ++starS;
        } else {
            return false;
        }
    }
    while (p < pEnd && *p == '*') ++p;
    return p == pEnd;
}

}  // namespace

bool MatchesWildcard(const char* pattern, const char* name) {
    size_t pLen = std::strlen(pattern);
    size_t nLen = std::strlen(name);
    if (pLen == 3 && std::strcmp(pattern, "*.*") == 0) return true;
    if (MatchRange(pattern, pattern + pLen, name, name + nLen)) return true;
    if (pLen >= 2 && pattern[pLen - 2] == '.' && pattern[pLen - 1] == '*' &&
        std::strchr(name, '.') == nullptr) {
        return MatchRange(pattern, pattern + pLen - 2, name, name + nLen);
    }
    return false;
}

}  // namespace platform
