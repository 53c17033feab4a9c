// The options every command-line program of Quellix answers the same way:
// --help (or -h) prints the program's usage text on stdout and exits 0,
// --version prints "NAME 7.0 (Quellix Ver 7.0)" and exits 0, and a usage
// error names the program, says what is wrong and then shows the usage text
// on stderr.
#pragma once

#include <cstdio>
#include <cstring>

inline constexpr char kQuellixVersion[] = "7.0";

inline bool IsHelpOption(const char* arg) {
    return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0;
}

inline bool IsVersionOption(const char* arg) {
    return std::strcmp(arg, "--version") == 0;
}

inline void PrintVersion(const char* program, std::FILE* out) {
    std::fprintf(out, "%s %s (Quellix Ver %s)\n", program, kQuellixVersion, kQuellixVersion);
}

// "PROGRAM: PROBLEM", a blank line and the usage text, on err.
inline void PrintUsageError(const char* program, const char* problem, const char* usage,
                            std::FILE* err) {
    std::fprintf(err, "%s: %s\n\n%s", program, problem, usage);
}
