// Names in a folder as Windows matches them, without regard to case: on a
// case-sensitive mount a folder may hold names that differ only in case.
#pragma once

#include <string>
#include <vector>

namespace platform::host {

// The name of folder's entry that equals name without regard to case (an
// exact match wins, and is given without listing the folder).
bool FindName(int folderFd, const std::string& name, std::string& found);
// Every entry of folder equal to name without regard to case, sorted: more
// than one is possible on a case-sensitive mount, where Windows would see
// only one of them.
std::vector<std::string> MatchingNames(int folderFd, const std::string& name);
// The names of folder's entries that are folders (not links), sorted.
std::vector<std::string> SubfolderNames(int folderFd);

}  // namespace platform::host
