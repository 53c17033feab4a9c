// Windows' matching of a file name against a wildcard name ("*.*", "name.*",
// "a?c.exe"), without regard to case. A pattern ending in ".*" also matches the
// name without any extension, as FindFirstFileA does.
#pragma once

namespace platform {

bool MatchesWildcard(const char* pattern, const char* name);

}  // namespace platform
