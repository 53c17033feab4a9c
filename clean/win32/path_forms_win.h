// The forms of a file's path a start-up command line may name it by: the
// path the scan opened it by, its short (8.3) form, and its long form, each
// in lower case. A long name the ANSI code page cannot spell is only
// comparable in UTF-16, so the NT family also compares it there.
#pragma once

#include <windows.h>

#include <string>

struct PathForms {
    std::string shortForm;  // "" when there is none or it is the path itself
    std::string longForm;   // "" when unknown, unspellable, or the path itself
    std::string longUtf8;   // the long form in UTF-8, when only UTF-16 can hold it
};

// path: lower case.
PathForms FormsOfPath(const char* path);

// True when the value (read in UTF-16, environment references expanded too)
// launches forms.longUtf8; false when it is empty or the system cannot tell.
bool WideRunValueLaunches(HKEY key, const char* valueName, const PathForms& forms);
