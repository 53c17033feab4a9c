// The restore window's text, portable: one list row per quarantine item and
// the place "Restore to..." writes to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "quarantine/quarantine_reader.h"

// "2026-12-11 10:20:30<TAB>W32/Bagle.H.Worm<TAB>12 KB<TAB>C:\dir\name": the
// columns split by tabs for a list box with tab stops; the detection name and
// the path with their control characters spelt out (a tab in a name would
// shift the columns, a line break split the row).
std::string FormatRestoreListRow(const QuarantineHeader& header);

// The line under the list: how many items, then each thing the reading left
// alone as a sentence ("5 items in the quarantine. Left alone, it fails the
// records check: C:\Quellix\Quarantine.").
std::string FormatRestoreNotice(std::size_t itemCount,
                                const std::vector<QuarantineProblem>& problems);

// "0 bytes" .. "1023 bytes", then whole KB (rounded up, so that a file of
// some bytes never reads "0 KB") below 10 MB, then whole MB (rounded up).
std::string FormatItemSize(std::uint64_t size);

// The file an item restored into folder gets: folder and the last name of
// the original path, one backslash between them. Empty when either is
// missing (no folder, or an original path that ends in a backslash).
std::string PathInFolder(const std::string& folder, const std::string& originalPath);
