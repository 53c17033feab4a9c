// Whether an open file is the one its path names: one name only (no hard
// link elsewhere), no reparse point, and, where Windows tells (Vista and
// later), the final path equal to the path (no link on the way).
#pragma once

#include <windows.h>

namespace platform {

bool IsTheNamedFile(HANDLE file, const char* path);

}  // namespace platform
