// The read-ahead behind the host directory search (not for callers): the walk
// hands over each first-pass listing of a folder, and helper threads open the
// next files of it, as the walk will, and ask the kernel for their first and
// last 4 KB while the walk is still judging the files before them.
#pragma once

#include <cstddef>
#include <string>

namespace platform::host::detail {

// Whether the read-ahead is on, and how many files it may run ahead of the walk.
std::size_t ReadAheadFiles();

// Whether the walk will open windowsPath (the skip rule the scan set).
bool ReadAheadWanted(const char* windowsPath);

// A new listing: folderFd (the walk's descriptor of the folder, duplicated
// here) stands for the names queued after it until the next call or a stop.
void ReadAheadBeginFolder(int folderFd, const std::string& folderHostPath);
// Queues the regular file at index of the current listing, in walk order.
void ReadAheadQueue(const std::string& name, std::size_t index);
// Wakes the helpers for what was queued.
void ReadAheadWake();
// The walk has taken the listing's first walked entries; false while the
// read-ahead pauses (the last files it looked at were all in the page cache).
bool ReadAheadWalked(std::size_t walked);
// The walk left the folder: what is still queued is dropped.
void ReadAheadEndFolder();

// Stops the helper threads (waits for the opens under way).
void StopReadAhead();

}  // namespace platform::host::detail
