// The outline of a hive file checked before hivex reads it: hivex takes the
// whole file into memory, so a file that is no hive, or a hive with much more
// behind its declared end (a sparse file of gigabytes), is refused from its
// headers alone, and the memory a hive costs stays that of its declared size.
#pragma once

#include <sys/types.h>

#include <string>

// Bytes a file may hold past the end its base block declares (slack Windows
// leaves); more is not a hive's.
inline constexpr off_t kHiveSlackLimit = 1 << 20;

// Why the file cannot be a hive (the base block's mark and declared size,
// each bin's header in the declared range), or empty when its outline holds.
std::string HiveLayoutProblem(int fd, off_t fileSize);
