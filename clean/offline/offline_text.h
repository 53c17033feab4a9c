// Text of registry values as the Windows program's ANSI registry calls give
// it, and the environment references of a Windows that is not running.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// A value's data as RegQueryValueExA would hand it over: string types
// (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) turned from UTF-16LE into one byte a
// character (characters above 0xFF become '?'), other types as their bytes.
// The text ends at the first zero and holds at most capacity - 1 bytes.
std::string ValueText(std::uint32_t type, const std::uint8_t* data, std::size_t length,
                      std::size_t capacity);

// The variables a Windows would expand for the program, by name (any case).
class OfflineEnvironment {
public:
    void Set(const std::string& name, const std::string& value);
    // Null when the variable is not known.
    const std::string* Find(const std::string& name) const;

private:
    std::vector<std::pair<std::string, std::string>> variables_;
};

// Expands %NAME% references as ExpandEnvironmentStringsA does: a known name
// is replaced, an unknown one and a lone '%' stay as written. False when the
// result would not fit capacity (its terminating zero included).
bool ExpandReferences(const std::string& text, const OfflineEnvironment& environment,
                      std::size_t capacity, std::string& out);
