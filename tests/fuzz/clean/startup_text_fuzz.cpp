// The text handling of system cleaning on arbitrary bytes: the wininit.ini
// rewrite (a file anyone could have written) and the start-up value matches
// (registry data of any shape).
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/ascii_case.h"
#include "clean/known_entries.h"
#include "clean/wininit_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);

    // The entry always lands in the result, whatever the file held.
    const char* entry = "NUL=C:\\WINDOWS\\QX~1.EXE";
    std::string rewritten = RewriteWininitText(bytes, "NUL", "C:\\WINDOWS\\QX~1.EXE");
    if (rewritten.find(entry) == std::string::npos) __builtin_trap();

    // Registry text is NUL-terminated by the time it is matched.
    std::string text = bytes.substr(0, bytes.find('\0'));
    LowercaseText(text.data());
    for (const KnownEntryCheck& check : KnownEntryChecks) {
        MatchesEntryForm(text.c_str(), check.form, check.fileName);
    }
    RunValueMatches(text.c_str(), text.c_str(), "c:\\windows\\qx.exe");
    return 0;
}
