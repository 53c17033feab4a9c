// Whether an open file is the one its path names: one name only (no hard
// link elsewhere), no reparse point, and, where Windows tells (Vista and
// later), the final path equal to the path (no link on the way).
#pragma once

#include <windows.h>

namespace platform {

bool IsTheNamedFile(HANDLE file, const char* path);

// Where Windows tells the path an open file was reached by (Vista and later,
// looked up at run time), whether it is expected (a full path of long
// names): a link anywhere on the way shows. True where Windows cannot tell.
bool FinalPathIs(HANDLE file, const char* expected);
// Whether Windows tells final paths here.
bool FinalPathKnown();

}  // namespace platform
